// The win32 window system against a real user32 and gdi32 (Windows, or Wine):
// routing to the seam's procedures from a window's first message on, child ids
// in WM_COMMAND, the queue and the pumps, accelerators, painting, text and
// drawing objects. A plain program (no test framework is built for Windows):
// prints a FAIL line for each broken expectation and exits 1 when there was
// one, 0 when all held.
#include "ui/window_system/win32/win32_window_system.h"

#include "ui/accelerators.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int failures = 0;

void check(bool ok, const char* what, int line) {
  if (!ok) {
    std::printf("FAIL line %d: %s\n", line, what);
    ++failures;
  }
}
#define CHECK(condition) check((condition), #condition, __LINE__)

struct seen {
  ui::window_handle window;
  std::uint32_t id;
  ui::wparam first;
  ui::lparam second;
};
std::vector<seen> log;
ui::rect painted_update{};
bool painted = false;

bool saw(std::uint32_t id) {
  for (const auto& s : log)
    if (s.id == id)
      return true;
  return false;
}

const seen* last_of(std::uint32_t id) {
  const seen* found = nullptr;
  for (const auto& s : log)
    if (s.id == id)
      found = &s;
  return found;
}

ui::lresult recording_procedure(ui::window_handle w, std::uint32_t id, ui::wparam first,
                                ui::lparam second) {
  log.push_back({w, id, first, second});
  ui::window_system& ws = ui::current_window_system();
  if (id == ui::msg::paint) {
    const ui::dc_handle dc = ws.begin_paint(w, &painted_update);
    painted = dc != 0;
    ws.end_paint(w, dc);
    return 0;
  }
  return ws.def_window_proc(w, id, first, second);
}

// Handles every waiting message.
void pump(ui::window_system& ws) {
  ui::message m;
  while (ws.peek_message(&m, true)) {
    ws.translate_message(m);
    ws.dispatch_message(m);
  }
}

constexpr std::uint32_t wm_getminmaxinfo = 0x0024;
constexpr std::uint32_t wm_nccreate = 0x0081;
constexpr std::uint32_t wm_create = 0x0001;
constexpr std::uint32_t bm_click = 0x00F5;
// A message of the program's own range (WM_USER to 0x7FFF).
constexpr std::uint32_t private_message = 32766;
constexpr std::uint32_t top_level = 0x00CF0000; // WS_OVERLAPPEDWINDOW

// A hidden top-level window of the class routes_from_the_first_message registers.
ui::window_handle test_window(ui::window_system& ws, ui::instance_handle instance) {
  return ws.create_window(0, "VelmoraTestClass", "Test", top_level, 10, 10, 300, 200, 0, 0,
                          instance);
}

void routes_from_the_first_message(ui::window_system& ws, ui::instance_handle instance) {
  ui::window_class c;
  c.name = "VelmoraTestClass";
  c.style = ui::class_style::vredraw | ui::class_style::hredraw;
  c.procedure = recording_procedure;
  c.instance = instance;
  CHECK(ws.register_class(c));
  CHECK(!ws.register_class(c)); // the name is taken

  log.clear();
  const ui::window_handle w = test_window(ws, instance);
  CHECK(w != 0);
  // The size query comes before WM_NCCREATE, while CreateWindowExA has not
  // returned the handle yet: the class atom finds the procedure.
  CHECK(!log.empty() && log.front().id == wm_getminmaxinfo);
  CHECK(saw(wm_nccreate) && saw(wm_create));
  bool all_to_w = true;
  for (const auto& s : log)
    all_to_w = all_to_w && s.window == w;
  CHECK(all_to_w);
  ws.destroy_window(w);
  pump(ws);
}

