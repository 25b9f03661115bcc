// Extraction: placement, the marker rule, and every status with what it leaves.
#include "archive/format.h"
#include "sys/platform.h"
#include "tests/archive/engine_helpers.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/fault_platform.h"
#include "tests/support/temp_drive.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>

namespace fs = std::filesystem;
using namespace velmora_test;

namespace {

class Extract : public ::testing::Test {
protected:
  Extract() { fs::create_directory(drive.c() / "VEK"); }

  // Writes the installer bytes to C:\SETUP.EXE and extracts into C:\T\.
  engine_result run(const std::string& installer, const std::string& command = "PI ") {
    drive.write("SETUP.EXE", installer);
    return engine("C:\\SETUP.EXE", "C:\\T\\", command);
  }
  std::string out(const std::string& relative) const {
    return temp_drive::read(drive.c() / "T" / relative);
  }
  std::string log() const { return temp_drive::read(drive.c() / "VEK" / "QXERROR.TXT"); }

  temp_drive drive;
};

std::string block(const char* five) {
  return std::string("\0\x05\0", 3) + five + '\0' + '\xEE';
}

TEST_F(Extract, UnpacksFilesAndTheirDirectoriesBelowTheTarget) {
  const std::string big(45000, 'z');
  const auto r = run(archive_bytes(12, "MZstub bytes\0\0")
                         .file("D:\\BUILD\\KIT\\SETUP.DAT", "setup")
                         .file("D:\\BUILD\\KIT\\HELP\\INDEX.HLP", big)
                         .file("D:\\BUILD\\KIT\\A\\B\\F.DAT", "")
                         .end_of_archive(99)
                         .bytes("QXA0000abc")
                         .str());
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.block, block("    0"));
  EXPECT_EQ(out("SETUP.DAT"), "setup");
  EXPECT_EQ(out("HELP/INDEX.HLP"), big);
  EXPECT_TRUE(fs::is_regular_file(drive.c() / "T" / "A" / "B" / "F.DAT"));
  EXPECT_EQ(fs::file_size(drive.c() / "T" / "A" / "B" / "F.DAT"), 0u);
  EXPECT_EQ(log(), "");
}

TEST_F(Extract, CreatesTheWholeTargetChainButNotARootOrLastComponent) {
  drive.write("SETUP.EXE", archive_bytes(4).file("D:\\K\\F", "f").str());
  EXPECT_EQ(engine("C:\\SETUP.EXE", "C:\\A\\B\\C\\", "PI ").code, 0);
  EXPECT_EQ(temp_drive::read(drive.c() / "A" / "B" / "C" / "F"), "f");
  // Without a trailing backslash the last component is not created: the
  // file's name then runs on from it and lands in C:\A\B.
  EXPECT_EQ(engine("C:\\SETUP.EXE", "C:\\A\\B\\X", "PI ").code, 0);
  EXPECT_FALSE(fs::exists(drive.c() / "A" / "B" / "X"));
  EXPECT_EQ(temp_drive::read(drive.c() / "A" / "B" / "XF"), "f");
}

TEST_F(Extract, EndsAtTheEndOfTheFileWithoutAnEndOfArchiveRecord) {
  EXPECT_EQ(run(archive_bytes(4).file("D:\\K\\F1", "one").str()).code, 0);
  EXPECT_EQ(out("F1"), "one");
  EXPECT_EQ(run(archive_bytes(4).str()).code, 0);
}

TEST_F(Extract, MarkerNotFoundIsStatus120AndCreatesNothing) {
  const auto r = run("MZ no marker here, only B and BEG and BEGIN.KO");
  EXPECT_EQ(r.code, 120);
  EXPECT_EQ(r.block, block("  120"));
  EXPECT_FALSE(fs::exists(drive.c() / "T"));
}

