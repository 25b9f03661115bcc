// The offscreen window system: scripted input, traced output, no window.
#include "ui/window_system/offscreen/offscreen_window_system.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace ui {

namespace {

// The whole file, or false with the reason in *why.
bool read_file(const char* path, std::string* text, std::string* why) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) {
    *why = std::string("cannot read the script ") + path + ": " + std::strerror(errno);
    return false;
  }
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
    text->append(buffer, n);
  const bool failed = std::ferror(f) != 0;
  const int error = errno;
  std::fclose(f);
  if (failed) {
    *why = std::string("cannot read the script ") + path + ": " + std::strerror(error);
    return false;
  }
  return true;
}

const char* env_value(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

} // namespace

std::unique_ptr<window_system> create_offscreen_window_system(const resource_table& resources,
                                                              std::string* why) {
  std::vector<offscreen::script_event> script;
  if (const char* path = env_value("VELMORA_UI_SCRIPT")) {
    std::string text;
    if (!read_file(path, &text, why))
      return nullptr;
    std::string reason;
    if (!offscreen::parse_script(text, &script, &reason)) {
      *why = std::string("the script ") + path + ", " + reason;
      return nullptr;
    }
  }
  std::unique_ptr<offscreen::trace_file> trace;
  if (const char* path = env_value("VELMORA_UI_TRACE")) {
    trace = offscreen::trace_file::open(path, why);
    if (!trace)
      return nullptr;
  }
  return std::make_unique<offscreen::offscreen_window_system>(resources, std::move(script),
                                                              std::move(trace));
}

} // namespace ui

namespace ui::offscreen {

offscreen_window_system::offscreen_window_system(const resource_table& resources,
                                                 std::vector<script_event> script,
                                                 std::unique_ptr<trace_file> trace)
    : emulated_window_system(resources), script_(std::move(script)), trace_(std::move(trace)) {}

offscreen_window_system::~offscreen_window_system() = default;

void offscreen_window_system::trace(const std::string& line) {
  if (trace_)
    trace_->write(line);
}

void offscreen_window_system::key_returned(std::uint16_t code) {
  trace(key_event(code));
}

void offscreen_window_system::default_button_marked(int slot) {
  trace(default_button_event(slot));
}

// --- input -------------------------------------------------------------------

void offscreen_window_system::wait_for_input() {
  if (next_event_ == script_.size())
    end_exhausted();
  hand_over(script_[next_event_++]);
}

void offscreen_window_system::end_exhausted() {
  trace(script_exhausted_event());
  trace_.reset();
  std::fflush(nullptr);
  std::exit(script_exhausted_exit_code);
}

window_handle offscreen_window_system::main_target() const {
  for (const auto& [h, w] : windows())
    if (w.parent == 0 && !w.is_button && w.visible)
      return h;
  return 0;
}

void offscreen_window_system::hand_over(const script_event& e) {
  switch (e.action) {
  case script_action::key:
    post_key_down(e.key, e.typed, 0);
    return;
  case script_action::character:
    post_message(input_window(), msg::character, e.value,
                 emulated::key_down_second(static_cast<unsigned char>(e.value), 0));
    return;
  case script_action::click:
    for (const auto& [h, w] : windows())
      if (w.is_button && static_cast<unsigned>(w.id) == e.value) {
        post_message(w.parent, msg::command, e.value, static_cast<lparam>(h));
        return;
      }
    return;
  case script_action::close:
  case script_action::minimize:
  case script_action::restore:
  case script_action::end_session: {
    const window_handle main = main_target();
    if (main == 0)
      return;
    if (e.action == script_action::end_session) {
      post_message(main, msg::query_end_session, 0, 0);
      return;
    }
    const std::uint32_t command = e.action == script_action::close      ? sc_close
                                  : e.action == script_action::minimize ? sc_minimize
                                                                        : sc_restore;
    post_message(main, msg::sys_command, command, 0);
    return;
  }
  case script_action::quit:
    post_quit_message(0);
    return;
  }
}

// --- drawing -----------------------------------------------------------------

extent offscreen_window_system::measure_text(const char*, int n) {
  return {char_width * n, char_height};
}

void offscreen_window_system::draw_text(const window_record& w, int x, int y, const char* text,
                                        int n) {
  // The hook names the window, not the context: the text belongs to the
  // context taken last on that window.
  for (auto it = open_dcs_.rbegin(); it != open_dcs_.rend(); ++it)
    if (it->window == w.handle) {
      it->texts.push_back({x, y, std::string(text, static_cast<std::size_t>(n))});
      return;
    }
}

void offscreen_window_system::on_dc_taken(const window_record& w, dc_handle dc) {
  open_dcs_.push_back({dc, w.handle, {}});
}

void offscreen_window_system::on_dc_released(const window_record&, dc_handle dc) {
  for (auto it = open_dcs_.begin(); it != open_dcs_.end(); ++it)
    if (it->dc == dc) {
      if (!it->texts.empty())
        trace(paint_event(it->texts));
      open_dcs_.erase(it);
      return;
    }
}

// --- windows -----------------------------------------------------------------

void offscreen_window_system::on_window_created(const window_record& w) {
  if (w.is_button)
    trace(button_event("create", w.id, w.text));
  else if (w.parent == 0)
    trace(window_event("create", w.text));
}

void offscreen_window_system::on_window_shown(const window_record& w) {
  if (!w.is_button && w.parent == 0 && w.visible)
    trace(window_event("show", w.text));
}

void offscreen_window_system::on_window_destroyed(const window_record& w) {
  if (w.is_button)
    trace(button_event("destroy", w.id, w.text));
  else if (w.parent == 0)
    trace(window_event("destroy", w.text));
  // Contexts still open on the window go with it, unreported.
  std::erase_if(open_dcs_, [&](const open_dc& d) { return d.window == w.handle; });
}

} // namespace ui::offscreen
