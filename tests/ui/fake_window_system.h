// A window system for tests: the emulated window manager with recorded
// drawing, cursors and styles, the screen's observer recording key codes and
// default-button marks, and input that the test hands over whenever the
// program blocks.
#pragma once

#include "tests/support/temp_drive.h"
#include "ui/main_window.h"
#include "ui/screen_observer.h"
#include "ui/window_system/emulated/emulated_window_system.h"

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace velmora_test {

class fake_window_system final : public ui::emulated::emulated_window_system,
                                 public ui::screen_observer {
public:
  struct text_drawn {
    int x, y;
    std::string text;
  };
  struct fill_done {
    ui::rect r;
    ui::colour c;
  };

  // Input for the next blocking waits, one step per wait: each step posts
  // messages through the functions below. A wait with no step left fails the
  // test and posts a quit so the program under test ends.
  std::deque<std::function<void(fake_window_system&)>> steps;
  int waits = 0;

  std::vector<fill_done> fills;
  std::vector<text_drawn> texts;
  std::vector<std::uint16_t> keys_returned;
  std::vector<int> default_buttons;
  std::vector<std::uintptr_t> deleted;
  std::vector<std::pair<ui::cursor_handle, int>> cursors;
  int peeks = 0;

  // With the program's resources, as the installer's window systems have.
  fake_window_system() : emulated_window_system(ui::screen_resources()) {}

  void key(std::uint16_t vk, unsigned char typed = 0, std::uint8_t modifiers = 0) {
    post_key_down(vk, typed, modifiers);
  }
  ui::window_handle button(int id) const {
    for (const auto& [h, w] : windows())
      if (w.is_button && w.id == id)
        return h;
    return 0;
  }
  std::string button_text(int id) const {
    for (const auto& [h, w] : windows())
      if (w.is_button && w.id == id)
        return w.text;
    return "";
  }
  std::uint32_t button_style(int id) const {
    for (const auto& [h, w] : windows())
      if (w.is_button && w.id == id)
        return w.button_style;
    return 0xFFFF;
  }

  bool peek_message(ui::message* out, bool remove) override {
    ++peeks;
    return emulated_window_system::peek_message(out, remove);
  }
  // Input that arrives while the program takes only some messages (paint
  // messages during an extraction): posted at the first such peek.
  std::function<void(fake_window_system&)> arriving_during_filtered_peek;
  bool peek_message_in(ui::message* out, std::uint32_t first, std::uint32_t last,
                       bool remove) override {
    if (auto arrive = std::exchange(arriving_during_filtered_peek, nullptr))
      arrive(*this);
    return emulated_window_system::peek_message_in(out, first, last, remove);
  }
  bool delete_object(std::uintptr_t object) override {
    deleted.push_back(object);
    return emulated_window_system::delete_object(object);
  }
  void key_returned(std::uint16_t code) override { keys_returned.push_back(code); }
  void default_button_marked(int slot) override { default_buttons.push_back(slot); }

  using emulated_window_system::current_cursor;
  using emulated_window_system::cursor_count;
  using emulated_window_system::invalidate;
  ui::colour brush_colour_of(ui::brush_handle b) const { return brush_colour(b); }

protected:
  void wait_for_input() override;
  void fill(const window_record&, const ui::rect& r, ui::colour c) override {
    fills.push_back({r, c});
  }
  void draw_text(const window_record&, int x, int y, const char* text, int n) override {
    texts.push_back({x, y, std::string(text, static_cast<std::size_t>(n))});
  }
  ui::extent measure_text(const char*, int n) override { return {8 * n, 16}; }
  void on_cursor(ui::cursor_handle shape, int count) override {
    cursors.emplace_back(shape, count);
  }
};

// Installs the fake and brings the screen up the way the installer does:
// colour scheme, classes, main window, key table, the start-up messages
// handled and the key queue emptied.
class screen_fixture {
  scoped_env no_profile_{"VELMORA_PROFILE", "/nonexistent/velmora-test-profile.ini"};

public:
  screen_fixture();
  ~screen_fixture();
  fake_window_system ws;

private:
  ui::window_system* previous_;
};

} // namespace velmora_test