TEST_F(Extract, ABDirectlyBeforeTheMarkerHidesIt) {
  // That 'B' starts a match, the marker's own 'B' is the mismatch and is not
  // tested again: the scan runs past the marker.
  std::string hidden = archive_bytes(4).file("D:\\K\\F", "f").str();
  hidden[2] = 'B'; // 0x01 0x0A 'B', then the marker
  EXPECT_EQ(run(hidden).code, 'x');
  EXPECT_EQ(run(archive_bytes(4, "stub\0").file("D:\\K\\F", "f").str()).code, 0);
  // A partial marker in the stub is passed over.
  const std::string partial = marker_text().substr(0, 6) + "X";
  EXPECT_EQ(run(archive_bytes(4, partial).file("D:\\K\\G", "g").str()).code, 0);
  EXPECT_EQ(out("G"), "g");
}

TEST_F(Extract, FindsTheMarkerBehindALargeStub) {
  std::string stub(1 << 20, '\0');
  for (std::size_t i = 0; i < stub.size(); i += 7)
    stub[i] = 'B';
  EXPECT_EQ(run(archive_bytes(4, stub + '\0').file("D:\\K\\F", "deep").str()).code, 0);
  EXPECT_EQ(out("F"), "deep");
}

TEST_F(Extract, MissingSourceIsStatusNAndCreatesNothing) {
  const auto r = engine("C:\\NONE.EXE", "C:\\T\\", "PI ");
  EXPECT_EQ(r.code, 'n');
  EXPECT_EQ(r.block, block("  110"));
  EXPECT_FALSE(fs::exists(drive.c() / "T"));
}

TEST_F(Extract, UnexpectedTopLevelRecordIsStatusO) {
  const auto r = run(archive_bytes(4).file("D:\\K\\F1", "one").chunk("stray").str());
  EXPECT_EQ(r.code, 'o');
  EXPECT_EQ(out("F1"), "one"); // what came before stays
  EXPECT_EQ(run(archive_bytes(4).record(7, 0, "").str()).code, 'o');
  // A name record cut short by the end of the file.
  EXPECT_EQ(run(archive_bytes(4).record(1, 20, "D:\\K\\SHORT").str()).code, 'o');
  // A header cut after one or two bytes: an error unless it is the end record.
  EXPECT_EQ(run(archive_bytes(4).bytes("\x01\x05").str()).code, 'o');
  EXPECT_EQ(run(archive_bytes(4).bytes("\x04").str()).code, 0);
}

TEST_F(Extract, OutputThatCannotBeCreatedIsStatusP) {
  fs::create_directories(drive.c() / "T" / "F.DAT"); // a directory in the way
  const auto r = run(archive_bytes(4).file("D:\\K\\OK.DAT", "ok").file("D:\\K\\F.DAT", "x").str());
  EXPECT_EQ(r.code, 'p');
  EXPECT_EQ(r.block, block("  112"));
  EXPECT_EQ(out("OK.DAT"), "ok");
}

TEST_F(Extract, NamesLeavingTheTargetAreRefusedBeforeAnythingIsCreated) {
  for (const char* evil : {"D:\\K\\..\\ESCAPE.TXT", "D:\\K\\SUB\\..\\..\\ESCAPE.TXT",
                           "D:\\K\\\\ESCAPE.TXT", "D:\\K\\C:ESCAPE.TXT", "D:\\K\\SUB\\\\X"}) {
    EXPECT_EQ(run(archive_bytes(4).file(evil, "evil").str()).code, 'p') << evil;
  }
  EXPECT_FALSE(fs::exists(drive.c() / "ESCAPE.TXT"));
  EXPECT_FALSE(fs::exists(drive.c() / "T" / "SUB"));
}

TEST_F(Extract, OverlongOutputPathIsStatusP) {
  const std::string name = "D:\\K\\" + std::string(200, 'd') + "\\" + std::string(60, 'f');
  const auto r = run(archive_bytes(4).file(name, "x").str());
  EXPECT_EQ(r.code, 'p');
  EXPECT_EQ(r.report.reason, archive::failure_reason::path_too_long);
}

