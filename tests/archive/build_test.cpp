// Building: byte layout, traversal order, stub and trailer, statuses, progress.
#include "archive/format.h"
#include "sys/file_layer.h"
#include "sys/forwarding_platform.h"
#include "sys/scan.h"
#include "tests/archive/engine_helpers.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/fault_platform.h"
#include "tests/support/temp_drive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <tuple>

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
  drive.write("KIT/A.TXT", std::string(600, 'a'));
  drive.write("KIT/B.TXT", std::string(400, 'b'));
  const std::string trailer("QXA0000\0\x01\x02", 10);
  // Stubs of every length modulo 8: each installer is brought to a multiple
  // of 8 by zero bytes in front of the marker record, outside the total.
  for (std::size_t size = 160704; size < 160712; ++size) {
    SCOPED_TRACE(size);
    const std::string stub(size, 'M');
    drive.write("STUB.EXE", stub);
    const auto r =
        engine("C:\\SETUP.EXE", "C:\\KIT\\***", with_stub("PUA", "C:\\STUB.EXE", trailer));
    EXPECT_EQ(r.code, 0);
    const std::string installer = temp_drive::read(drive.c() / "SETUP.EXE");
    EXPECT_EQ(installer.size() % 8, 0u);
    EXPECT_EQ(installer.substr(0, stub.size()), stub);
    const std::size_t marker_at = installer.find('\x01', size);
    ASSERT_LT(marker_at - size, 8u);
    EXPECT_EQ(installer.substr(size, marker_at - size), std::string(marker_at - size, '\0'));
    EXPECT_EQ(installer.substr(marker_at + 3, 9), marker_text());
    EXPECT_EQ(installer.substr(installer.size() - 10), trailer);
    const std::string eoa = installer.substr(installer.size() - 15, 5);
    EXPECT_EQ(eoa[0], '\x04');
    const std::uint32_t total = static_cast<std::uint8_t>(eoa[1]) |
                                static_cast<std::uint8_t>(eoa[2]) << 8 |
                                static_cast<std::uint8_t>(eoa[3]) << 16 |
                                static_cast<std::uint32_t>(static_cast<std::uint8_t>(eoa[4])) << 24;
    EXPECT_EQ(total, size + 1000);
  }
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

// Bytes that deflate both shrinks and cannot shrink: runs of text between
// runs of random bytes, the same for the same seed.
std::string mixed_bytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string out;
  while (out.size() < size) {
    const std::size_t run = 1000 + random() % 30000;
    if (random() % 2 == 0) {
      for (std::size_t i = 0; i < run; ++i)
        out += static_cast<char>(random());
    } else {
      for (std::size_t i = 0; i < run; ++i)
        out += "The Velmora kit packs every file.\n"[i % 34];
    }
  }
  out.resize(size);
  return out;
}

TEST_F(Build, EveryJobCountGivesTheSameArchiveAndProgress) {
  struct tree {
    const char* what;
    std::function<void()> make; // below C:\KIT
  };
  const std::vector<tree> trees{
      {"300 files of 0 to 50 bytes in four directories",
       [&] {
         const char* dirs[] = {"", "ART/", "HELP/", "HELP/DEEP/"};
         for (int i = 0; i < 300; ++i)
           drive.write(
               std::string("KIT/") + dirs[i % 4] + "F" + std::to_string(i) + ".TXT",
               std::string(static_cast<std::size_t>(i % 51), static_cast<char>('a' + i % 26)));
       }},
      {"pieces at the edge",
       [&] {
         drive.write("KIT/A.DAT", mixed_bytes(19999, 1));
         drive.write("KIT/B.DAT", mixed_bytes(20000, 2));
         drive.write("KIT/C.DAT", mixed_bytes(20001, 3));
         drive.write("KIT/D.DAT", "");
       }},
      {"3 MB of mixed data between small files",
       [&] {
         drive.write("KIT/A.TXT", "a");
         drive.write("KIT/BIG.BIN", mixed_bytes(3000000, 4));
         drive.write("KIT/Z.TXT", "z");
       }},
  };
  drive.write("STUB.EXE", std::string(1000, 'm'));
  for (const auto& t : trees) {
    fs::remove_all(drive.c() / "KIT");
    t.make();
    const std::string command = with_stub("PVA", "C:\\STUB.EXE", "0123456789");
    const auto one = engine("C:\\OUT.BIN", "C:\\KIT\\***", command);
    ASSERT_EQ(one.code, 0) << t.what;
    const std::string expected = archive_file();
    for (const unsigned jobs : {2u, 3u, 4u, 8u}) {
      const auto r = engine("C:\\OUT.BIN", "C:\\KIT\\***", command, {.jobs = jobs});
      EXPECT_EQ(r.code, 0) << t.what << ", " << jobs << " jobs";
      EXPECT_TRUE(archive_file() == expected) << t.what << ", " << jobs << " jobs";
      EXPECT_EQ(r.progress, one.progress) << t.what << ", " << jobs << " jobs";
    }
  }
}

