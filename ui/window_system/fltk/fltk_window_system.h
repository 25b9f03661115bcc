// The fltk window system: the emulated Win32 window manager shown in real
// desktop windows through FLTK 1.3 on X11.
//
// Every top-level window the installer creates is an FLTK window whose
// content is the emulated client area (outer size less the emulated frame),
// placed at the window's position and titled with its text in UTF-8; every
// push button is a real FLTK button on it. Drawing goes straight into the
// window when it is asked for (not through FLTK's redraw requests) and is sent
// to the display at once. When the desktop exposes a window, the window is
// marked as needing WM_PAINT, so the installer's procedure repaints it on the
// next peek or get; FLTK draws the buttons itself.
//
// Input: key presses in a window become key-downs with Win32's virtual-key
// codes (fltk_keys.h) and the Windows-1252 character they type; button clicks
// post WM_COMMAND (id, button handle) to the button's parent; the window's
// close box posts WM_SYSCOMMAND SC_CLOSE to it. The buttons never take the
// keyboard focus, so Enter, Space, Tab and the arrow keys always reach the
// installer as keys. Minimising and restoring on the desktop update
// is_iconic.
//
// Threading: the program's one thread, as for every window system; FLTK runs
// only inside the calls that poll or wait for input.
#pragma once

#include "ui/window_system/emulated/emulated_window_system.h"

#include <map>
#include <memory>
#include <string>

namespace ui::fltk {

class top_window;
class push_button;

class fltk_window_system final : public emulated::emulated_window_system {
public:
  // Needs FLTK's display connection open (create_fltk_window_system does it).
  explicit fltk_window_system(const resource_table& resources);
  // Closes every window still open.
  ~fltk_window_system() override;

  fltk_window_system(const fltk_window_system&) = delete;
  fltk_window_system& operator=(const fltk_window_system&) = delete;

protected:
  // Fl::wait() until an event posted a message or exposed a window; an idle
  // installer sleeps in the kernel here.
  void wait_for_input() override;
  // Fl::check(): handles the events waiting, then draws what they damaged.
  void poll_input() override;

  void fill(const window_record& w, const rect& r, colour c) override;
  void draw_text(const window_record& w, int x, int y, const char* text, int n) override;
  extent measure_text(const char* text, int n) override;

  void on_window_created(const window_record& w) override;
  void on_window_shown(const window_record& w) override;
  void on_window_destroyed(const window_record& w) override;
  void on_button_style(const window_record& w) override;
  void on_focus(const window_record& w) override;
  void on_iconic(const window_record& w) override;
  void on_cursor(cursor_handle c, int count) override;

private:
  friend class top_window;
  friend class push_button;

  // --- from FLTK's event handling --------------------------------------------
  void exposed(window_handle w);
  void key_pressed(window_handle w, int fltk_key, const char* text, int fltk_state);
  void close_requested(window_handle w);
  void clicked(window_handle button);
  void mapped(window_handle w, bool shown);

  // The FLTK window holding w's pixels (w itself or its top-level ancestor)
  // and the offset of w's client area in it; nullptr when there is none or it
  // is not on the display.
  top_window* drawable(const window_record& w, int* dx, int* dy);
  // Draws again, at once, the visible buttons of top that overlap the
  // rectangle, as if the window clipped its children out of its own drawing.
  void draw_buttons_over(top_window& top, int x, int y, int width, int height);
  void apply_cursor(top_window& top);
  void apply_focus(top_window& top);

  std::map<window_handle, top_window*> tops_;
  std::map<window_handle, push_button*> buttons_;
  bool input_posted_ = false;         // set by everything FLTK's events give the queue
  bool hiding_ = false;               // a hide of ours, not the desktop's minimising
  window_handle keyboard_window_ = 0; // the top-level window of the focus
};

} // namespace ui::fltk

namespace ui {

// Opens the display named by DISPLAY and makes the window system. Returns
// nullptr with the reason in *why ("no display (...)") when DISPLAY is not set
// or cannot be opened; FLTK is never left to open it itself, since it ends
// the process when it cannot. resources: the program's.
std::unique_ptr<window_system> create_fltk_window_system(const resource_table& resources,
                                                         std::string* why);

} // namespace ui