TEST_F(Extract, TargetOver250CharactersIsRefusedBeforeAnythingIsCreated) {
  drive.write("SETUP.EXE", archive_bytes(4).file("D:\\K\\F", "f").str());
  const std::string at_limit = "C:\\" + std::string(246, 'L') + "\\"; // 250 characters
  EXPECT_EQ(engine("C:\\SETUP.EXE", at_limit, "PI ").code, 0);
  EXPECT_EQ(temp_drive::read(drive.c() / std::string(246, 'L') / "F"), "f");
  const std::string over = "C:\\" + std::string(247, 'M') + "\\"; // 251
  const auto r = engine("C:\\SETUP.EXE", over, "PI ");
  EXPECT_EQ(r.code, 'p');
  EXPECT_EQ(r.report.reason, archive::failure_reason::path_too_long);
  EXPECT_EQ(std::string(r.report.path.data()), over);
  EXPECT_FALSE(fs::exists(drive.c() / std::string(247, 'M')));
  EXPECT_FALSE(fs::exists(drive.c() / std::string(247, 'M').append("F")));
}

// Names as the directory listing gives them, Windows-1252: unpacked as they
// were stored, never folded as code page 850 (0x92 is not Æ, 0xD4 not È).
// The target is folded once, so its chain and the files agree.
TEST_F(Extract, StoredNamesKeepTheirBytesAndTheTargetIsFoldedOnce) {
  const std::vector<std::string> names = {"\x92S.TXT",
                                          "\xD4"
                                          "DIR\\F.TXT",
                                          "\x84\x8A\x99.TXT"};
  archive_bytes a(4);
  for (const auto& n : names)
    a.file("D:\\K\\" + n, n);
  drive.write("SETUP.EXE", a.str());
  const auto r = engine("C:\\SETUP.EXE", "C:\\\x84T\\", "PI "); // code page 850 ä
  ASSERT_EQ(r.code, 0);
  const std::string target = "C:\\\xC4T\\"; // Ä in Windows-1252
  auto listed = [](const std::string& pattern) {
    std::set<std::string> found;
    sys::find_data d;
    const sys::native_handle h = sys::current_platform().find_first_file(pattern.c_str(), &d);
    for (bool more = h != sys::invalid_handle_value; more;
         more = sys::current_platform().find_next_file(h, &d))
      if (d.long_name[0] != '.')
        found.insert(d.long_name);
    if (h != sys::invalid_handle_value)
      sys::current_platform().find_close(h);
    return found;
  };
  EXPECT_EQ(listed(target + "*.*"), (std::set<std::string>{"\x92S.TXT",
                                                           "\xD4"
                                                           "DIR",
                                                           "\x84\x8A\x99.TXT"}));
  EXPECT_EQ(listed(target + "\xD4"
                            "DIR\\*.*"),
            (std::set<std::string>{"F.TXT"}));
}

// Faults of the output file's platform calls: each is status 'p', reported
// with the output path and the platform's error. 681 stands for a link the
// platform refused to follow, which Wine cannot make.
TEST_F(Extract, OutputFailuresAreStatusPWithPathAndError) {
  struct fault_case {
    op call;
    std::uint32_t error;
    const char* path; // what the report names
  };
  for (const auto& c :
       {fault_case{op::create_file_below, sys::error::stopped_on_symlink, "C:\\T\\SUB\\F.DAT"},
        fault_case{op::write_file, sys::error::disk_full, "C:\\T\\SUB\\F.DAT"},
        fault_case{op::close_handle, sys::error::disk_full, "C:\\T\\SUB\\F.DAT"},
        // The directory that could not be made, not the file's absent parent.
        fault_case{op::create_directory_below, sys::error::access_denied, "C:\\T\\SUB"}}) {
    fs::remove_all(drive.c() / "T");
    fault_platform fake;
    scoped_platform use(fake);
    fake.fail(c.call, 1, c.error);
    const auto r = run(archive_bytes(4).file("D:\\K\\SUB\\F.DAT", "data").str());
    EXPECT_EQ(r.code, 'p') << static_cast<int>(c.call);
    EXPECT_EQ(r.report.reason, archive::failure_reason::platform);
    EXPECT_EQ(r.report.error, c.error);
    EXPECT_EQ(std::string(r.report.path.data()), c.path);
    EXPECT_EQ(fake.open_files(), 0);
  }
}

