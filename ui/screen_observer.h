// What automation watches of the installer's screen beyond the window-system
// calls: the key codes wait_for_key returns and the buttons
// mark_default_button marks. A window system made for automation (offscreen,
// and the tests' fake) implements this interface beside window_system; the
// screen layer finds it on the installed window system.
//
// Threading: called from the program's one thread, inside wait_for_key and
// mark_default_button.
#pragma once

#include "ui/window_system.h"

#include <cstdint>

namespace ui {

class screen_observer {
public:
  virtual ~screen_observer() = default;

  // wait_for_key is about to return code (the quit code included).
  virtual void key_returned(std::uint16_t code) = 0;
  // mark_default_button was called for slot.
  virtual void default_button_marked(int slot) = 0;
};

// The installed window system as a screen observer; nullptr when it is none
// (win32, fltk).
inline screen_observer* current_screen_observer() {
  return dynamic_cast<screen_observer*>(&current_window_system());
}

} // namespace ui