void queue_and_pumps(ui::window_system& ws, ui::instance_handle instance) {
  const ui::window_handle w = test_window(ws, instance);
  pump(ws);

  CHECK(ws.post_message(w, private_message, 269, 5));
  ui::message m;
  CHECK(ws.peek_message(&m, false));
  CHECK(m.window == w && m.id == private_message && m.first == 269 && m.second == 5);
  CHECK(ws.peek_message(&m, false)); // still there
  CHECK(ws.get_message(&m) == 1 && m.id == private_message);
  log.clear();
  ws.dispatch_message(m);
  CHECK(log.size() == 1 && log[0].window == w && log[0].first == 269 && log[0].second == 5);
  CHECK(!ws.peek_message(&m, false));

  // A thread message: got, but handed to no procedure.
  CHECK(ws.post_message(0, private_message, 1, 0));
  CHECK(ws.get_message(&m) == 1 && m.window == 0);
  log.clear();
  ws.dispatch_message(m);
  CHECK(log.empty());

  ws.post_quit_message(7);
  CHECK(ws.get_message(&m) == 0);
  CHECK(m.id == ui::msg::quit && m.first == 7);

  ws.destroy_window(w);
  CHECK(!ws.post_message(w, private_message, 1, 0)); // no such window any more
  CHECK(!ws.destroy_window(w));
  pump(ws);
}

void buttons_report_their_id(ui::window_system& ws, ui::instance_handle instance) {
  const ui::window_handle w = test_window(ws, instance);
  const ui::window_handle button = ws.create_window(
      0, ui::button_class, "V\xE4lj skiva", ui::window_style::child | ui::window_style::visible, 50,
      110, 100, 30, w, 3, instance);
  CHECK(button != 0);
  ws.show_window(w, ui::sw_show_normal);
  pump(ws);

  log.clear();
  CHECK(ws.post_message(button, bm_click, 0, 0));
  pump(ws);
  const seen* command = last_of(ui::msg::command);
  CHECK(command != nullptr);
  if (command != nullptr) {
    CHECK(command->window == w);
    CHECK((command->first & 0xFFFF) == 3); // the child id
    CHECK(static_cast<ui::window_handle>(command->second) == button);
  }

  // The style message the installer posts to mark the default button.
  CHECK(ws.post_message(button, ui::msg::button_set_style, ui::window_style::def_push_button, 1));
  pump(ws);
  constexpr int gwl_style = -16;
  CHECK((GetWindowLongA(ui::win32::to_native<HWND>(button), gwl_style) & 0x0F) ==
        static_cast<LONG>(ui::window_style::def_push_button));

  ws.destroy_window(w); // the button goes with its parent
  CHECK(!ws.post_message(button, bm_click, 0, 0));
  pump(ws);
}

void accelerators_hand_commands_to_the_window(ui::window_system& ws, ui::instance_handle instance) {
  // This program carries no resources: LoadAcceleratorsA finds no ZORACC.
  CHECK(ws.load_accelerators(instance, ui::accelerator_table_name) == 0);
  std::vector<ACCEL> entries;
  for (const auto& e : ui::zoracc)
    entries.push_back(ACCEL{static_cast<BYTE>(e.flags & ~ui::accel_flag::end), e.key, e.command});
  const HACCEL table = CreateAcceleratorTableA(entries.data(), static_cast<int>(entries.size()));
  CHECK(table != nullptr);

  const ui::window_handle w = test_window(ws, instance);
  pump(ws);
  constexpr ui::lparam escape_scan = 0x00010001; // repeat 1, scan code 1
  const ui::message escape{w, ui::msg::key_down, ui::vk::escape, escape_scan};
  log.clear();
  CHECK(ws.translate_accelerator(w, ui::win32::from_native(table), escape) == 1);
  const seen* command = last_of(ui::msg::command);
  CHECK(command != nullptr && command->first == (258u | 1u << 16) && command->second == 0);

  const ui::message letter{w, ui::msg::key_down, 'A', 0x001E0001};
  CHECK(ws.translate_accelerator(w, ui::win32::from_native(table), letter) == 0);

  DestroyAcceleratorTable(table);
  ws.destroy_window(w);
  pump(ws);
}