// Symbolic links below the target, to a file, to a directory, dangling, or
// found by a stored name of another case, are never followed; nor is a file
// with another hard link written in place.
TEST_F(Extract, LinksBelowTheTargetAreRefusedAndNothingIsWrittenThroughThem) {
  struct link_case {
    const char* what;
    const char* stored;
    const char* link;   // below C:\T
    const char* points; // below C:\\OUT, outside the target
    bool hard;
    std::uint32_t error;
  };
  const link_case cases[] = {
      {"to a file", "D:\\K\\E.TXT", "E.TXT", "victim.txt", false, sys::error::stopped_on_symlink},
      {"to a directory", "D:\\K\\LINK\\E.TXT", "LINK", "dir", false,
       sys::error::stopped_on_symlink},
      {"dangling", "D:\\K\\E.TXT", "E.TXT", "missing.txt", false, sys::error::stopped_on_symlink},
      {"by another case", "D:\\K\\LINK\\E.TXT", "link", "dir", false,
       sys::error::stopped_on_symlink},
      {"a hard link", "D:\\K\\E.TXT", "E.TXT", "victim.txt", true, sys::error::too_many_links},
  };
  const fs::path outside = drive.c() / "OUT";
  for (const auto& c : cases) {
    fs::remove_all(drive.c() / "T");
    fs::remove_all(outside);
    fs::create_directories(outside / "dir");
    fs::create_directories(drive.c() / "T");
    drive.write("OUT/victim.txt", "keep");
    std::error_code ec;
    if (c.hard)
      fs::create_hard_link(outside / c.points, drive.c() / "T" / c.link, ec);
    else
      fs::create_symlink(outside / c.points, drive.c() / "T" / c.link, ec);
    if (ec) { // Wine cannot make symbolic links; its hard links are still tried
      std::printf("no link %s here: %s\n", c.what, ec.message().c_str());
      continue;
    }

    const auto r = run(archive_bytes(4).file(c.stored, "evil").str());
    EXPECT_EQ(r.code, 'p') << c.what;
    EXPECT_EQ(r.report.reason, archive::failure_reason::platform) << c.what;
    EXPECT_EQ(r.report.error, c.error) << c.what;
    EXPECT_EQ(std::string(r.report.path.data()), "C:\\T\\" + std::string(c.stored + 5)) << c.what;
    EXPECT_EQ(temp_drive::read(outside / "victim.txt"), "keep") << c.what;
    EXPECT_TRUE(fs::is_empty(outside / "dir")) << c.what;
    EXPECT_FALSE(fs::exists(outside / "missing.txt")) << c.what;
  }
}

TEST_F(Extract, UnexpectedRecordInsideAFileIsStatusQAndKeepsWhatWasWritten) {
  const std::string before = archive_bytes(4).name("D:\\K\\PART").chunk("written").str();
  const auto r = run(before + std::string("\x09\x00\x00", 3));
  EXPECT_EQ(r.code, 'q');
  EXPECT_EQ(out("PART"), "written");
  // The report names the file and where in the archive the damage lies.
  EXPECT_EQ(r.report.reason, archive::failure_reason::damaged);
  EXPECT_STREQ(r.report.path.data(), "C:\\T\\PART");
  EXPECT_EQ(r.report.offset, before.size());
  EXPECT_EQ(run(archive_bytes(4).name("D:\\K\\PART").record(1, 4, "D:\\X").str()).code, 'q');
}

TEST_F(Extract, ChunkLongerThanATransferIsStatusQ) {
  EXPECT_EQ(
      run(archive_bytes(4).name("D:\\K\\F").record(2, 40000, std::string(40000, 'c')).str()).code,
      'q');
}

TEST_F(Extract, ShortHeaderInsideAFileIsStatusR) {
  EXPECT_EQ(run(archive_bytes(4).name("D:\\K\\F").chunk("abc").str()).code, 'r');
  EXPECT_EQ(out("F"), "abc");
  EXPECT_EQ(run(archive_bytes(4).name("D:\\K\\G").chunk("abc").bytes("\x03\x00").str()).code, 'r');
}

