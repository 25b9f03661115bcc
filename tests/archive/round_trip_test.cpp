// Round trips: trees built into archives and installers unpack to the same
// files, and every step survives injected platform faults.
#include "sys/cp1252.h"
#include "tests/archive/engine_helpers.h"
#include "tests/support/fault_platform.h"
#include "tests/support/temp_drive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

namespace fs = std::filesystem;
using namespace velmora_test;

namespace {

// Every file below C:\<dir>, by its path relative to it (UTF-8, '/' between
// components) with each component as an archive stores it: the platform's
// short name where it keeps one (and the name does not begin with '.'), else
// the name in capitals.
std::map<std::string, std::string> tree(const temp_drive& drive, const std::string& dir) {
  std::map<std::string, std::string> files;
  const fs::path root = drive.c() / dir;
  if (!fs::exists(root))
    return files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file())
      continue;
    std::string key;
    std::string drive_path = "C:\\" + dir;
    for (const auto& part : fs::relative(e.path(), root)) {
      const std::u8string utf8 = part.u8string();
      const std::string name = sys::utf8_to_cp1252(std::string(utf8.begin(), utf8.end()));
      drive_path += "\\" + name;
      std::string stored = name[0] == '.' ? "" : platform_short_name(drive_path);
      if (stored.empty()) {
        stored = name;
        for (auto& c : stored)
          c = static_cast<char>(sys::cp1252_upper(static_cast<unsigned char>(c)));
      }
      key += (key.empty() ? "" : "/") + sys::cp1252_to_utf8(stored);
    }
    files[key] = temp_drive::read(e.path());
  }
  return files;
}

std::string random_bytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s)
    c = static_cast<char>(rng());
  return s;
}

class RoundTrip : public ::testing::Test {
protected:
  RoundTrip() {
    fs::create_directory(drive.c() / "VEK");
    drive.write("KIT/empty.txt", "");
    drive.write("KIT/readme.txt", "Velmora\r\n");
    drive.write("KIT/F19999.BIN", random_bytes(19999, 1));
    drive.write("KIT/F20000.BIN", random_bytes(20000, 2));
    drive.write("KIT/F20001.BIN", std::string(20001, 'x'));
    drive.write("KIT/F40000.BIN", random_bytes(40000, 3));
    drive.write("KIT/VV/big.dat", random_bytes(3 << 20, 4));
    drive.write("KIT/VV/deeper/still/leaf.txt", "leaf");
    drive.write("KIT/.hidden/skipped.txt", "never archived");
    drive.write("KIT/Kärnan/blåbär.txt", "bär"); // UTF-8 on disk, Windows-1252 inside
#ifndef _WIN32
    // „ ’ Ô Š ™: Windows-1252 bytes that code page 850 folding would change.
    drive.write("KIT/\xE2\x80\x9E\xC3\x94"
                "DIR/\xE2\x80\x99\xC5\xA0\xE2\x84\xA2.txt",
                "folded");
#endif
  }
  std::map<std::string, std::string> expected() const {
    auto files = tree(drive, "KIT");
    files.erase(".HIDDEN/SKIPPED.TXT");
    return files;
  }
  temp_drive drive;
};

