// The main window, its procedure, the key queue and the message pumps.
#include "ui/main_window.h"

#include "ui/accelerators.h"
#include "ui/painting.h"
#include "ui/screen_observer.h"

#include <array>

namespace ui {

namespace {

// Module state, written at start-up.
instance_handle instance_ = 0;
window_handle main_window_ = 0;
accel_handle key_table = 0;
icon_handle icon = 0;
cursor_handle arrow = 0;
cursor_handle hourglass = 0;

// The key queue: a ring of 126 codes, empty when the indices are equal.
std::array<std::uint16_t, key_ring_slots> ring{};
std::int16_t write_index = 0;
std::int16_t read_index = 0;

std::int16_t advance(std::int16_t index) {
  return static_cast<std::int16_t>(index + 1 > key_ring_slots - 1 ? 0 : index + 1);
}

bool queue_empty() {
  return write_index == read_index;
}

// Translation and dispatch of one message taken from the queue.
void handle(const message& m) {
  window_system& ws = current_window_system();
  if (ws.translate_accelerator(main_window_, key_table, m) == 0) {
    ws.translate_message(m);
    ws.dispatch_message(m);
  }
}

void set_cursor_shape(cursor_handle c) {
  window_system& ws = current_window_system();
  ws.set_cursor(c);
  ws.show_cursor(false);
  ws.show_cursor(true);
}

void tell_key_returned(std::uint16_t code) {
  if (screen_observer* observer = current_screen_observer())
    observer->key_returned(code);
}

} // namespace

int register_window_classes(instance_handle instance) {
  window_system& ws = current_window_system();
  icon = ws.load_icon(instance, main_icon_name);
  hourglass = ws.load_standard_cursor(standard_cursor::wait);
  arrow = ws.load_standard_cursor(standard_cursor::arrow);
  constexpr std::uint32_t saved = class_style::classdc | class_style::savebits; // 2112
  constexpr std::uint32_t redrawn = class_style::vredraw | class_style::hredraw |
                                    class_style::dblclks | class_style::classdc; // 75
  const auto make = [&](const char* name, std::uint32_t style) {
    window_class c;
    c.name = name;
    c.style = style;
    c.procedure = main_window_procedure;
    c.instance = instance;
    c.icon = icon;
    return ws.register_class(c);
  };
  make("HelWClass", saved);
  if (!make("TreWClass", saved) || !make("DulWClass", redrawn))
    return 0;
  return make(main_window_class, redrawn) ? 1 : 0;
}

int create_main_window(instance_handle instance, int show) {
  window_system& ws = current_window_system();
  instance_ = instance;
  main_window_ = ws.create_window(
      window_style::ex_window_edge, main_window_class, main_window_title, window_style::overlapped,
      main_window_x, main_window_y, main_window_width, main_window_height, 0, 0, instance);
  if (main_window_ == 0)
    return 0;
  ws.set_focus(main_window_);
  ws.show_window(main_window_, show);
  return 1;
}

lresult main_window_procedure(window_handle w, std::uint32_t id, wparam first, lparam second) {
  window_system& ws = current_window_system();
  const auto low_word = static_cast<std::uint16_t>(first & 0xFFFF);
  switch (id) {
  case msg::paint:
    return handle_paint(w);
  case msg::query_end_session:
    return 0; // the log-off or shut-down is refused
  case msg::character:
    push_key(low_word);
    return 0;
  case msg::command:
    ws.post_message(main_window_, queue_key_message, low_word, 0);
    return 0;
  case msg::sys_command:
    if ((low_word & 0xFFF0) != sc_close)
      break;
    if (ws.is_iconic(w))
      return 0;
    if (w != main_window_)
      break;
    ws.post_message(main_window_, queue_key_message, key::close_request, 0);
    return 0;
  case queue_key_message:
    if ((low_word & 0x8000) != 0)
      break;
    push_key(low_word);
    return 0;
  default:
    break;
  }
  return ws.def_window_proc(w, id, first, second);
}

void push_key(std::uint16_t code) {
  ring[static_cast<std::size_t>(write_index)] = code;
  write_index = advance(write_index);
}

void reset_key_queue() {
  write_index = 0;
  read_index = 0;
}

std::uint16_t wait_for_key() {
  window_system& ws = current_window_system();
  set_cursor_shape(arrow);
  for (;;) {
    // Block until a message is waiting, also when a code is queued already.
    message waiting;
    while (!ws.peek_message(&waiting, false))
      ws.wait_message();
    if (queue_empty()) {
      message m;
      if (ws.get_message(&m) == 0) {
        tell_key_returned(key::quit);
        return key::quit;
      }
      handle(m);
    }
    if (!queue_empty())
      break;
  }
  const std::uint16_t code = ring[static_cast<std::size_t>(read_index)];
  read_index = advance(read_index);
  set_cursor_shape(hourglass);
  tell_key_returned(code);
  return code;
}

int drain_messages() {
  window_system& ws = current_window_system();
  message m;
  if (!ws.peek_message(&m, false))
    return 0;
  do {
    ws.get_message(&m);
    handle(m);
  } while (ws.peek_message(&m, false));
  return 1;
}

void pump_paint_messages() {
  window_system& ws = current_window_system();
  message m;
  while (ws.peek_message_in(&m, msg::paint, msg::paint, true))
    ws.dispatch_message(m);
}

void load_key_table(instance_handle instance) {
  key_table = current_window_system().load_accelerators(instance, accelerator_table_name);
}

const resource_table& screen_resources() {
  static constexpr const char* icons[] = {main_icon_name};
  static constexpr accelerator_table_resource tables[] = {{accelerator_table_name, zoracc}};
  static constexpr resource_table resources{icons, tables};
  return resources;
}

window_handle main_window() {
  return main_window_;
}

void forget_main_window() {
  main_window_ = 0;
}

} // namespace ui
