// The free-space probe of drives.
#include "sys/drive.h"
#include "tests/support/fault_platform.h"
#include "tests/support/temp_drive.h"

#include <gtest/gtest.h>

#include <climits>

using velmora_test::fault_platform;
using velmora_test::scoped_platform;
using velmora_test::temp_drive;

namespace {

fault_platform::drive disk(std::uint32_t sectors, std::uint32_t bytes, std::uint32_t free) {
  fault_platform::drive d;
  d.sectors_per_cluster = sectors;
  d.bytes_per_sector = bytes;
  d.free_clusters = free;
  d.total_clusters = free;
  return d;
}

// Every test runs against a fault_platform that scripts its drives.
class DriveFreeKb : public ::testing::Test {
protected:
  fault_platform fake;
  scoped_platform use{fake};
};

TEST_F(DriveFreeKb, MultipliesClusterSizeByFreeClustersAndCutsToKilobytes) {
  fake.set_drive('C', disk(1, 512, 3));
  EXPECT_EQ(sys::drive_free_kb('C'), 1); // 1.5 KB
  fake.set_drive('D', disk(8, 512, 1000000));
  EXPECT_EQ(sys::drive_free_kb('D'), 4000000);
  fake.set_drive('E', disk(1, 512, 1));
  EXPECT_EQ(sys::drive_free_kb('E'), 0);
  fake.set_drive('F', disk(2, 512, 0));
  EXPECT_EQ(sys::drive_free_kb('F'), 0);
}

TEST_F(DriveFreeKb, RemovableDriveAnswersZeroWithoutTouchingTheMedium) {
  auto floppy = disk(1, 512, 2000);
  floppy.type = sys::drive_type::removable;
  fake.set_drive('A', floppy);
  EXPECT_EQ(sys::drive_free_kb('A'), 0);
  EXPECT_EQ(fake.free_space_queries('A'), 0);
}

TEST_F(DriveFreeKb, AbsentOrUnreadableDrivesAnswerZero) {
  auto absent = disk(8, 512, 1000);
  absent.type = sys::drive_type::no_root_dir;
  fake.set_drive('Q', absent);
  auto unreadable = disk(8, 512, 1000);
  unreadable.readable = false;
  fake.set_drive('R', unreadable);
  auto cdrom = disk(1, 2048, 10);
  cdrom.type = sys::drive_type::cdrom;
  fake.set_drive('S', cdrom);
  EXPECT_EQ(sys::drive_free_kb('Q'), 0);
  EXPECT_EQ(sys::drive_free_kb('R'), 0);
  EXPECT_EQ(sys::drive_free_kb('S'), 20); // other types are probed normally
}

TEST_F(DriveFreeKb, HugeDrivesAreCappedNotNegative) {
  fake.set_drive('C', disk(8, 512, 0x80000000u)); // 2^31 clusters of 4 KB
  EXPECT_EQ(sys::drive_free_kb('C'), INT_MAX);
  fake.set_drive('D', disk(128, 512, 0xFFFFFFFFu));
  EXPECT_EQ(sys::drive_free_kb('D'), INT_MAX);
  fake.set_drive('E', disk(2, 512, 0x7FFFFFFFu)); // exactly 2^31 - 1 KB
  EXPECT_EQ(sys::drive_free_kb('E'), INT_MAX);
  fake.set_drive('F', disk(2, 512, 0x7FFFFFFEu));
  EXPECT_EQ(sys::drive_free_kb('F'), INT_MAX - 1);
}

TEST(DriveFreeKbMapped, MappedDrivesHaveRoomAndUnmappedLettersNone) {
  temp_drive drive;
  EXPECT_GT(sys::drive_free_kb('C'), 0);
  EXPECT_GT(sys::drive_free_kb('d'), 0);
  EXPECT_EQ(sys::drive_free_kb('Q'), 0);
}

} // namespace
