// Building: byte layout, traversal order, stub and trailer, statuses, progress.
#include "archive/format.h"
#include "sys/file_layer.h"
#include "tests/archive/engine_helpers.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/fault_platform.h"
#include "tests/support/temp_drive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace velmora_test;

namespace {

class Build : public ::testing::Test {
protected:
  std::string archive_file() const { return temp_drive::read(drive.c() / "OUT.BIN"); }
  temp_drive drive;
};

TEST_F(Build, LaysOutTheExampleByteForByte) {
  // D: is the tree's drive, as in D:\BUILD\KIT\***.
  const std::string data(30000, 's');
  fs::create_directories(drive.d() / "BUILD" / "KIT");
  std::ofstream(drive.d() / "BUILD" / "KIT" / "SETUP.DAT", std::ios::binary) << data;

  const auto r = engine("C:\\OUT.BIN", "D:\\BUILD\\KIT\\***", "PU");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.spec, "D:\\BUILD\\KIT\\*.*"); // the recursion change stays
  const std::string expected =
      archive_bytes(12).file("D:\\BUILD\\KIT\\SETUP.DAT", data).end_of_archive(30000).str();
  EXPECT_EQ(archive_file(), expected);
  // Two chunks: 20,000 and 10,000 bytes.
  const auto& bytes = archive_file();
  EXPECT_EQ(bytes.substr(16, 3), std::string("\x01\x16\x00", 3));
}

TEST_F(Build, ListsTheSourceDirectoryFirstThenSubdirectoriesBreadthFirst) {
  drive.write("KIT/Z.TXT", "z");
  drive.write("KIT/HELP/INDEX.HLP", "index");
  drive.write("KIT/HELP/DEEP/D.TXT", "deep");
  drive.write("KIT/ART/A.TXT", "a");
  drive.write("KIT/.git/config", "hidden");
  const auto r = engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU");
  EXPECT_EQ(r.code, 0);
  const std::string expected = archive_bytes(6)
                                   .file("C:\\KIT\\Z.TXT", "z")
                                   .file("C:\\KIT\\ART\\A.TXT", "a")
                                   .file("C:\\KIT\\HELP\\INDEX.HLP", "index")
                                   .file("C:\\KIT\\HELP\\DEEP\\D.TXT", "deep")
                                   .end_of_archive(11)
                                   .str();
  EXPECT_EQ(archive_file(), expected);
}

TEST_F(Build, WithoutStarsSubdirectoriesAreSkipped) {
  drive.write("KIT/TOP.TXT", "top");
  drive.write("KIT/SUB/IN.TXT", "in");
  EXPECT_EQ(engine("C:\\OUT.BIN", "C:\\KIT\\*.*", "PU").code, 0);
  EXPECT_EQ(archive_file(),
            archive_bytes(6).file("C:\\KIT\\TOP.TXT", "top").end_of_archive(3).str());
}

