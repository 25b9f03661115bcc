// The install target: survey, space needed, drive order, free names, no room.
#include "installer/target_choice.h"
#include "installer/texts.h"
#include "tests/support/fault_platform.h"
#include "tests/support/temp_drive.h"
#include "ui/painting.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;
using namespace velmora_test;

namespace {

class TargetChoice : public ::testing::Test {
protected:
  TargetChoice() {
    // Every drive C: to Z: scripted, with no room unless a test gives some.
    for (char letter = 'A'; letter <= 'Z'; ++letter)
      fake.set_drive(letter, drive_with_free_kb(0));
    ui::reset_text_lines();
    c.trailer_valid = true;
    c.space_needed = 7;
    std::memcpy(c.stem.data(), "QXA0000", 7);
  }
  std::string target() const { return c.target.data(); }

  temp_drive drive;
  fault_platform fake;
  scoped_platform use{fake};
  installer::target_choice c;
};

TEST(SpaceNeeded, TwiceTheTotalPlusTwoMillionInWholeMillions) {
  EXPECT_EQ(installer::space_needed(0), 2);
  EXPECT_EQ(installer::space_needed(2957467), 7);
  EXPECT_EQ(installer::space_needed(499999), 2);
  EXPECT_EQ(installer::space_needed(500000), 3);
  // Large totals do not overflow, and the total is unsigned.
  EXPECT_EQ(installer::space_needed(2147483647), 4296);
  EXPECT_EQ(installer::space_needed(3000000000u), 6002);
}

TEST_F(TargetChoice, SurveyStoresSmallFreeSpaceAsZeroAndNeverAsksAOrB) {
  fake.set_drive('C', drive_with_free_kb(9));
  fake.set_drive('D', drive_with_free_kb(10));
  auto floppy = drive_with_free_kb(5000);
  floppy.type = sys::drive_type::removable;
  fake.set_drive('E', floppy);
  fake.set_drive('Z', drive_with_free_kb(123456));
  installer::survey_drives(c);
  EXPECT_EQ(c.free_kb[0], 0);
  EXPECT_EQ(c.free_kb[1], 10);
  EXPECT_EQ(c.free_kb[2], 0);
  EXPECT_EQ(c.free_kb[23], 123456);
  EXPECT_EQ(fake.free_space_queries('A'), 0);
  EXPECT_EQ(fake.free_space_queries('B'), 0);
}

TEST_F(TargetChoice, ThresholdIsExactlyOneMegabyteAboveTheSpaceNeeded) {
  c.free_kb[0] = 8000; // 8000 / 1000 = 8 > 7
  EXPECT_TRUE(installer::qualifies(c, 0));
  c.free_kb[0] = 7999;
  EXPECT_FALSE(installer::qualifies(c, 0));
}

TEST_F(TargetChoice, ProposesCFirstWithItsTexts) {
  c.free_kb[0] = 50000;
  c.free_kb[1] = 50000;
  installer::choose_target(c);
  EXPECT_EQ(c.drive_index, 0);
  EXPECT_FALSE(c.no_room);
  EXPECT_EQ(target(), "C:\\QXA0000A\\");
  EXPECT_STREQ(ui::text_lines[1], "Ny katalog kommer att skapas:    C:\\QXA0000A\\");
  EXPECT_STREQ(ui::text_lines[2], " Tryck Install f\xF6r att starta installation.");
  EXPECT_STREQ(ui::text_lines[0], " ");
}

TEST_F(TargetChoice, NextDiskCyclesThroughTheDrivesWithRoom) {
  c.free_kb[1] = 9000; // D:
  c.free_kb[3] = 9000; // F:
  installer::choose_target(c);
  EXPECT_EQ(target(), "D:\\QXA0000A\\");
  ++c.drive_index;
  installer::choose_target(c);
  EXPECT_EQ(target(), "F:\\QXA0000A\\");
  ++c.drive_index;
  installer::choose_target(c);
  EXPECT_EQ(target(), "D:\\QXA0000A\\");
}

TEST_F(TargetChoice, OneDriveIsProposedAgainAndAgain) {
  c.free_kb[5] = 9000; // H:
  for (int i = 0; i < 3; ++i) {
    installer::choose_target(c);
    EXPECT_EQ(target(), "H:\\QXA0000A\\");
    ++c.drive_index;
  }
}

TEST_F(TargetChoice, TakenNameMovesToTheNextLetterAndKeepsAnExistingProbe) {
  c.free_kb[0] = 50000;
  fs::create_directories(drive.c() / "QXA0000A");
  drive.write("QXA0000B/TEST.TST", "someone's data");
  drive.write("QXA0000C", "a plain file has the name too");
  installer::choose_target(c);
  EXPECT_EQ(target(), "C:\\QXA0000D\\");
  EXPECT_EQ(fs::file_size(drive.c() / "QXA0000A" / "TEST.TST"), 0u);
  EXPECT_EQ(temp_drive::read(drive.c() / "QXA0000B" / "TEST.TST"), "someone's data");
  EXPECT_FALSE(fs::exists(drive.c() / "QXA0000D"));
  // Every choice starts again at A.
  fs::remove_all(drive.c() / "QXA0000A");
  installer::choose_target(c);
  EXPECT_EQ(target(), "C:\\QXA0000A\\");
}

TEST_F(TargetChoice, AllNamesTakenMovesToTheNextDriveAndIsNoRoomOnlyWithoutOne) {
  c.free_kb[0] = 50000;
  for (char letter = 'A'; letter <= 'Z'; ++letter)
    fs::create_directories(drive.c() / (std::string("QXA0000") + letter));
  installer::choose_target(c);
  EXPECT_TRUE(c.no_room);
  EXPECT_EQ(target(), "");
  EXPECT_STREQ(ui::text_lines[1], "Diskutrymme saknas.");
  c.free_kb[3] = 50000; // F:, unmapped here, so every name there is free
  c.drive_index = 0;
  installer::choose_target(c);
  EXPECT_FALSE(c.no_room);
  EXPECT_EQ(target(), "F:\\QXA0000A\\");
}

TEST_F(TargetChoice, NoQualifyingDriveIsNoRoomForGood) {
  c.free_kb[0] = 7999;
  installer::choose_target(c);
  EXPECT_TRUE(c.no_room);
  EXPECT_EQ(c.drive_index, 24);
  EXPECT_STREQ(ui::text_lines[1], "Diskutrymme saknas.");
  EXPECT_STREQ(ui::text_lines[2], "Installationen kan ej utf\xF6ras.");
  EXPECT_EQ(target(), "");
  for (int i = 0; i < 3; ++i) {
    ++c.drive_index;
    installer::choose_target(c);
    EXPECT_TRUE(c.no_room);
    EXPECT_STREQ(ui::text_lines[1], "Diskutrymme saknas.");
  }
}

TEST_F(TargetChoice, FromIndex24TheWholeTableIsScannedAgain) {
  c.free_kb[2] = 9000; // E:
  c.drive_index = 24;
  installer::choose_target(c);
  EXPECT_EQ(c.drive_index, 2);
  EXPECT_EQ(target(), "E:\\QXA0000A\\");
}

TEST_F(TargetChoice, AnUnreadableTrailerIsNoRoom) {
  c.free_kb[0] = 50000;
  c.trailer_valid = false;
  installer::choose_target(c);
  EXPECT_TRUE(c.no_room);
  EXPECT_EQ(target(), "");
}

} // namespace
