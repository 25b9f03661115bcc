// A window system for tests.
#include "tests/ui/fake_window_system.h"

#include "ui/colour_scheme.h"
#include "ui/main_window.h"
#include "ui/painting.h"

#include <gtest/gtest.h>

namespace velmora_test {

void fake_window_system::wait_for_input() {
  ++waits;
  if (steps.empty()) {
    ADD_FAILURE() << "the program waited for input that the test did not give";
    post_quit_message(0);
    return;
  }
  auto step = std::move(steps.front());
  steps.pop_front();
  step(*this);
}

screen_fixture::screen_fixture() : previous_(ui::set_window_system(&ws)) {
  ui::reset_text_lines();
  ui::buttons = {};
  ui::build_colour_scheme();
  EXPECT_EQ(ui::register_window_classes(0), 1);
  EXPECT_EQ(ui::create_main_window(0, ui::sw_show_normal), 1);
  ui::load_key_table(0);
  ui::drain_messages();
  ui::reset_key_queue();
}

screen_fixture::~screen_fixture() {
  ui::forget_main_window();
  ui::set_window_system(previous_);
}

} // namespace velmora_test
