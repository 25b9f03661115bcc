// Painting the three text lines and marking the default button.
#include "tests/ui/fake_window_system.h"
#include "ui/colour_scheme.h"
#include "ui/main_window.h"
#include "ui/painting.h"

#include <gtest/gtest.h>

using velmora_test::fake_window_system;
using velmora_test::screen_fixture;

namespace {

class Painting : public ::testing::Test {
protected:
  fake_window_system& ws = screen.ws;
  screen_fixture screen;
  void paint() {
    ws.texts.clear();
    ws.fills.clear();
    ui::paint_text_lines(ui::main_window());
  }
};

TEST_F(Painting, FillsTheClientAreaWithButtonfaceAndCentresThreeLines) {
  std::string second = "C:\\QXA0000A\\";
  ui::text_lines[1] = second.c_str();
  ui::text_lines[2] = "Plats: 1234 MB";
  paint();
  ASSERT_EQ(ws.fills.size(), 1u);
  EXPECT_EQ(ws.fills[0].c, ui::profile_colours()[12].value); // buttonface
  EXPECT_EQ(ws.fills[0].r.right, ws.client_rect(ui::main_window()).right);
  ASSERT_EQ(ws.texts.size(), 3u);
  EXPECT_EQ(ws.texts[0].y, 20);
  EXPECT_EQ(ws.texts[0].x, (450 - 8) / 2); // the single blank of line 1
  EXPECT_EQ(ws.texts[1].y, 50);
  EXPECT_EQ(ws.texts[1].x, (450 - 8 * 12) / 2);
  EXPECT_EQ(ws.texts[1].text, second);
  EXPECT_EQ(ws.texts[2].y, 80);
  // A text changed in place is drawn as it is now.
  second[3] = 'Z';
  paint();
  EXPECT_EQ(ws.texts[1].text, "C:\\ZXA0000A\\");
}

TEST_F(Painting, OnlyTheFirst100BytesAreMeasuredAndDrawn) {
  const std::string long_text(150, 'w');
  ui::text_lines[1] = long_text.c_str();
  paint();
  EXPECT_EQ(ws.texts[1].text, std::string(100, 'w'));
  EXPECT_EQ(ws.texts[1].x, (450 - 800) / 2); // -175: cut at the left edge
}

TEST_F(Painting, CentringTruncatesTowardsZero) {
  const std::string odd(57, 'o'); // 456 pixels: (450 - 456) / 2 = -3
  ui::text_lines[0] = odd.c_str();
  ui::text_lines[2] = "";
  paint();
  EXPECT_EQ(ws.texts[0].x, -3);
  EXPECT_EQ(ws.texts[2].x, 225); // an empty text: nothing drawn, at the middle
  EXPECT_EQ(ws.texts[2].text, "");
}

TEST_F(Painting, PaintMessagesFillTheUpdateAndRepaintTheLines) {
  ui::text_lines[1] = "repaint";
  ws.invalidate(ui::main_window());
  ws.fills.clear();
  ws.texts.clear();
  EXPECT_EQ(ui::drain_messages(), 1);
  ASSERT_EQ(ws.fills.size(), 2u); // the update rectangle, then the whole client area
  EXPECT_EQ(ws.texts.size(), 3u);
  EXPECT_EQ(ws.texts[1].text, "repaint");
  EXPECT_EQ(ui::drain_messages(), 0) << "painted: no further WM_PAINT";
}

TEST_F(Painting, DefaultButtonFrameFollowsTheSlotOnceDispatched) {
  const ui::window_handle main = ui::main_window();
  ui::buttons[0] = ws.create_window(0, ui::button_class, "Install",
                                    ui::window_style::child | ui::window_style::visible |
                                        ui::window_style::def_push_button,
                                    170, 110, 100, 30, main, 1, 0);
  ui::buttons[1] = ws.create_window(0, ui::button_class, "Avbryt",
                                    ui::window_style::child | ui::window_style::visible, 290, 110,
                                    100, 30, main, 2, 0);
  ui::buttons[2] = ws.create_window(0, ui::button_class, "V\xE4lj skiva",
                                    ui::window_style::child | ui::window_style::visible, 50, 110,
                                    100, 30, main, 3, 0);
  ui::mark_default_button(2);
  // Posted, not sent: nothing changes before dispatch.
  EXPECT_EQ(ws.button_style(1), ui::window_style::def_push_button);
  ui::drain_messages();
  EXPECT_EQ(ws.button_style(3), ui::window_style::def_push_button);
  EXPECT_EQ(ws.button_style(1), ui::window_style::push_button);
  EXPECT_EQ(ws.button_style(2), ui::window_style::push_button);
  EXPECT_EQ(ws.default_buttons, (std::vector<int>{2}));

  // Destroyed buttons: their slots' messages reach no window.
  ws.destroy_window(ui::buttons[0]);
  ws.destroy_window(ui::buttons[1]);
  ui::mark_default_button(0);
  ui::drain_messages();
  EXPECT_EQ(ws.button_style(3), ui::window_style::push_button);
}

} // namespace