TEST_F(RoundTrip, PayloadArchiveUnpacksToTheSameTree) {
  ASSERT_EQ(engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU").code, 0);
  ASSERT_EQ(engine("C:\\OUT.BIN", "C:\\DEST\\", "PI ").code, 0);
  EXPECT_EQ(tree(drive, "DEST"), expected());
  EXPECT_EQ(temp_drive::read(drive.c() / "VEK" / "QXERROR.TXT"), "");
}

TEST_F(RoundTrip, InstallerUnpacksToTheSameTree) {
  drive.write("STUB.EXE", random_bytes(70000, 5) + '\0');
  ASSERT_EQ(engine("C:\\SETUP.EXE", "C:\\KIT\\***",
                   with_stub("PVA", "C:\\STUB.EXE", std::string("QXA0000\0\0\0", 10)))
                .code,
            0);
  ASSERT_EQ(engine("C:\\SETUP.EXE", "C:\\QXA0000A\\", "PJ").code, 0);
  EXPECT_EQ(tree(drive, "QXA0000A"), expected());
}

TEST_F(RoundTrip, BuildingTwiceGivesTheSameBytes) {
  ASSERT_EQ(engine("C:\\ONE.BIN", "C:\\KIT\\***", "PU").code, 0);
  ASSERT_EQ(engine("C:\\TWO.BIN", "C:\\KIT\\***", "PU").code, 0);
  EXPECT_EQ(temp_drive::read(drive.c() / "ONE.BIN"), temp_drive::read(drive.c() / "TWO.BIN"));
}

// Fails the nth call of one kind of platform operation, for n = 1, 2, ...
// until a run sees no fault: every run ends in success or one of the allowed
// statuses and leaves no file open, and every run that reports success has
// done all of its work (check).
void sweep(op kind, const std::function<int()>& run, std::initializer_list<int> allowed,
           const std::function<void()>& check) {
  for (int n = 1;; ++n) {
    int code = -1;
    int fired = 0;
    {
      fault_platform fake;
      scoped_platform use(fake);
      fake.fail(kind, n, 5);
      code = run();
      EXPECT_EQ(fake.open_files(), 0) << "fault at call " << n;
      fired = fake.faults_fired();
    }
    if (code == 0)
      check();
    if (fired == 0) {
      EXPECT_EQ(code, 0);
      break;
    }
    EXPECT_TRUE(code == 0 || std::find(allowed.begin(), allowed.end(), code) != allowed.end())
        << "fault in operation " << static_cast<int>(kind) << " at call " << n << " gave status "
        << code;
    if (::testing::Test::HasFailure())
      return;
    ASSERT_LT(n, 2000);
  }
}

TEST_F(RoundTrip, BuildingSurvivesEveryInjectedFault) {
  fs::remove_all(drive.c() / "KIT" / "VV" / "big.dat"); // keep the sweep short
  const auto build = [] { return engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU").code; };
  // A build that reports success holds the whole tree.
  const auto whole = [this] {
    fs::remove_all(drive.c() / "DEST");
    ASSERT_EQ(engine("C:\\OUT.BIN", "C:\\DEST\\", "PI ").code, 0);
    EXPECT_EQ(tree(drive, "DEST"), expected());
  };
  sweep(op::create_file, build, {'j', 'k'}, whole);
  sweep(op::read_file, build, {'j', 'k'}, whole);
  sweep(op::write_file, build, {'j'}, whole);
  sweep(op::close_handle, build, {'j'}, whole);
  sweep(op::find_first_file, build, {'k'}, whole);
  sweep(op::find_next_file, build, {'k'}, whole);
  sweep(op::get_file_information, build, {'k'}, whole);
}

TEST_F(RoundTrip, ExtractionSurvivesEveryInjectedFault) {
  fs::remove_all(drive.c() / "KIT" / "VV" / "big.dat");
  ASSERT_EQ(engine("C:\\OUT.BIN", "C:\\KIT\\***", "PU").code, 0);
  const auto extract = [this] {
    fs::remove_all(drive.c() / "DEST");
    return engine("C:\\OUT.BIN", "C:\\DEST\\", "PI ").code;
  };
  const auto whole = [this] { EXPECT_EQ(tree(drive, "DEST"), expected()); };
  sweep(op::create_file, extract, {'n', 'p'}, whole);
  sweep(op::read_file, extract, {'o', 'r', 's', 'x'}, whole);
  sweep(op::write_file, extract, {'p'}, whole);
  sweep(op::create_directory, extract, {'p'}, whole);
  sweep(op::create_file_below, extract, {'p'}, whole);
  sweep(op::create_directory_below, extract, {'p'}, whole);
  sweep(op::close_handle, extract, {'p'}, whole);
}

} // namespace
