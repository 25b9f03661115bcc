// The error log: record bytes, appending, and the log's own failures.
#include "sys/error_log.h"
#include "sys/file_layer.h"
#include "tests/support/fault_platform.h"
#include "tests/support/temp_drive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using velmora_test::fault_platform;
using velmora_test::op;
using velmora_test::scoped_platform;
using velmora_test::temp_drive;

namespace {

std::string record(std::int32_t code1, const std::string& message, std::int32_t code2) {
  char line[sys::error_record_bytes];
  const int n = sys::format_error_record(code1, message.c_str(), code2, line);
  return std::string(line, static_cast<std::size_t>(n));
}

TEST(ErrorRecord, HoldsTwoFiveCharacterCodesTheMessageAndCrLf) {
  EXPECT_EQ(record(5, "Error write", 0), "    5/    0/Error write\r\n");
  EXPECT_EQ(record(5, "Error write", 0).size(), 25u);
  EXPECT_EQ(record(65535, "m", 0), "65535/    0/m\r\n");
  EXPECT_EQ(record(-3, "m", 1), "65533/    1/m\r\n");
  EXPECT_EQ(record(70000, "m", 70000), " 4464/ 4464/m\r\n");
  EXPECT_EQ(record(0, "", 0), "    0/    0/\r\n");
}

TEST(ErrorRecord, MessageIsCutAt166BytesToFillTheLine) {
  EXPECT_EQ(record(1, std::string(165, 'm'), 2).size(), 179u);
  EXPECT_EQ(record(1, std::string(166, 'm'), 2).size(), 180u);
  const std::string line = record(1, std::string(200, 'm'), 2);
  EXPECT_EQ(line.size(), 180u);
  EXPECT_EQ(line.substr(12, 166), std::string(166, 'm'));
  EXPECT_EQ(line.substr(178), "\r\n");
}

class ErrorLog : public ::testing::Test {
protected:
  fs::path log_path() const { return drive.c() / "VEK" / "QXERROR.TXT"; }
  std::string log() const { return temp_drive::read(log_path()); }
  temp_drive drive;
};

TEST_F(ErrorLog, FirstEntryCreatesTheFileAndLaterOnesAppend) {
  fs::create_directory(drive.c() / "VEK");
  EXPECT_EQ(sys::error_log_write(1, "first", 2), 0);
  EXPECT_EQ(log(), "    1/    2/first\r\n");
  EXPECT_EQ(sys::error_log_write(3, "second", 4), 0);
  EXPECT_EQ(log(), "    1/    2/first\r\n    3/    4/second\r\n");
}

TEST_F(ErrorLog, ExistingLogIsKept) {
  drive.write("VEK/QXERROR.TXT", "older line\r\n");
  sys::error_log_write(7, "new", 0);
  EXPECT_EQ(log(), "older line\r\n    7/    0/new\r\n");
}

TEST_F(ErrorLog, NeverCreatesItsDirectory) {
  EXPECT_EQ(sys::error_log_write(1, "lost", 2), 0);
  EXPECT_FALSE(fs::exists(drive.c() / "VEK"));
}

TEST_F(ErrorLog, LogHeldByAnotherOpenDropsTheEntryAndKeepsTheFile) {
  drive.write("VEK/QXERROR.TXT", "kept\r\n");
  sys::scoped_file holder(sys::file_open("C:\\VEK\\QXERROR.TXT", sys::open_mode::read_shared));
  ASSERT_TRUE(holder.ok());
  EXPECT_EQ(sys::error_log_write(1, "dropped", 2), 0);
  holder.reset();
  EXPECT_EQ(log(), "kept\r\n");
}

TEST_F(ErrorLog, OwnSeekOrWriteFailureDropsOnlyThatEntry) {
  fs::create_directory(drive.c() / "VEK");
  fault_platform fake;
  scoped_platform use(fake);
  fake.fail(op::set_file_pointer, 1, 5);
  sys::error_log_write(1, "seek fails", 1);
  fake.fail(op::write_file, 1, 112);
  sys::error_log_write(2, "write fails", 2);
  sys::error_log_write(3, "written", 3);
  EXPECT_EQ(fake.open_files(), 0);
  EXPECT_EQ(log(), "    3/    3/written\r\n");
}

// An over-large handle of the log itself drops the entry without recursing:
// a missing log is tried twice (existing, then create); an existing one only
// once, since the create that would follow empties it.
TEST_F(ErrorLog, OverLargeHandleOfTheLogItselfDropsTheEntryAndNeverEmptiesTheLog) {
  struct over_large_case {
    const char* existing; // the log's content beforehand, or nullptr: none
    int opens;
    const char* log_after;
  };
  for (const auto& c :
       {over_large_case{nullptr, 2, ""}, over_large_case{"kept\r\n", 1, "kept\r\n"}}) {
    fs::remove_all(drive.c() / "VEK");
    fs::create_directory(drive.c() / "VEK");
    if (c.existing != nullptr)
      drive.write("VEK/QXERROR.TXT", c.existing);
    fault_platform fake;
    scoped_platform use(fake);
    fake.set_handle_offset(0x8000);
    EXPECT_EQ(sys::error_log_write(1, "lost", 2), 0);
    EXPECT_EQ(fake.calls(op::create_file), c.opens);
    EXPECT_EQ(fake.open_files(), 0);
    fake.set_handle_offset(0);
    EXPECT_EQ(log(), c.log_after);
  }
}

TEST_F(ErrorLog, FailuresDuringAnEntryAreNeverLoggedAgain) {
  fs::create_directory(drive.c() / "VEK");
  fault_platform fake;
  scoped_platform use(fake);
  fake.fail(op::create_file, 1, 5, /*persistent=*/true);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(sys::error_log_write(i, "refused", i), 0);
  EXPECT_EQ(fake.calls(op::create_file), 6);
  fake.clear_faults();
  EXPECT_FALSE(fs::exists(log_path()));
}

} // namespace
