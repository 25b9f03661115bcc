// The window system emulated in portable code, for the fltk and offscreen
// backends.
#include "ui/window_system/emulated/emulated_window_system.h"

#include <cstring>
#include <vector>

namespace ui::emulated {

lparam key_down_second(unsigned char typed, std::uint8_t modifiers) {
  const std::uint8_t held = (modifiers >> 2) & 0x7;
  return static_cast<lparam>(1 | static_cast<std::uint32_t>(typed) << 16 |
                             static_cast<std::uint32_t>(held) << 24);
}

unsigned char typed_character(lparam second) {
  return static_cast<unsigned char>((static_cast<std::uint32_t>(second) >> 16) & 0xFF);
}

std::uint8_t key_modifiers(lparam second) {
  return static_cast<std::uint8_t>(((static_cast<std::uint32_t>(second) >> 24) & 0x7) << 2);
}

std::uint16_t find_accelerator(std::span<const accelerator> table, std::uint16_t key,
                               std::uint8_t modifiers) {
  constexpr std::uint8_t modifier_bits = accel_flag::shift | accel_flag::control | accel_flag::alt;
  for (const auto& entry : table)
    if (entry.key == key && (entry.flags & modifier_bits) == (modifiers & modifier_bits))
      return entry.command;
  return 0;
}

namespace {

// Resource handles of the emulated systems: fixed values, nothing to load.
constexpr icon_handle first_icon = 0x10;
constexpr cursor_handle arrow_cursor = 0x20;
constexpr cursor_handle wait_cursor = 0x21;

bool same_name_ignoring_case(const std::string& a, const char* b) {
  const std::size_t n = std::strlen(b);
  if (a.size() != n)
    return false;
  for (std::size_t i = 0; i < n; ++i) {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (upper(a[i]) != upper(b[i]))
      return false;
  }
  return true;
}

} // namespace

emulated_window_system::emulated_window_system(const resource_table& resources)
    : resources_(resources), table_handles_(resources.accelerator_tables.size(), 0) {}
emulated_window_system::~emulated_window_system() = default;

icon_handle emulated_window_system::load_icon(instance_handle, const char* name) {
  if (!name)
    return 0;
  for (std::size_t i = 0; i < resources_.icons.size() && i < max_icons; ++i)
    if (std::strcmp(resources_.icons[i], name) == 0)
      return first_icon + i;
  return 0;
}

cursor_handle emulated_window_system::load_standard_cursor(standard_cursor which) {
  return which == standard_cursor::arrow ? arrow_cursor : wait_cursor;
}

accel_handle emulated_window_system::load_accelerators(instance_handle, const char* name) {
  if (!name)
    return 0;
  for (std::size_t i = 0; i < resources_.accelerator_tables.size(); ++i)
    if (std::strcmp(resources_.accelerator_tables[i].name, name) == 0) {
      if (table_handles_[i] == 0)
        table_handles_[i] = next_handle_++;
      return table_handles_[i];
    }
  return 0;
}

bool emulated_window_system::register_class(const window_class& c) {
  if (!c.name || !c.procedure)
    return false;
  for (const auto& [name, known] : classes_)
    if (same_name_ignoring_case(name, c.name))
      return false;
  classes_[c.name] = c;
  return true;
}

window_handle emulated_window_system::create_window(std::uint32_t ex_style, const char* class_name,
                                                    const char* text, std::uint32_t style, int x,
                                                    int y, int width, int height,
                                                    window_handle parent, int id, instance_handle) {
  window_record w;
  if (class_name && same_name_ignoring_case(button_class, class_name)) {
    if (!find(parent))
      return 0;
    w.is_button = true;
    w.button_style = style & 0x0F;
  } else {
    const window_class* c = nullptr;
    for (const auto& [name, known] : classes_)
      if (class_name && same_name_ignoring_case(name, class_name))
        c = &known;
    if (!c || (parent && !find(parent)))
      return 0;
    w.procedure = c->procedure;
  }
  w.handle = next_handle_++;
  w.class_name = class_name;
  w.text = text ? text : "";
  w.style = style;
  w.ex_style = ex_style;
  w.x = x;
  w.y = y;
  w.width = width;
  w.height = height;
  w.parent = parent;
  w.id = id;
  w.visible = (style & window_style::visible) != 0;
  w.needs_paint = w.visible;
  windows_[w.handle] = w;
  on_window_created(windows_[w.handle]);
  return w.handle;
}

bool emulated_window_system::show_window(window_handle handle, int show) {
  window_record* w = find(handle);
  if (!w)
    return false;
  const bool was_visible = w->visible;
  w->visible = show != sw_hide;
  if (show == sw_show_minimized)
    w->iconic = true;
  if (w->visible && !was_visible)
    w->needs_paint = true;
  on_window_shown(*w);
  return was_visible;
}

window_handle emulated_window_system::set_focus(window_handle handle) {
  const window_handle previous = focus_;
  window_record* w = find(handle);
  if (!w)
    return 0;
  focus_ = handle;
  on_focus(*w);
  return previous;
}

void emulated_window_system::destroy_tree(window_handle handle) {
  std::vector<window_handle> children;
  for (const auto& [h, w] : windows_)
    if (w.parent == handle)
      children.push_back(h);
  for (window_handle child : children)
    destroy_tree(child);
  auto it = windows_.find(handle);
  if (it == windows_.end())
    return;
  if (it->second.procedure)
    it->second.procedure(handle, msg::destroy, 0, 0);
  on_window_destroyed(it->second);
  if (focus_ == handle)
    focus_ = 0;
  windows_.erase(handle);
}

bool emulated_window_system::destroy_window(window_handle handle) {
  if (!find(handle))
    return false;
  destroy_tree(handle);
  return true;
}

bool emulated_window_system::is_iconic(window_handle handle) {
  const window_record* w = find(handle);
  return w && w->iconic;
}

bool emulated_window_system::post_message(window_handle w, std::uint32_t id, wparam first,
                                          lparam second) {
  if (w != 0 && !find(w))
    return false;
  queue_.push_back({w, id, first, second});
  return true;
}

void emulated_window_system::post_quit_message(int code) {
  quit_posted_ = true;
  quit_code_ = code;
}

// Win32's order: posted messages first, then the quit message, then WM_PAINT
// for a window that needs painting (which stays until it is painted).
bool emulated_window_system::next_message(message* out, bool remove, std::uint32_t first,
                                          std::uint32_t last) {
  const auto wanted = [&](std::uint32_t id) {
    return (first == 0 && last == 0) || (id >= first && id <= last);
  };
  for (auto it = queue_.begin(); it != queue_.end(); ++it)
    if (wanted(it->id)) {
      *out = *it;
      if (remove)
        queue_.erase(it);
      return true;
    }
  if (quit_posted_ && wanted(msg::quit)) {
    *out = {0, msg::quit, static_cast<wparam>(quit_code_), 0};
    if (remove)
      quit_posted_ = false;
    return true;
  }
  if (!wanted(msg::paint))
    return false;
  for (const auto& [h, w] : windows_)
    if (w.needs_paint && w.visible && !w.is_button && w.procedure) {
      *out = {h, msg::paint, 0, 0};
      return true;
    }
  return false;
}

bool emulated_window_system::peek_message(message* out, bool remove) {
  poll_input();
  return next_message(out, remove);
}

bool emulated_window_system::peek_message_in(message* out, std::uint32_t first, std::uint32_t last,
                                             bool remove) {
  poll_input();
  return next_message(out, remove, first, last);
}

void emulated_window_system::wait_message() {
  poll_input();
  message m;
  while (!next_message(&m, false)) {
    wait_for_input();
    poll_input();
  }
}

int emulated_window_system::get_message(message* out) {
  wait_message();
  next_message(out, true);
  return out->id == msg::quit ? 0 : 1;
}

int emulated_window_system::translate_accelerator(window_handle handle, accel_handle table,
                                                  const message& m) {
  if (table == 0 || m.id != msg::key_down)
    return 0;
  std::span<const accelerator> entries;
  for (std::size_t i = 0; i < table_handles_.size(); ++i)
    if (table_handles_[i] == table)
      entries = resources_.accelerator_tables[i].entries;
  if (entries.empty())
    return 0;
  window_record* w = find(handle);
  if (!w || !w->procedure)
    return 0;
  const std::uint16_t command =
      find_accelerator(entries, static_cast<std::uint16_t>(m.first), key_modifiers(m.second));
  if (command == 0)
    return 0;
  w->procedure(handle, msg::command, static_cast<wparam>(command) | 1u << 16, 0);
  return 1;
}

bool emulated_window_system::translate_message(const message& m) {
  if (m.id != msg::key_down)
    return false;
  const unsigned char typed = typed_character(m.second);
  if (typed == 0)
    return false;
  queue_.push_back({m.window, msg::character, typed, m.second});
  return true;
}

lresult emulated_window_system::dispatch_message(const message& m) {
  window_record* w = find(m.window);
  if (!w)
    return 0;
  if (w->is_button)
    return button_procedure(*w, m.id, m.first, m.second);
  return w->procedure(m.window, m.id, m.first, m.second);
}

lresult emulated_window_system::button_procedure(window_record& w, std::uint32_t id, wparam first,
                                                 lparam) {
  if (id == msg::button_set_style) {
    w.button_style = static_cast<std::uint32_t>(first) & 0x0F;
    on_button_style(w);
  }
  return 0;
}

lresult emulated_window_system::def_window_proc(window_handle handle, std::uint32_t id,
                                                wparam first, lparam second) {
  window_record* w = find(handle);
  if (!w)
    return 0;
  switch (id) {
  case msg::sys_command:
    switch (first & 0xFFF0) {
    case sc_close:
      if (w->procedure)
        return w->procedure(handle, msg::close, 0, 0);
      return 0;
    case sc_minimize:
      w->iconic = true;
      on_iconic(*w);
      return 0;
    case sc_restore:
      w->iconic = false;
      w->needs_paint = true;
      on_iconic(*w);
      return 0;
    default:
      return 0;
    }
  case msg::close:
    destroy_window(handle);
    return 0;
  case msg::paint:
    w->needs_paint = false;
    return 0;
  case msg::query_end_session:
    return 1;
  case msg::button_set_style:
    if (w->is_button)
      return button_procedure(*w, id, first, second);
    return 0;
  default:
    return 0;
  }
}

cursor_handle emulated_window_system::set_cursor(cursor_handle c) {
  const cursor_handle previous = cursor_;
  cursor_ = c;
  on_cursor(cursor_, cursor_count_);
  return previous;
}

int emulated_window_system::show_cursor(bool show) {
  cursor_count_ += show ? 1 : -1;
  on_cursor(cursor_, cursor_count_);
  return cursor_count_;
}

rect emulated_window_system::client_area(const window_record& w) {
  if (w.is_button || w.parent != 0)
    return {0, 0, w.width, w.height};
  return {0, 0, w.width - frame_width, w.height - frame_height};
}

rect emulated_window_system::client_rect(window_handle handle) {
  const window_record* w = find(handle);
  return w ? client_area(*w) : rect{};
}

dc_handle emulated_window_system::get_dc(window_handle handle) {
  window_record* w = find(handle);
  if (!w)
    return 0;
  const dc_handle dc = next_handle_++;
  dcs_[dc] = {handle, bk_opaque};
  on_dc_taken(*w, dc);
  return dc;
}

int emulated_window_system::release_dc(window_handle handle, dc_handle dc) {
  auto it = dcs_.find(dc);
  if (it == dcs_.end() || it->second.window != handle)
    return 0;
  if (const window_record* w = find(handle))
    on_dc_released(*w, dc);
  dcs_.erase(it);
  return 1;
}

dc_handle emulated_window_system::begin_paint(window_handle handle, rect* update) {
  window_record* w = find(handle);
  if (!w)
    return 0;
  *update = w->needs_paint ? client_area(*w) : rect{};
  w->needs_paint = false;
  const dc_handle dc = next_handle_++;
  dcs_[dc] = {handle, bk_opaque};
  on_dc_taken(*w, dc);
  return dc;
}

void emulated_window_system::end_paint(window_handle handle, dc_handle dc) {
  release_dc(handle, dc);
}

int emulated_window_system::fill_rect(dc_handle dc, const rect& r, brush_handle brush) {
  auto it = dcs_.find(dc);
  auto object = objects_.find(brush);
  if (it == dcs_.end() || object == objects_.end() || !object->second.is_brush)
    return 0;
  const window_record* w = find(it->second.window);
  if (!w)
    return 0;
  fill(*w, r, object->second.c);
  return 1;
}

extent emulated_window_system::text_extent(dc_handle dc, const char* text, int n) {
  if (dcs_.find(dc) == dcs_.end() || n < 0)
    return {};
  return measure_text(text, n);
}

int emulated_window_system::set_bk_mode(dc_handle dc, int mode) {
  auto it = dcs_.find(dc);
  if (it == dcs_.end())
    return 0;
  const int previous = it->second.bk_mode;
  it->second.bk_mode = mode;
  return previous;
}

bool emulated_window_system::text_out(dc_handle dc, int x, int y, const char* text, int n) {
  auto it = dcs_.find(dc);
  if (it == dcs_.end() || n < 0)
    return false;
  const window_record* w = find(it->second.window);
  if (!w)
    return false;
  draw_text(*w, x, y, text, n);
  return true;
}

brush_handle emulated_window_system::create_solid_brush(colour c) {
  const std::uintptr_t h = next_handle_++;
  objects_[h] = {true, c};
  return h;
}

pen_handle emulated_window_system::create_pen(int, int, colour c) {
  const std::uintptr_t h = next_handle_++;
  objects_[h] = {false, c};
  return h;
}

bool emulated_window_system::delete_object(std::uintptr_t object) {
  return objects_.erase(object) == 1;
}

emulated_window_system::window_record* emulated_window_system::find(window_handle w) {
  auto it = windows_.find(w);
  return it == windows_.end() ? nullptr : &it->second;
}

window_handle emulated_window_system::input_window() {
  window_handle h = focus_;
  while (const window_record* w = find(h)) {
    if (w->parent == 0)
      return h;
    h = w->parent;
  }
  for (const auto& [handle, w] : windows_)
    if (w.parent == 0 && w.visible)
      return handle;
  return 0;
}

void emulated_window_system::post_key_down(std::uint16_t key, unsigned char typed,
                                           std::uint8_t modifiers) {
  const window_handle target = focus_ && find(focus_) ? focus_ : input_window();
  queue_.push_back({target, msg::key_down, key, key_down_second(typed, modifiers)});
}

void emulated_window_system::invalidate(window_handle handle) {
  if (window_record* w = find(handle))
    w->needs_paint = true;
}

colour emulated_window_system::brush_colour(brush_handle b) const {
  auto it = objects_.find(b);
  return it == objects_.end() ? 0 : it->second.c;
}

} // namespace ui::emulated
