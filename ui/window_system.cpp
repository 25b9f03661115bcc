// The installed window system.
#include "ui/window_system.h"

namespace ui {

namespace {
window_system* installed = nullptr;
} // namespace

window_system& current_window_system() {
  return *installed;
}

window_system* set_window_system(window_system* ws) {
  window_system* previous = installed;
  installed = ws;
  return previous;
}

} // namespace ui
