// The colour scheme: reading colour triples, defaults, profiles, release order.
#include "tests/support/temp_drive.h"
#include "tests/ui/fake_window_system.h"
#include "ui/colour_scheme.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

using velmora_test::fake_window_system;
using velmora_test::scoped_env;
using velmora_test::temp_drive;

namespace {

std::tuple<int, int, int> triple(const std::string& text) {
  char buffer[ui::profile_text_bytes] = {};
  std::memcpy(buffer, text.data(), std::min<std::size_t>(text.size(), sizeof buffer));
  int r = -1, g = -1, b = -1;
  EXPECT_EQ(ui::parse_colour_triple(buffer, &r, &g, &b), 0);
  return {r, g, b};
}

TEST(ParseColourTriple, ReadsThreeNumbersBetweenBlanksAndTabs) {
  EXPECT_EQ(triple("  12\t34   56"), std::make_tuple(12, 34, 56));
  EXPECT_EQ(triple("148 148 240"), std::make_tuple(148, 148, 240));
  EXPECT_EQ(triple("\x01\x1F"
                   "1\x20"
                   "2\n3"),
            std::make_tuple(1, 2, 3));
}

TEST(ParseColourTriple, KeepsOnlyTheLowEightBitsOfEachNumber) {
  EXPECT_EQ(triple("300 0 0"), std::make_tuple(44, 0, 0));
  EXPECT_EQ(triple("256 256 256"), std::make_tuple(0, 0, 0));
  EXPECT_EQ(triple("1000000000000 1 2"), std::make_tuple(0, 1, 2)); // 10^12 = 2^12 * 5^12
  EXPECT_EQ(triple("000000000000000000000000000000007 1 2"), std::make_tuple(7, 1, 2));
}

TEST(ParseColourTriple, AnyOtherByteEndsTheReading) {
  EXPECT_EQ(triple("255,128,0"), std::make_tuple(255, 0, 0));
  EXPECT_EQ(triple("12 abc 7"), std::make_tuple(12, 0, 0));
  EXPECT_EQ(triple("-5 6 7"), std::make_tuple(0, 0, 0));
  EXPECT_EQ(triple("1 \xE4 3"), std::make_tuple(1, 0, 0)); // bytes of 128 or more too
}

TEST(ParseColourTriple, MissingNumbersAreZero) {
  EXPECT_EQ(triple(""), std::make_tuple(0, 0, 0));
  EXPECT_EQ(triple("12"), std::make_tuple(12, 0, 0));
  EXPECT_EQ(triple("12 34"), std::make_tuple(12, 34, 0));
}

TEST(ParseColourTriple, NeverReadsPastEightyBytes) {
  char buffer[ui::profile_text_bytes + 4];
  std::memset(buffer, ' ', sizeof buffer);
  std::memcpy(buffer + 78, "77", 2);
  std::memcpy(buffer + 80, "9 9", 3); // behind the buffer: must not be read
  int r, g, b;
  ui::parse_colour_triple(buffer, &r, &g, &b);
  EXPECT_EQ(std::make_tuple(r, g, b), std::make_tuple(77, 0, 0));
}

class ColourScheme : public ::testing::Test {
protected:
  ColourScheme() : previous(ui::set_window_system(&ws)) {}
  ~ColourScheme() override { ui::set_window_system(previous); }
  fake_window_system ws;
  ui::window_system* previous;
  temp_drive drive;
};

TEST_F(ColourScheme, WithoutAProfileTheDefaultsHold) {
#ifdef _WIN32
  GTEST_SKIP() << "on Windows the profile is the user's win.ini and registry colours";
#endif
  scoped_env profile("VELMORA_PROFILE", (drive.root() / "none.ini").string().c_str());
  ui::build_colour_scheme();
  const auto& colours = ui::profile_colours();
  EXPECT_EQ(colours[12].value, 0xF09494u); // buttonface 148, 148, 240
  EXPECT_EQ(colours[5].value, 0x804000u);  // activetitle "0 64 128"
  EXPECT_EQ(colours[0].value, ui::rgb(255, 255, 232));
  EXPECT_EQ(ws.brush_colour_of(ui::background_brush()), 0xF09494u);
  ui::release_colour_scheme();
}

TEST_F(ColourScheme, ProfileValuesReplaceTheDefaults) {
#ifdef _WIN32
  GTEST_SKIP() << "on Windows the profile is the user's win.ini and registry colours";
#endif
  const auto ini = drive.write("win.ini", "[Colors]\nButtonFace=10 20 30\nwindow=1 2\n"
                                          "menu = 300,4,5\n[other]\nappworkspace=9 9 9\n");
  scoped_env profile("VELMORA_PROFILE", ini.string().c_str());
  ui::build_colour_scheme();
  const auto& colours = ui::profile_colours();
  EXPECT_EQ(colours[12].value, ui::rgb(10, 20, 30));
  EXPECT_EQ(colours[1].value, ui::rgb(1, 2, 0)); // not the tail of an earlier, longer value
  EXPECT_EQ(colours[3].value, ui::rgb(44, 0, 0));
  EXPECT_EQ(colours[0].value, ui::rgb(255, 255, 232)); // another section's key is not ours
  ui::release_colour_scheme();
}

TEST_F(ColourScheme, EveryBrushAndPenIsDeletedInItsOrder) {
  scoped_env profile("VELMORA_PROFILE", (drive.root() / "none.ini").string().c_str());
  const std::uintptr_t first = ws.create_solid_brush(0);
  ws.delete_object(first);
  ws.deleted.clear();
  ui::build_colour_scheme();
  ui::release_colour_scheme();
  // Handles are handed out in creation order: 15 profile brushes, the fixed
  // brushes of slots 1 to 7 and 15, then 6 pens.
  std::vector<std::uintptr_t> expected;
  for (std::uintptr_t i = 1; i <= 15; ++i)
    expected.push_back(first + i);    // profile brushes
  expected.push_back(first + 15 + 8); // fixed slot 15, created last of the fixed
  for (std::uintptr_t i = 1; i <= 7; ++i)
    expected.push_back(first + 15 + i); // fixed slots 1 to 7
  for (std::uintptr_t i = 1; i <= 6; ++i)
    expected.push_back(first + 23 + i); // pens
  EXPECT_EQ(ws.deleted, expected);
}

} // namespace
