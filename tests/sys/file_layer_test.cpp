// The file layer: open mode codes, sharing, transfers, seeks, handles, directories.
#include "sys/error_log.h"
#include "sys/file_layer.h"
#include "tests/support/fault_platform.h"
#include "tests/support/temp_drive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using velmora_test::op;
using velmora_test::temp_drive;

namespace {

class FileLayer : public ::testing::Test {
protected:
  FileLayer() { fs::create_directory(drive.c() / "VEK"); }
  std::string log() const { return temp_drive::read(drive.c() / "VEK" / "QXERROR.TXT"); }
  bool log_exists() const { return fs::exists(drive.c() / "VEK" / "QXERROR.TXT"); }

  temp_drive drive;
};

// The same, with every platform call going through a fault_platform.
class FileLayerFaults : public FileLayer {
protected:
  velmora_test::fault_platform fake;
  velmora_test::scoped_platform use{fake};
};

TEST_F(FileLayer, MissingFileIsRefusedByEveryOpeningCodeWithoutARecord) {
  for (int mode : {0, 2, 7, 18, 32, 66})
    EXPECT_EQ(sys::file_open("C:\\NONE.TXT", mode), sys::refused_handle) << mode;
  EXPECT_FALSE(log_exists());
}

TEST_F(FileLayer, CodeOneCreatesAMissingFileAndEmptiesAnExistingOne) {
  sys::file_handle h = sys::file_open("C:\\NEW.TXT", sys::open_mode::create);
  ASSERT_GE(h, 0);
  sys::file_close(h);
  EXPECT_TRUE(fs::exists(drive.c() / "NEW.TXT"));

  drive.write("OLD.TXT", "old content");
  h = sys::file_open("C:\\OLD.TXT", sys::open_mode::create);
  ASSERT_GE(h, 0);
  sys::file_close(h);
  EXPECT_EQ(fs::file_size(drive.c() / "OLD.TXT"), 0u);
}

TEST_F(FileLayer, EveryCodeOpensAnExistingFile) {
  drive.write("A.TXT", "abc");
  for (int mode : {0, 1, 2, 7, 18, 32, 66}) {
    sys::scoped_file f(sys::file_open("C:\\A.TXT", mode));
    EXPECT_TRUE(f.ok()) << mode;
  }
}

TEST_F(FileLayerFaults, UnknownCodeIsRefusedWithoutAskingThePlatform) {
  drive.write("A.TXT", "abc");
  EXPECT_EQ(sys::file_open("C:\\A.TXT", 3), sys::refused_handle);
  EXPECT_EQ(sys::file_open("C:\\A.TXT", 99), sys::refused_handle);
  EXPECT_EQ(fake.calls(op::create_file), 0);
}

TEST_F(FileLayer, SharedReadersMayMeetButExclusiveOpensAreRefused) {
  drive.write("S.TXT", "shared");
  sys::scoped_file first(sys::file_open("C:\\S.TXT", sys::open_mode::read_shared));
  sys::scoped_file second(sys::file_open("C:\\S.TXT", sys::open_mode::read_shared));
  ASSERT_TRUE(first.ok());
  EXPECT_TRUE(second.ok());
  for (int mode : {0, 1, 2})
    EXPECT_EQ(sys::file_open("C:\\S.TXT", mode), sys::refused_handle) << mode;
  // The refused code 1 did not empty the file.
  EXPECT_EQ(temp_drive::read(drive.c() / "S.TXT"), "shared");
  EXPECT_FALSE(log_exists());
}

TEST_F(FileLayer, ReadsDeliverWhatIsLeftAndZeroAtTheEnd) {
  drive.write("R.TXT", "0123456789abcd");
  sys::scoped_file f(sys::file_open("C:\\R.TXT", sys::open_mode::read_shared));
  char buffer[32] = {};
  EXPECT_EQ(sys::file_read(f.get(), buffer, 10), 10);
  EXPECT_EQ(sys::file_read(f.get(), buffer, 10), 4);
  EXPECT_EQ(std::string(buffer, 4), "abcd");
  EXPECT_EQ(sys::file_read(f.get(), buffer, 10), 0);
  EXPECT_FALSE(log_exists());
}

TEST_F(FileLayer, SeeksFromStartCurrentAndEnd) {
  drive.write("K.TXT", std::string(100, 'k') + "TRAILER");
  sys::scoped_file f(sys::file_open("C:\\K.TXT", sys::open_mode::read_shared));
  const std::int32_t length = sys::file_seek(f.get(), 0, sys::seek_from::end);
  EXPECT_EQ(length, 107);
  EXPECT_EQ(sys::file_seek(f.get(), static_cast<std::uint32_t>(length - 7), sys::seek_from::start),
            100);
  char buffer[8] = {};
  EXPECT_EQ(sys::file_read(f.get(), buffer, 7), 7);
  EXPECT_EQ(std::string(buffer, 7), "TRAILER");
  EXPECT_EQ(sys::file_seek(f.get(), 0, sys::seek_from::start), 0);
  EXPECT_EQ(sys::file_seek(f.get(), 5, sys::seek_from::current), 5);
}

TEST_F(FileLayer, WritesGoStraightToTheFile) {
  {
    sys::scoped_file f(sys::file_open("C:\\W.TXT", sys::open_mode::create));
    EXPECT_EQ(sys::file_write(f.get(), "hello", 5), 5);
    EXPECT_EQ(sys::file_write(f.get(), "", 0), 0);
  }
  EXPECT_EQ(temp_drive::read(drive.c() / "W.TXT"), "hello");
}

TEST_F(FileLayerFaults, CodePage850LettersReachThePlatformAsWindows1252Capitals) {
  sys::scoped_file f(sys::file_open("C:\\\x84\x94\x86\xE4.TXT", sys::open_mode::create));
  ASSERT_TRUE(f.ok());
  ASSERT_EQ(fake.paths_seen().size(), 1u);
  EXPECT_EQ(fake.paths_seen()[0], "C:\\\xC4\xD6\xC5\xE4.TXT");
}

TEST_F(FileLayerFaults, PathsLongerThan256CharactersAreCut) {
  const std::string path = "C:\\" + std::string(300, 'L');
  EXPECT_EQ(sys::file_open(path.c_str(), sys::open_mode::read_shared), sys::refused_handle);
  ASSERT_EQ(fake.paths_seen().size(), 1u);
  EXPECT_EQ(fake.paths_seen()[0].size(), 256u);
  EXPECT_EQ(sys::dir_remove(path.c_str()), -1);
  EXPECT_EQ(fake.paths_seen()[1].size(), 256u);
}

// Below a directory, base and relative reach the platform as given: nothing
// is folded, and a path of more than 256 characters in all is refused, not cut.
TEST_F(FileLayerFaults, OpensBelowADirectoryNeitherFoldNorCut) {
  EXPECT_TRUE(sys::scoped_file(sys::file_open_below("C:\\", "\x92S.TXT", 1)).ok());
  const std::string fits(253, 'L'); // with "C:\\", 256 characters
  EXPECT_EQ(sys::dir_create_below("C:\\", fits.c_str()), 0);
  EXPECT_EQ(sys::dir_create_below("C:\\", (fits + "L").c_str()), -1);
  EXPECT_EQ(sys::file_open_below("C:\\", (fits + "L").c_str(), 1), sys::refused_handle);
  EXPECT_EQ(fake.paths_seen(), (std::vector<std::string>{"C:\\\x92S.TXT", "C:\\" + fits}));
}

TEST_F(FileLayerFaults, HandleAbove0x7FFFIsClosedLoggedAndAnsweredWithMinusTwo) {
  drive.write("H.TXT", "x");
  fake.set_handle_offset(0x8000, 1); // the data file only; the log opens normally
  EXPECT_EQ(sys::file_open("C:\\H.TXT", sys::open_mode::read_shared), sys::failed_handle);
  EXPECT_EQ(fake.open_files(), 0);
  EXPECT_EQ(log(), "    9/    9/Error Handle\r\n");
}

TEST_F(FileLayerFaults, HandleValueLimitIs0x7FFF) {
  drive.write("H.TXT", "x");
  // Find the real handle value the next open gets, then shift it to exactly
  // 0x7FFF (accepted) and to 0x8000 (refused).
  sys::file_handle probe = sys::file_open("C:\\H.TXT", sys::open_mode::read_shared);
  ASSERT_GE(probe, 0);
  sys::file_close(probe);
  fake.set_handle_offset(0x7FFF - probe);
  sys::file_handle top = sys::file_open("C:\\H.TXT", sys::open_mode::read_shared);
  EXPECT_EQ(top, 0x7FFF);
  sys::file_close(top);
  fake.set_handle_offset(0x8000 - probe);
  EXPECT_EQ(sys::file_open("C:\\H.TXT", sys::open_mode::read_shared), sys::failed_handle);
  fake.set_handle_offset(0);
  EXPECT_EQ(fake.open_files(), 0);
}

TEST_F(FileLayerFaults, FailedReadIsLoggedWithBothHalvesOfThePlatformError) {
  drive.write("F.TXT", "data");
  sys::scoped_file f(sys::file_open("C:\\F.TXT", sys::open_mode::read_shared));
  fake.fail(op::read_file, 1, 0x00120005);
  char buffer[4];
  EXPECT_EQ(sys::file_read(f.get(), buffer, 4), -2);
  EXPECT_EQ(log(), "    5/   18/Error read\r\n");
  // The handle stays open and usable.
  EXPECT_EQ(sys::file_read(f.get(), buffer, 4), 4);
}

TEST_F(FileLayerFaults, FailedWriteIsLoggedAs25Bytes) {
  sys::scoped_file f(sys::file_open("C:\\F.TXT", sys::open_mode::create));
  fake.fail(op::write_file, 1, 5);
  EXPECT_EQ(sys::file_write(f.get(), "abc", 3), -2);
  EXPECT_EQ(log(), "    5/    0/Error write\r\n");
  EXPECT_EQ(log().size(), 25u);
  EXPECT_EQ(sys::file_last_error(), 5u); // as logged, whatever the log did after
}

TEST_F(FileLayer, TransfersOnRefusedHandlesAreLoggedByThePlatformsRefusal) {
  char buffer[4];
  EXPECT_EQ(sys::file_read(sys::refused_handle, buffer, 4), -2);
  EXPECT_EQ(sys::file_write(sys::failed_handle, buffer, 4), -2);
  EXPECT_EQ(sys::file_close(sys::refused_handle), 0);
  EXPECT_EQ(log(), "    6/    0/Error read\r\n"
                   "    6/    0/Error write\r\n");
}

TEST_F(FileLayerFaults, TransfersOf32768BytesOrMoreAreRefusedBeforeThePlatform) {
  sys::scoped_file f(sys::file_open("C:\\BIG.TXT", sys::open_mode::create));
  std::string buffer(40000, 'b');
  EXPECT_EQ(sys::file_write(f.get(), buffer.data(), 32767), 32767);
  EXPECT_EQ(sys::file_write(f.get(), buffer.data(), 32768), -2);
  sys::file_seek(f.get(), 0, sys::seek_from::start);
  EXPECT_EQ(sys::file_read(f.get(), buffer.data(), 32768), -2);
  EXPECT_EQ(sys::file_read(f.get(), buffer.data(), 32767), 32767);
  EXPECT_EQ(fake.calls(op::read_file), 1);
  EXPECT_EQ(fake.calls(op::write_file), 1 + 2); // one data write, two log records
  EXPECT_EQ(log(), "   87/    0/Error write\r\n"
                   "   87/    0/Error read\r\n");
}

TEST_F(FileLayerFaults, FailedSeekReturnsTheNegativeAnswerAndIsLogged) {
  drive.write("Q.TXT", "q");
  sys::scoped_file f(sys::file_open("C:\\Q.TXT", sys::open_mode::read_shared));
  fake.fail(op::set_file_pointer, 1, 131);
  EXPECT_EQ(sys::file_seek(f.get(), 3, sys::seek_from::start), -1);
  EXPECT_EQ(log(), "  131/    0/Seek error\r\n");
}

TEST_F(FileLayer, DirectoryCreateRemoveAndProbe) {
  EXPECT_EQ(sys::dir_create("C:\\NEWDIR"), 0);
  EXPECT_TRUE(fs::is_directory(drive.c() / "NEWDIR"));
  EXPECT_EQ(sys::dir_create("C:\\NEWDIR"), -1);   // exists already
  EXPECT_EQ(sys::dir_create("C:\\NO\\SUCH"), -1); // parent missing
  EXPECT_EQ(sys::dir_remove("C:\\NEWDIR"), 0);
  EXPECT_EQ(sys::dir_remove("C:\\NEWDIR"), -1);

  EXPECT_EQ(sys::dir_probe("C:\\PROBE"), 0);
  EXPECT_FALSE(fs::exists(drive.c() / "PROBE"));
  fs::create_directory(drive.c() / "THERE");
  EXPECT_EQ(sys::dir_probe("C:\\THERE"), -1);
  EXPECT_TRUE(fs::is_directory(drive.c() / "THERE"));
  EXPECT_FALSE(log_exists());
}

TEST_F(FileLayer, ProbeOfACodePage850NameLeavesTheUnfoldedDirectory) {
  // Created under the bytes as given, removed under the folded name: the
  // removal misses and the directory stays.
  EXPECT_EQ(sys::dir_probe("C:\\D\x84R"), -1);
  int entries = 0;
  for (const auto& e : fs::directory_iterator(drive.c())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 2); // VEK and the left-over directory
}

TEST_F(FileLayerFaults, ScopedFileClosesOnceAndNeverClosesARefusedHandle) {
  drive.write("C.TXT", "c");
  {
    sys::scoped_file refused(sys::file_open("C:\\MISSING.TXT", sys::open_mode::read_shared));
    sys::scoped_file f(sys::file_open("C:\\C.TXT", sys::open_mode::read_shared));
    sys::scoped_file moved(std::move(f));
    EXPECT_EQ(fake.open_files(), 1);
  }
  EXPECT_EQ(fake.open_files(), 0);
  EXPECT_EQ(fake.calls(op::close_handle), 1);
}

} // namespace
