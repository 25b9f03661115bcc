// The window system emulated in portable code: window classes, windows and
// push buttons, the thread's message queue with WM_PAINT and WM_QUIT, focus,
// accelerator and character translation, dispatch, default processing,
// cursors, drawing contexts and drawing objects, all with Win32's message
// numbers and orders. The fltk and offscreen backends derive from it and give
// it only their input and their drawing; the program's icons and accelerator
// tables are handed to it as a resource_table.
//
// Map of this file's class:
//   input hooks      wait_for_input, poll_input (derived backends post input)
//   drawing hooks    fill, draw_text, measure_text, client_area
//   observer hooks   on_window_created/shown/destroyed, on_button_style, ...
//   window_system    everything else, implemented once here
#pragma once

#include "ui/window_system.h"

#include <deque>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace ui::emulated {

// Emulated key-downs carry in their second parameter what Win32 keeps in the
// keyboard state: bits 0-15 the repeat count (1), bits 16-23 the Windows-1252
// character the key types (0 for none), bits 24-26 the modifiers held
// (accel_flag::shift, control and alt shifted down by 2: 1 Shift, 2 Ctrl,
// 4 Alt).
lparam key_down_second(unsigned char typed, std::uint8_t modifiers);
unsigned char typed_character(lparam second);
std::uint8_t key_modifiers(lparam second); // as accel_flag bits

// The command id of the entry of table that a key-down of key with the given
// modifier flags (accel_flag::shift, control, alt) matches, or 0 when none
// does: the entry's modifiers must be exactly those held.
std::uint16_t find_accelerator(std::span<const accelerator> table, std::uint16_t key,
                               std::uint8_t modifiers);

// The frame the emulated systems give an overlapped window: the client area
// is the outer size less these.
inline constexpr int frame_width = 16;
inline constexpr int frame_height = 39;

class emulated_window_system : public window_system {
public:
  // resources: the program's icons and accelerator tables; the instance
  // handle is not looked at. Icons get the handles 0x10 to 0x1F, so only the
  // first max_icons of the table are found.
  explicit emulated_window_system(const resource_table& resources);
  ~emulated_window_system() override;

  static constexpr std::size_t max_icons = 16;

  icon_handle load_icon(instance_handle instance, const char* name) override;
  cursor_handle load_standard_cursor(standard_cursor which) override;
  accel_handle load_accelerators(instance_handle instance, const char* name) override;
  bool register_class(const window_class& c) override;

  window_handle create_window(std::uint32_t ex_style, const char* class_name, const char* text,
                              std::uint32_t style, int x, int y, int width, int height,
                              window_handle parent, int id, instance_handle instance) override;
  bool show_window(window_handle w, int show) override;
  window_handle set_focus(window_handle w) override;
  bool destroy_window(window_handle w) override;
  bool is_iconic(window_handle w) override;

  bool post_message(window_handle w, std::uint32_t id, wparam first, lparam second) override;
  void post_quit_message(int code) override;
  bool peek_message(message* out, bool remove) override;
  bool peek_message_in(message* out, std::uint32_t first, std::uint32_t last, bool remove) override;
  void wait_message() override;
  int get_message(message* out) override;
  int translate_accelerator(window_handle w, accel_handle table, const message& m) override;
  bool translate_message(const message& m) override;
  lresult dispatch_message(const message& m) override;
  lresult def_window_proc(window_handle w, std::uint32_t id, wparam first, lparam second) override;

  cursor_handle set_cursor(cursor_handle c) override;
  int show_cursor(bool show) override;

  rect client_rect(window_handle w) override;
  dc_handle get_dc(window_handle w) override;
  int release_dc(window_handle w, dc_handle dc) override;
  dc_handle begin_paint(window_handle w, rect* update) override;
  void end_paint(window_handle w, dc_handle dc) override;
  int fill_rect(dc_handle dc, const rect& r, brush_handle brush) override;
  extent text_extent(dc_handle dc, const char* text, int n) override;
  int set_bk_mode(dc_handle dc, int mode) override;
  bool text_out(dc_handle dc, int x, int y, const char* text, int n) override;