TEST_F(Build, ChunkCountsFollowTheSizes) {
  for (std::size_t size : {0u, 19999u, 20000u, 20001u, 40000u}) {
    fs::remove_all(drive.c() / "KIT");
    const std::string data(size, 'c');
    drive.write("KIT/F.DAT", data);
    ASSERT_EQ(engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU").code, 0);
    EXPECT_EQ(archive_file(), archive_bytes(6)
                                  .file("C:\\KIT\\F.DAT", data)
                                  .end_of_archive(static_cast<std::uint32_t>(size))
                                  .str())
        << size;
  }
}

TEST_F(Build, InstallerHasTheStubTheTotalAndTheTrailer) {
  const std::string stub(160704, 'M');
  drive.write("STUB.EXE", stub);
  drive.write("KIT/A.TXT", std::string(600, 'a'));
  drive.write("KIT/B.TXT", std::string(400, 'b'));
  const std::string trailer("QXA0000\0\x01\x02", 10);
  const auto r = engine("C:\\SETUP.EXE", "C:\\KIT\\***", with_stub("PUA", "C:\\STUB.EXE", trailer));
  EXPECT_EQ(r.code, 0);
  const std::string installer = temp_drive::read(drive.c() / "SETUP.EXE");
  EXPECT_EQ(installer.substr(0, stub.size()), stub);
  EXPECT_EQ(installer.substr(installer.size() - 10), trailer);
  const std::string eoa = installer.substr(installer.size() - 15, 5);
  EXPECT_EQ(eoa[0], '\x04');
  const std::uint32_t total = static_cast<std::uint8_t>(eoa[1]) |
                              static_cast<std::uint8_t>(eoa[2]) << 8 |
                              static_cast<std::uint8_t>(eoa[3]) << 16 |
                              static_cast<std::uint32_t>(static_cast<std::uint8_t>(eoa[4])) << 24;
  EXPECT_EQ(total, 161704u);
}

TEST_F(Build, CarriageReturnAlsoEndsTheStubPath) {
  drive.write("STUB.EXE", "stub");
  drive.write("KIT/A.TXT", "a");
  std::string command = "PVAC:\\STUB.EXE\r0123456789";
  const auto r = engine("C:\\SETUP.EXE", "C:\\KIT\\***", command);
  EXPECT_EQ(r.code, 0);
  const std::string installer = temp_drive::read(drive.c() / "SETUP.EXE");
  EXPECT_EQ(installer.substr(0, 4), "stub");
  EXPECT_EQ(installer.substr(installer.size() - 10), "0123456789");
}

TEST_F(Build, ProgressHookGetsArchiveAndCompressedTotalsForPVOnly) {
  drive.write("STUB.EXE", std::string(100, 'm'));
  drive.write("KIT/A.TXT", std::string(25000, 'a'));
  EXPECT_TRUE(engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU").progress.empty());
  const auto r =
      engine("C:\\OUT.BIN", "C:\\KIT\\***", with_stub("PVA", "C:\\STUB.EXE", "0123456789"));
  ASSERT_EQ(r.progress.size(), 2u);
  EXPECT_EQ(r.progress[0].first, 20100u);
  EXPECT_EQ(r.progress[1].first, 25100u);
  EXPECT_EQ(r.progress[1].second, zlib_compress(std::string(20000, 'a')).size() +
                                      zlib_compress(std::string(5000, 'a')).size());
}

TEST_F(Build, ArchiveThatCannotBeCreatedIsStatusJ) {
  drive.write("KIT/A.TXT", "a");
  const auto r = engine("C:\\NO\\SUCH\\OUT.BIN", "C:\\KIT\\***", "PU");
  EXPECT_EQ(r.code, 'j');
  EXPECT_EQ(r.block, std::string("\0\x05\0  106\0\xEE", 10));
}

TEST_F(Build, MissingStubIsStatusJAndWritesNothing) {
  drive.write("KIT/A.TXT", "a");
  EXPECT_EQ(
      engine("C:\\SETUP.EXE", "C:\\KIT\\***", with_stub("PUA", "C:\\NOSTUB.EXE", "0123456789"))
          .code,
      'j');
  EXPECT_FALSE(fs::exists(drive.c() / "SETUP.EXE"));
  // A stub path with no terminator in the first 200 characters.
  EXPECT_EQ(engine("C:\\SETUP.EXE", "C:\\KIT\\***", "PUA" + std::string(260, 'x')).code, 'j');
  EXPECT_FALSE(fs::exists(drive.c() / "SETUP.EXE"));
}

TEST_F(Build, StubThatIsTheArchiveItselfIsRefused) {
  drive.write("SETUP.EXE", "precious");
  drive.write("KIT/A.TXT", "a");
  EXPECT_EQ(
      engine("C:\\SETUP.EXE", "C:\\KIT\\***", with_stub("PUA", "C:\\SETUP.EXE", "0123456789")).code,
      'j');
  EXPECT_EQ(temp_drive::read(drive.c() / "SETUP.EXE"), "precious");
}

TEST_F(Build, SourceThatCannotBeOpenedIsStatusKAndLeavesTheCompleteFiles) {
  drive.write("KIT/A.TXT", "aaa");
  drive.write("KIT/B.TXT", "bbb");
  // B.TXT is held unshared, so the builder's shared read is refused.
  sys::scoped_file holder(sys::file_open("C:\\KIT\\B.TXT", sys::open_mode::read_write));
  ASSERT_TRUE(holder.ok());
  const auto r = engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU");
  EXPECT_EQ(r.code, 'k');
  EXPECT_EQ(r.block, std::string("\0\x05\0  107\0\xEE", 10));
  EXPECT_EQ(archive_file(), archive_bytes(6).file("C:\\KIT\\A.TXT", "aaa").str());
  holder.reset();
  // Such an archive still extracts what it holds, with status 0.
  EXPECT_EQ(engine("C:\\OUT.BIN", "C:\\T\\", "PI ").code, 0);
  EXPECT_EQ(temp_drive::read(drive.c() / "T" / "A.TXT"), "aaa");
}

TEST_F(Build, SpecWithoutDirectoryPartIsRefusedBeforeAnythingIsWritten) {
  EXPECT_EQ(engine("C:\\OUT.BIN", "***", "PU").code, 'k');
  EXPECT_EQ(engine("C:\\OUT.BIN", "C:*.*", "PU").code, 'k');
  EXPECT_FALSE(fs::exists(drive.c() / "OUT.BIN"));
}

TEST_F(Build, OverlongPathsAreStatusKNeverAnOverrun) {
  // A directory whose spec no longer fits a slot.
  // Both need long names standing in: short names are at most 12 characters.
  fs::create_directories(drive.c() / "KIT" / std::string(120, 'd'));
  VELMORA_SKIP_IF_SHORT_NAME("C:\\KIT\\" + std::string(120, 'D'));
  const std::string deep = "KIT/" + std::string(120, 'd') + "/" + std::string(130, 'e');
  drive.write(deep + "/F.TXT", "f");
  EXPECT_EQ(engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU").code, 'k');
  // A file path of 256 characters.
  fs::remove_all(drive.c() / "KIT");
  drive.write("KIT/" + std::string(249, 'n'), "n"); // "C:\KIT\" + 249 = 256
  EXPECT_EQ(engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU").code, 'k');
}

TEST_F(Build, StoredNamesOver250CharactersAreRefusedNotCut) {
  const std::string long_name(244, 'L'); // "C:\KIT\" (7) + 244 = 251
  drive.write("KIT/A.TXT", "a");
  drive.write("KIT/" + long_name, "long");
  VELMORA_SKIP_IF_SHORT_NAME("C:\\KIT\\" + long_name);
  const auto r = engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU");
  EXPECT_EQ(r.code, 'k');
  EXPECT_EQ(r.report.reason, archive::failure_reason::name_too_long);
  EXPECT_STREQ(r.report.path.data(), ("C:\\KIT\\" + long_name).c_str());
  EXPECT_EQ(archive_file(), archive_bytes(6).file("C:\\KIT\\A.TXT", "a").str());
  // 250 characters are stored whole.
  fs::remove(drive.c() / "KIT" / long_name);
  drive.write("KIT/" + long_name.substr(1), "long");
  EXPECT_EQ(engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU").code, 0);
}

TEST_F(Build, UnknownPCommandIsStatusHAndTouchesNothing) {
  drive.write("KIT/A.TXT", "a");
  for (const char* command : {"PX", "PZ", "P", "Pi"}) {
    const auto r = engine("C:\\OUT.BIN", "C:\\KIT\\***", command);
    EXPECT_EQ(r.code, 'h') << command;
    EXPECT_EQ(r.block, std::string("\0\x05\0  104\0\xEE", 10));
  }
  EXPECT_FALSE(fs::exists(drive.c() / "OUT.BIN"));
}

TEST_F(Build, WriteFailureIsNotReportedAsSuccess) {
  drive.write("KIT/A.TXT", "a");
  fault_platform fake;
  scoped_platform use(fake);
  fake.fail(op::write_file, 3, 112);
  EXPECT_EQ(engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU").code, 'j');
  EXPECT_EQ(fake.open_files(), 0);
}

} // namespace