TEST_F(Extract, ChunkCutShortByTheEndIsDecodedAsFarAsItCameWritesNothingAndIsStatusR) {
  const std::string stream = zlib_compress(std::string(5000, 'q'));
  const auto r = run(archive_bytes(4)
                         .name("D:\\K\\F")
                         .chunk("first ")
                         .record(2, static_cast<std::uint16_t>(stream.size()), stream.substr(0, 10))
                         .str());
  EXPECT_EQ(r.code, 'r');
  EXPECT_EQ(r.block, block("  114"));
  EXPECT_EQ(out("F"), "first ");
  // Z_BUF_ERROR: all ten bytes taken, the stream not at its end.
  const std::string records = "65531/    0/inflate 1\r\n65531/    0/inflate 2\r\n";
  EXPECT_EQ(log(), records);
  // Cut right behind the header: nothing to decode, logged all the same.
  EXPECT_EQ(run(archive_bytes(4).name("D:\\K\\G").record(2, 9, "").str()).code, 'r');
  EXPECT_EQ(out("G"), "");
  EXPECT_EQ(log(), records + records);
}

TEST_F(Extract, ChunkThatFailsToDecodeWritesNothingLogsTwiceAndIsStatusS) {
  std::string bad = zlib_compress("good data");
  bad[bad.size() - 1] ^= 0x55; // a broken check value
  const auto r = run(archive_bytes(4)
                         .name("D:\\K\\F")
                         .chunk("first ")
                         .raw_chunk(bad)
                         .chunk("x")
                         .end_of_file()
                         .str());
  EXPECT_EQ(r.code, 's');
  EXPECT_EQ(r.block, block("  115"));
  EXPECT_EQ(out("F"), "first ");
  EXPECT_EQ(log(), "65533/    0/inflate 1\r\n65533/    0/inflate 2\r\n");
}

TEST_F(Extract, TruncatedAndOversizedChunksFailToDecode) {
  const std::string stream = zlib_compress(std::string(5000, 'q'));
  EXPECT_EQ(
      run(archive_bytes(4).name("D:\\K\\F").raw_chunk(stream.substr(0, 10)).end_of_file().str())
          .code,
      's');
  // Decodes to more than the 22,000-byte area.
  EXPECT_EQ(
      run(archive_bytes(4).name("D:\\K\\G").chunk(std::string(30000, 'g')).end_of_file().str())
          .code,
      's');
  // Exactly 22,000 bytes still fit.
  EXPECT_EQ(
      run(archive_bytes(4).name("D:\\K\\H").chunk(std::string(22000, 'h')).end_of_file().str())
          .code,
      0);
}

TEST_F(Extract, ProgressHookReceivesRunningTotalsForPJOnly) {
  const std::string a(25000, 'a'), b = "bbb";
  const std::string installer = archive_bytes(4).file("D:\\K\\A", a).file("D:\\K\\B", b).str();
  const auto quiet = run(installer, "PI ");
  EXPECT_TRUE(quiet.progress.empty());
  const auto r = run(installer, "PJ");
  EXPECT_EQ(r.code, 0);
  ASSERT_EQ(r.progress.size(), 3u);
  const std::uint32_t c1 = static_cast<std::uint32_t>(zlib_compress(a.substr(0, 20000)).size());
  EXPECT_EQ(r.progress[0], std::make_pair(c1, 20000u));
  EXPECT_EQ(r.progress[1].second, 25000u);
  EXPECT_EQ(r.progress[2].second, 25003u); // the sum of the files' sizes
  EXPECT_GT(r.progress[2].first, r.progress[1].first);
}

TEST_F(Extract, EveryHandleIsClosedOnEveryPath) {
  fault_platform fake;
  scoped_platform use(fake);
  for (const std::string& installer :
       {archive_bytes(4).file("D:\\K\\F", "f").str(), std::string("no marker"),
        archive_bytes(4).name("D:\\K\\F").chunk("x").str(),
        archive_bytes(4).name("D:\\K\\F").raw_chunk("junk").str(),
        archive_bytes(4).name("D:\\K\\F").record(5, 0, "").str(),
        archive_bytes(4).file("D:\\K\\..\\F", "f").str()}) {
    run(installer);
    EXPECT_EQ(fake.open_files(), 0);
  }
}

} // namespace
