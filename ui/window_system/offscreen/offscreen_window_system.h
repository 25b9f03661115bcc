// The offscreen window system: the emulated window manager with no window at
// all, for automation. Input comes from the script VELMORA_UI_SCRIPT names
// (see offscreen_script.h), one event each time the program blocks waiting for
// the user; what the program shows goes to the JSON Lines trace
// VELMORA_UI_TRACE names (see offscreen_trace.h).
//
// - Events are handed over only in the blocking wait (wait_message and
//   get_message with nothing waiting), never to a peek, so start-up and
//   drain_messages run without consuming any. An event that posts nothing (a
//   click on a command id no button has, anything aimed at the main window
//   when there is none) is used up and the next one follows in the same wait.
// - When the program waits with the script used up, the trace gets
//   {"event":"script-exhausted"} and the process ends with exit code 3, so
//   that a run whose script falls short fails visibly and never hangs.
// - Key-downs go where the emulated system sends keyboard input (the focus
//   window); char goes to the top-level window that takes input.
// - close, minimize, restore and endsession go to the main window, the first
//   visible top-level window. minimize and restore are posted as
//   WM_SYSCOMMAND SC_MINIMIZE / SC_RESTORE, as the title-bar buttons send
//   them, so the window procedure sees them before the default processing
//   changes the minimised state.
// - click posts WM_COMMAND (id, the button's handle) to the button's parent,
//   hidden buttons included.
// - Text metrics: every byte advances 8 pixels, the font is 16 high. Nothing
//   is drawn; fills are ignored and texts only traced.
//
// Trace events: "paint" when a drawing context on which text was drawn is
// released (its texts in the order drawn); "key" for each code wait_for_key
// returns; "default-button" for each mark_default_button; "button" create and
// destroy for push buttons; "window" create, show (each show_window that
// leaves it visible) and destroy for top-level windows.
#pragma once

#include "ui/screen_observer.h"
#include "ui/window_system/emulated/emulated_window_system.h"
#include "ui/window_system/offscreen/offscreen_script.h"
#include "ui/window_system/offscreen/offscreen_trace.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace ui {

// Reads VELMORA_UI_SCRIPT (unset or empty: an empty script) and opens
// VELMORA_UI_TRACE (unset or empty: no trace); resources: the program's.
// nullptr, with the reason in *why, when the script cannot be read or parsed
// or the trace not opened.
std::unique_ptr<window_system> create_offscreen_window_system(const resource_table& resources,
                                                              std::string* why);

} // namespace ui

namespace ui::offscreen {

// The exit code of a run that waits for input after the script's last event.
inline constexpr int script_exhausted_exit_code = 3;

// Space a text byte takes, and the font's height.
inline constexpr int char_width = 8;
inline constexpr int char_height = 16;

// Also the screen's observer: the key codes and default-button marks it is
// told of become "key" and "default-button" trace events.
class offscreen_window_system final : public emulated::emulated_window_system,
                                      public screen_observer {
public:
  // trace: nullptr for none.
  offscreen_window_system(const resource_table& resources, std::vector<script_event> script,
                          std::unique_ptr<trace_file> trace);
  ~offscreen_window_system() override;

  void key_returned(std::uint16_t code) override;
  void default_button_marked(int slot) override;

  // How many script events are still to come.
  std::size_t events_left() const { return script_.size() - next_event_; }

protected:
  void wait_for_input() override;

  void fill(const window_record&, const rect&, colour) override {}
  void draw_text(const window_record& w, int x, int y, const char* text, int n) override;
  extent measure_text(const char* text, int n) override;

  void on_window_created(const window_record& w) override;
  void on_window_shown(const window_record& w) override;
  void on_window_destroyed(const window_record& w) override;
  void on_dc_taken(const window_record& w, dc_handle dc) override;
  void on_dc_released(const window_record& w, dc_handle dc) override;

private:
  struct open_dc {
    dc_handle dc = 0;
    window_handle window = 0;
    std::vector<drawn_text> texts;
  };

  // Posts what one script event stands for (possibly nothing).
  void hand_over(const script_event& e);
  // The first visible top-level window, 0 when there is none.
  window_handle main_target() const;
  [[noreturn]] void end_exhausted();
  void trace(const std::string& line);

  std::vector<script_event> script_;
  std::size_t next_event_ = 0;
  std::unique_ptr<trace_file> trace_;
  std::vector<open_dc> open_dcs_; // in the order taken
};

} // namespace ui::offscreen