  brush_handle create_solid_brush(colour c) override;
  pen_handle create_pen(int style, int width, colour c) override;
  bool delete_object(std::uintptr_t object) override;

protected:
  struct window_record {
    window_handle handle = 0;
    std::string class_name;
    window_procedure procedure = nullptr; // nullptr for push buttons
    std::string text;                     // Windows-1252
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
    int x = 0, y = 0, width = 0, height = 0;
    window_handle parent = 0;
    int id = 0;
    bool visible = false;
    bool iconic = false;
    bool needs_paint = false;
    bool is_button = false;
    std::uint32_t button_style = 0; // BS_PUSHBUTTON or BS_DEFPUSHBUTTON
  };

  // --- input: what the derived backend must give ----------------------------

  // Blocks until the backend has posted at least one message (or a quit);
  // called only when nothing is waiting. May end the process.
  virtual void wait_for_input() = 0;
  // Posts whatever input is waiting, without blocking. Called by every peek,
  // wait and get before the queue is looked at.
  virtual void poll_input() {}

  // --- drawing: what the derived backend must give --------------------------

  virtual void fill(const window_record& w, const rect& r, colour c) = 0;
  virtual void draw_text(const window_record& w, int x, int y, const char* text, int n) = 0;
  virtual extent measure_text(const char* text, int n) = 0;
  // The client area of a top-level window (buttons: their own size).
  virtual rect client_area(const window_record& w);

  // --- observers (no-ops by default) ----------------------------------------

  virtual void on_window_created(const window_record&) {}
  virtual void on_window_shown(const window_record&) {}
  virtual void on_window_destroyed(const window_record&) {}
  virtual void on_button_style(const window_record&) {}
  virtual void on_focus(const window_record&) {}
  virtual void on_iconic(const window_record&) {}
  virtual void on_cursor(cursor_handle, int) {}
  virtual void on_dc_taken(const window_record&, dc_handle) {}
  virtual void on_dc_released(const window_record&, dc_handle) {}

  // --- for derived backends -------------------------------------------------

  window_record* find(window_handle w);
  // The top-level window that takes keyboard input: the focus window's top
  // level, else the first visible top-level window; 0 when there is none.
  window_handle input_window();
  // Posts a key-down (and nothing else: translation makes the character).
  void post_key_down(std::uint16_t key, unsigned char typed, std::uint8_t modifiers);
  // Marks a window as needing WM_PAINT.
  void invalidate(window_handle w);
  const std::map<window_handle, window_record>& windows() const { return windows_; }
  cursor_handle current_cursor() const { return cursor_; }
  int cursor_count() const { return cursor_count_; }
  colour brush_colour(brush_handle b) const;

private:
  // The next message whose id lies in [first, last] (0, 0: any).
  bool next_message(message* out, bool remove, std::uint32_t first = 0, std::uint32_t last = 0);
  lresult button_procedure(window_record& w, std::uint32_t id, wparam first, lparam second);
  void destroy_tree(window_handle w);

  struct drawing_object {
    bool is_brush = true;
    colour c = 0;
  };
  struct dc_record {
    window_handle window = 0;
    int bk_mode = bk_opaque;
  };

  std::map<std::string, window_class> classes_;
  std::map<window_handle, window_record> windows_;
  std::map<std::uintptr_t, drawing_object> objects_;
  std::map<dc_handle, dc_record> dcs_;
  std::deque<message> queue_;
  bool quit_posted_ = false;
  int quit_code_ = 0;
  window_handle focus_ = 0;
  cursor_handle cursor_ = 0;
  int cursor_count_ = 0;
  std::uintptr_t next_handle_ = 0x100;
  resource_table resources_;
  // The handle of each accelerator table, by its index in resources_; made at
  // its first load (0 before).
  std::vector<accel_handle> table_handles_;
};

} // namespace ui::emulated