void painting_and_text(ui::window_system& ws, ui::instance_handle instance) {
  const ui::window_handle w = test_window(ws, instance);
  painted = false;
  CHECK(!ws.show_window(w, ui::sw_show_normal)); // it was hidden
  pump(ws);
  const ui::rect client = ws.client_rect(w);
  CHECK(client.left == 0 && client.top == 0 && client.right > 0 && client.bottom > 0);
  CHECK(client.right <= 300 && client.bottom <= 200);
  CHECK(painted);
  CHECK(painted_update.right > painted_update.left && painted_update.bottom > painted_update.top);
  ui::message m;
  CHECK(!ws.peek_message(&m, false)); // painted: no WM_PAINT again

  const ui::dc_handle dc = ws.get_dc(w);
  CHECK(dc != 0);
  const ui::extent wide = ws.text_extent(dc, "Installationen", 14);
  const ui::extent narrow = ws.text_extent(dc, "Install", 7);
  CHECK(wide.cx > narrow.cx && narrow.cx > 0 && narrow.cy > 0);
  CHECK(ws.text_extent(dc, "", 0).cx == 0);
  CHECK(ws.set_bk_mode(dc, ui::bk_transparent) == ui::bk_opaque); // a fresh DC is opaque
  CHECK(ws.set_bk_mode(dc, ui::bk_opaque) == ui::bk_transparent);
  CHECK(ws.text_out(dc, 10, 20, "V\xE4lj skiva", 10));

  const ui::brush_handle brush = ws.create_solid_brush(ui::rgb(148, 148, 240));
  CHECK(brush != 0);
  CHECK(ws.fill_rect(dc, client, brush) != 0);
  const ui::pen_handle pen = ws.create_pen(ui::ps_solid, 4, ui::rgb(0xC4, 0xC4, 0xC4));
  CHECK(pen != 0);
  CHECK(ws.delete_object(brush));
  CHECK(ws.delete_object(pen));
  CHECK(ws.release_dc(w, dc) == 1);

  // An end without a begin does nothing.
  ws.end_paint(w, dc);

  CHECK(ws.show_window(w, ui::sw_show_minimized)); // it was visible
  pump(ws);
  CHECK(ws.is_iconic(w));
  ws.destroy_window(w);
  CHECK(ws.client_rect(w).right == 0);
  pump(ws);
}

void focus_and_cursor(ui::window_system& ws, ui::instance_handle instance) {
  const ui::window_handle w = test_window(ws, instance);
  ws.show_window(w, ui::sw_show_normal);
  ws.set_focus(w);
  const ui::window_handle button = ws.create_window(
      0, ui::button_class, "Install", ui::window_style::child | ui::window_style::visible, 170, 110,
      100, 30, w, 1, instance);
  CHECK(ws.set_focus(button) == w);
  CHECK(ws.set_focus(w) == button);

  const ui::cursor_handle arrow = ws.load_standard_cursor(ui::standard_cursor::arrow);
  const ui::cursor_handle wait = ws.load_standard_cursor(ui::standard_cursor::wait);
  CHECK(arrow != 0 && wait != 0 && arrow != wait);
  ws.set_cursor(wait);
  CHECK(ws.set_cursor(arrow) == wait);
  const int shown = ws.show_cursor(false);
  CHECK(ws.show_cursor(true) == shown + 1);
  ws.destroy_window(w);
  pump(ws);
}

} // namespace

int main() {
  std::string why;
  auto ws = ui::create_win32_window_system(&why);
  if (!ws) {
    std::printf("FAIL: no window system: %s\n", why.c_str());
    return 1;
  }
  CHECK(ui::create_win32_window_system(&why) == nullptr && !why.empty()); // one at a time
  ui::set_window_system(ws.get());
  const ui::instance_handle instance = ui::win32::from_native(GetModuleHandleA(nullptr));

  routes_from_the_first_message(*ws, instance);
  queue_and_pumps(*ws, instance);
  buttons_report_their_id(*ws, instance);
  accelerators_hand_commands_to_the_window(*ws, instance);
  painting_and_text(*ws, instance);
  focus_and_cursor(*ws, instance);

  ui::set_window_system(nullptr);
  std::printf("%s\n", failures == 0 ? "all held" : "failures");
  return failures == 0 ? 0 : 1;
}