TEST_F(Build, AFailureIsTheSameForEveryJobCount) {
  // Small files around one that outgrows a round of pieces, so a failure in
  // it has records to take back out.
  for (int i = 0; i < 4; ++i)
    drive.write("KIT/F" + std::to_string(i) + ".TXT",
                std::string(static_cast<std::size_t>(i), 'f'));
  drive.write("KIT/SUB/BIG.BIN", std::string(660001, 'b')); // 34 pieces; 4 threads take 32
  drive.write("KIT/SUB/Z.TXT", "z");
  fault_platform fake;
  scoped_platform use(fake);
  // Fails call nth of kind k, builds on jobs threads; the outcome, and whether
  // the fault fired.
  const auto build = [&](op k, int nth, unsigned jobs) {
    fs::remove(drive.c() / "OUT.BIN");
    fake.clear_faults();
    fake.fail(k, nth, 30);
    const int fired = fake.faults_fired();
    auto r = engine("C:\\OUT.BIN", "C:\\KIT\\***", "PV", {.jobs = jobs});
    const std::string bytes = fs::exists(drive.c() / "OUT.BIN") ? archive_file() : "none";
    return std::make_tuple(r, bytes, fake.faults_fired() > fired);
  };
  for (const op k : {op::create_file, op::get_file_information, op::read_file, op::write_file}) {
    for (int nth = 1;; ++nth) {
      const auto [one, one_bytes, fired] = build(k, nth, 1);
      if (!fired)
        break;
      const auto [four, four_bytes, also_fired] = build(k, nth, 4);
      const std::string what = "call " + std::to_string(nth) + " of kind " +
                               std::to_string(static_cast<int>(k)) + " failing";
      EXPECT_TRUE(also_fired) << what;
      EXPECT_NE(one.code, 0) << what;
      EXPECT_EQ(four.code, one.code) << what;
      EXPECT_EQ(four.report.reason, one.report.reason) << what;
      EXPECT_EQ(four.report.error, one.report.error) << what;
      EXPECT_STREQ(four.report.path.data(), one.report.path.data()) << what;
      EXPECT_TRUE(four_bytes == one_bytes) << what;
      EXPECT_EQ(four.progress, one.progress) << what;
      EXPECT_EQ(fake.open_files(), 0) << what;
    }
  }
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

// Windows' sharing rules keep other writers out while the builder reads, so
// only POSIX can change a file under it.
#ifndef _WIN32
// Runs `change` on the source file at a drive path after the builder's first
// read of it, as another program writing the file meanwhile would.
class changing_platform final : public sys::forwarding_platform {
public:
  changing_platform(std::string victim, std::function<void()> change)
      : forwarding_platform(sys::current_platform()), victim_(std::move(victim)),
        change_(std::move(change)) {}
  sys::native_handle create_file(const char* path, std::uint32_t access, std::uint32_t share,
                                 sys::disposition how, std::uint32_t attributes) override {
    const sys::native_handle h = base().create_file(path, access, share, how, attributes);
    if (victim_ == path)
      handle_ = h;
    return h;
  }
  bool read_file(sys::native_handle handle, void* buffer, std::uint32_t count,
                 std::uint32_t* done) override {
    const bool ok = base().read_file(handle, buffer, count, done);
    if (handle == handle_ && change_) {
      change_();
      change_ = nullptr;
    }
    return ok;
  }

private:
  std::string victim_;
  std::function<void()> change_;
  sys::native_handle handle_ = sys::invalid_handle_value;
};

TEST_F(Build, AFileThatChangesWhileReadFailsTheBuildAndLeavesOnlyCompleteFiles) {
  const fs::path victim = drive.c() / "KIT" / "B.DAT";
  const std::vector<std::pair<const char*, std::function<void()>>> changes{
      {"shrinks", [&] { fs::resize_file(victim, 10); }},
      {"grows", [&] { std::ofstream(victim, std::ios::app) << std::string(30000, 'g'); }},
      {"is rewritten in place",
       [&] { fs::last_write_time(victim, fs::last_write_time(victim) + std::chrono::hours(1)); }},
  };
  for (const auto& [what, change] : changes) {
    for (const unsigned jobs : {1u, 4u}) {
      drive.write("KIT/A.TXT", "a");
      drive.write("KIT/B.DAT", std::string(50000, 'b'));
      changing_platform changing("C:\\KIT\\B.DAT", change);
      scoped_platform use(changing);
      const auto r = engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU", {.jobs = jobs});
      EXPECT_EQ(r.code, 'k') << what << ", " << jobs << " jobs";
      EXPECT_EQ(r.report.reason, archive::failure_reason::changed_while_read) << what;
      EXPECT_STREQ(r.report.path.data(), "C:\\KIT\\B.DAT") << what;
      EXPECT_EQ(archive_file(), archive_bytes(6).file("C:\\KIT\\A.TXT", "a").str())
          << what << ", " << jobs << " jobs";
    }
  }
}

#endif

TEST_F(Build, AReadErrorInsideAFileLeavesOnlyCompleteFiles) {
  drive.write("KIT/A.TXT", "a");
  drive.write("KIT/B.DAT", std::string(50000, 'b'));
  fault_platform fake;
  scoped_platform use(fake);
  fake.fail(op::read_file, 3, 30); // A.TXT's one read, then B.DAT's second
  const auto r = engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU");
  EXPECT_EQ(r.code, 'k');
  EXPECT_EQ(r.report.reason, archive::failure_reason::platform);
  EXPECT_EQ(r.report.error, 30u);
  EXPECT_STREQ(r.report.path.data(), "C:\\KIT\\B.DAT");
  EXPECT_EQ(archive_file(), archive_bytes(6).file("C:\\KIT\\A.TXT", "a").str());
}

TEST_F(Build, RefusalsNameWhatCouldNotBePacked) {
  struct refusal {
    const char* what;
    std::function<void()> make; // the tree below C:\KIT and any faults
    std::string spec;
    int code;
    archive::failure_reason reason;
    std::string path;
    std::string other;
  };
  fault_platform fake;
  const std::string stub_with_marker = "MZ..." + std::string(1, archive::marker_first) +
                                       std::string(archive::marker_template.data() + 1, 8) + "...";
  const std::vector<refusal> table{
      {"a subdirectory that cannot be listed",
       [&] {
         drive.write("KIT/SUB/F.TXT", "f");
         fake.fail(op::find_first_file, 2, 5);
       },
       "C:\\KIT\\***", 'k', archive::failure_reason::platform, "C:\\KIT\\SUB", ""},
      {"a listing cut short",
       [&] {
         drive.write("KIT/A.TXT", "a");
         drive.write("KIT/B.TXT", "b");
         fake.fail(op::find_next_file, 3, 59);
       },
       "C:\\KIT\\***", 'k', archive::failure_reason::platform, "C:\\KIT", ""},
      {"a source spec over 200 characters", [&] { drive.write("KIT/A.TXT", "a"); },
       "C:\\KIT\\" + std::string(200, '.') + "\\***", 'k', archive::failure_reason::path_too_long,
       "", ""},
      {"an archive total beyond 32 bits",
       [&] {
         drive.write("KIT/A.TXT", "a");
         std::ofstream(drive.c() / "KIT" / "HUGE.BIN");
         fs::resize_file(drive.c() / "KIT" / "HUGE.BIN", 0xFFFFFFFFull); // sparse
       },
       "C:\\KIT\\***", 'k', archive::failure_reason::archive_too_large, "C:\\KIT\\HUGE.BIN", ""},
      {"a stub that holds the marker",
       [&] {
         drive.write("KIT/A.TXT", "a");
         drive.write("STUB.EXE", stub_with_marker);
       },
       "C:\\KIT\\***", 'j', archive::failure_reason::marker_in_stub, "C:\\STUB.EXE", ""},
#ifndef _WIN32
      {"a subdirectory whose name Windows-1252 cannot hold",
       [&] {
         drive.write("KIT/\xD0\xB6"
                     "dir/F.TXT",
                     "f");
       },
       "C:\\KIT\\***", 'k', archive::failure_reason::unsafe_name, "C:\\KIT\\?DIR", ""},
      {"a link that leads nowhere",
       [&] {
         drive.write("KIT/A.TXT", "a");
         fs::create_symlink("nowhere", drive.c() / "KIT" / "dangling");
       },
       "C:\\KIT\\***", 'k', archive::failure_reason::platform, "C:\\KIT\\DANGLING", ""},
      {"a link back up the tree",
       [&] {
         drive.write("KIT/SUB/F.TXT", "f");
         fs::create_symlink("..", drive.c() / "KIT" / "SUB" / "up");
       },
       "C:\\KIT\\***", 'k', archive::failure_reason::platform, "C:\\KIT\\SUB\\UP", ""},
      {"files whose names differ only in case",
       [&] {
         drive.write("KIT/a.txt", "small");
         drive.write("KIT/A.TXT", "capital");
       },
       "C:\\KIT\\***", 'k', archive::failure_reason::duplicate_name, "C:\\KIT\\A.TXT",
       "C:\\KIT\\A.TXT"},
      {"names Windows takes for one (trailing dots and blanks dropped)",
       [&] {
         drive.write("KIT/a.txt", "plain");
         drive.write("KIT/A.TXT.", "dotted");
       },
       "C:\\KIT\\***", 'k', archive::failure_reason::duplicate_name, "C:\\KIT\\A.TXT.",
       "C:\\KIT\\A.TXT"},
      {"a name no file can be unpacked under", [&] { drive.write("KIT/...", "dots"); },
       "C:\\KIT\\***", 'k', archive::failure_reason::unsafe_name, "C:\\KIT\\...", ""},
      {"directories whose names differ only in case",
       [&] {
         drive.write("KIT/sub/a.txt", "a");
         drive.write("KIT/SUB/b.txt", "b");
       },
       "C:\\KIT\\***", 'k', archive::failure_reason::duplicate_name, "C:\\KIT\\SUB",
       "C:\\KIT\\SUB"},
#endif
  };
  for (const auto& t : table) {
    // A walk stopped mid-listing leaves its scan open until the next one
    // starts, and Windows keeps a directory being listed from being removed.
    sys::scan_first("C:\\NONE\\*.*");
    fs::remove_all(drive.c() / "KIT");
    fs::remove(drive.c() / "OUT.BIN");
    fake.clear_faults();
    t.make();
    scoped_platform use(fake);
    const bool stub = t.code == 'j';
    const auto r =
        engine("C:\\OUT.BIN", t.spec, stub ? with_stub("PUA", "C:\\STUB.EXE", "0123456789") : "PU");
    EXPECT_EQ(r.code, t.code) << t.what;
    EXPECT_EQ(r.report.reason, t.reason) << t.what;
    if (!t.path.empty()) {
      EXPECT_STREQ(r.report.path.data(), t.path.c_str()) << t.what;
    }
    EXPECT_STREQ(r.report.other.data(), t.other.c_str()) << t.what;
    if (stub) {
      EXPECT_FALSE(fs::exists(drive.c() / "OUT.BIN")) << t.what << ": nothing is written";
    }
  }
}

TEST_F(Build, ClosingTheArchiveIsPartOfWritingIt) {
  drive.write("KIT/A.TXT", "a");
  fault_platform fake;
  scoped_platform use(fake);
  fake.fail(op::close_handle, 2, 112); // A.TXT's close passes, the archive's fails
  const auto r = engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU");
  EXPECT_EQ(r.code, 'j');
  EXPECT_EQ(r.report.error, 112u);
  EXPECT_STREQ(r.report.path.data(), "C:\\OUT.BIN");
}

TEST_F(Build, NamesThatFoldingWouldChangeAreOpenedAsListed) {
  // „ ’ Ô Š ™: Windows-1252 0x84 0x92 0xD4 0x8A 0x99, which code page 850
  // folding would turn into other letters.
  drive.write("KIT/\xE2\x80\x9E\xE2\x80\x99S.TXT", "quote");
  VELMORA_SKIP_IF_SHORT_NAME("C:\\KIT\\\x84\x92S.TXT");
  drive.write("KIT/\xC3\x94"
              "DIR/\xC5\xA0\xE2\x84\xA2.TXT",
              "mark");
  ASSERT_EQ(engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU").code, 0);
  EXPECT_EQ(archive_file(), archive_bytes(6)
                                .file("C:\\KIT\\\x84\x92S.TXT", "quote")
                                .file("C:\\KIT\\\xD4"
                                      "DIR\\\x8A\x99.TXT",
                                      "mark")
                                .end_of_archive(9)
                                .str());
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
  EXPECT_EQ(r.report.offset, 251u);
  EXPECT_EQ(archive_file(), archive_bytes(6).file("C:\\KIT\\A.TXT", "a").str());
  // 250 characters are stored whole.
  fs::remove(drive.c() / "KIT" / long_name);
  drive.write("KIT/" + long_name.substr(1), "long");
  EXPECT_EQ(engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU").code, 0);
}

TEST_F(Build, AStoredPrefixStandsForTheSpecsDirectoryAndBothLimitsCount) {
  const archive::engine_options s_drive{.stored_prefix = "S:\\"};
  drive.write("DEEP/KIT/A.TXT", "a");
  drive.write("DEEP/KIT/SUB/B.TXT", "b");
  EXPECT_EQ(engine("C:\\OUT.BIN", "C:\\DEEP\\KIT\\***", "PU", s_drive).code, 0);
  EXPECT_EQ(
      archive_file(),
      archive_bytes(2).file("S:\\A.TXT", "a").file("S:\\SUB\\B.TXT", "b").end_of_archive(2).str());
  // A prefix that is no directory ending in a backslash is refused.
  for (const char* prefix : {"S:", "S:\\X", "\\", ""})
    EXPECT_EQ(engine("C:\\OUT.BIN", "C:\\DEEP\\KIT\\***", "PU", {.stored_prefix = prefix}).code,
              'k')
        << prefix;
  fs::remove_all(drive.c() / "DEEP");

  // "S:\SUB\" (7) + 244 = 251 stored, though "C:\K\SUB\" (9) + 244 = 253 opens.
  const std::string name(244, 'N');
  drive.write("K/SUB/" + name, "n");
  VELMORA_SKIP_IF_SHORT_NAME("C:\\K\\SUB\\" + name);
  auto r = engine("C:\\OUT.BIN", "C:\\K\\***", "PU", s_drive);
  EXPECT_EQ(r.report.reason, archive::failure_reason::name_too_long);
  EXPECT_STREQ(r.report.path.data(), ("C:\\K\\SUB\\" + name).c_str()); // the path opened
  EXPECT_EQ(r.report.offset, 251u);                                    // the stored length
  fs::rename(drive.c() / "K" / "SUB" / name, drive.c() / "K" / "SUB" / name.substr(1));
  EXPECT_EQ(engine("C:\\OUT.BIN", "C:\\K\\***", "PU", s_drive).code, 0);
  // "C:\LONGER\SUB\" (14) + 243 = 257 opened, though 250 would be stored.
  fs::rename(drive.c() / "K", drive.c() / "LONGER");
  r = engine("C:\\OUT.BIN", "C:\\LONGER\\***", "PU", s_drive);
  EXPECT_EQ(r.code, 'k');
  EXPECT_EQ(r.report.reason, archive::failure_reason::path_too_long);
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
  fake.fail(op::write_file, 1, 112); // the archive goes out in one write
  EXPECT_EQ(engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU").code, 'j');
  EXPECT_EQ(fake.open_files(), 0);
}

} // namespace
