// Hostile installers: whatever extraction answers, the drive outside the
// target directory stays as it was, file for file and byte for byte. Replays
// the inputs kept in tests/data/payload_reader_fuzz/ (damaged archives made by
// hand and what the extraction fuzzer, archive/payload_reader_fuzz.cpp, found),
// and names made here that aim at the installer itself, at the error log and
// beyond the drive's root.
#include "archive/format.h"
#include "archive/run_archive_command.h"
#include "tests/archive/engine_helpers.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/temp_drive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;
using namespace velmora_test;

#ifndef VELMORA_FUZZ_CASES_DIR
#error "VELMORA_FUZZ_CASES_DIR must name the stored fuzz inputs"
#endif

namespace {

constexpr int any_status = -1;

struct hostile_case {
  std::string label;
  std::string installer;
  int expected = any_status;
};

bool is_extraction_status(int code) {
  namespace st = archive::status;
  for (int allowed :
       {st::success, st::bad_top_record, st::output_create_failed, st::bad_file_record,
        st::truncated_record, st::chunk_decode_failed, st::marker_not_found})
    if (code == allowed)
      return true;
  return false;
}

// Everything below root except the target and the log: relative path to the
// file's bytes, "<dir>" or "<other>".
std::map<std::string, std::string> outside_target(const fs::path& root) {
  std::map<std::string, std::string> seen;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string relative = fs::relative(it->path(), root).generic_string();
    if (relative == "c/T") {
      it.disable_recursion_pending();
      continue;
    }
    if (relative == "c/VEK/QXERROR.TXT")
      continue; // it may grow; its lines are checked on their own
    const fs::file_type type = it->symlink_status().type();
    seen[relative] = type == fs::file_type::regular     ? temp_drive::read(it->path())
                     : type == fs::file_type::directory ? "<dir>"
                                                        : "<other>";
  }
  return seen;
}

// Names each path created, changed or removed between the two views.
void expect_same(const std::map<std::string, std::string>& before,
                 const std::map<std::string, std::string>& after) {
  for (const auto& [path, content] : after) {
    const auto was = before.find(path);
    if (was == before.end())
      ADD_FAILURE() << "created outside the target: " << path;
    else if (was->second != content)
      ADD_FAILURE() << "changed outside the target: " << path;
  }
  for (const auto& [path, content] : before)
    if (!after.contains(path))
      ADD_FAILURE() << "removed outside the target: " << path;
}

// Each line of the log: two five-character numbers, each followed by '/', a
// message, CR LF.
void expect_only_log_records(const std::string& log) {
  std::string_view rest = log;
  while (!rest.empty()) {
    const auto end = rest.find("\r\n");
    ASSERT_NE(end, std::string_view::npos) << "unterminated log line";
    ASSERT_GE(end, 12u);
    EXPECT_EQ(rest[5], '/');
    EXPECT_EQ(rest[11], '/');
    rest.remove_prefix(end + 2);
  }
}

class HostileExtraction : public ::testing::Test {
protected:
  HostileExtraction() {
    fs::create_directory(drive.c() / "VEK");
    drive.write("KEEP/OLD.TXT", "kept");
    std::ofstream(drive.d() / "ON-D.TXT") << "kept too";
  }

  // Extracts the installer as C:\IN.EXE into C:\T\, checks that nothing
  // outside C:\T changed, then removes C:\T and the log for the next one.
  void check(const hostile_case& c) {
    SCOPED_TRACE(c.label);
    drive.write("IN.EXE", c.installer);
    const auto before = outside_target(drive.root());
    const int code = engine("C:\\IN.EXE", "C:\\T\\", "PI ").code;
    EXPECT_TRUE(is_extraction_status(code)) << code;
    if (c.expected != any_status) {
      EXPECT_EQ(code, c.expected);
    }
    expect_same(before, outside_target(drive.root()));
    expect_only_log_records(temp_drive::read(drive.c() / "VEK" / "QXERROR.TXT"));
    fs::remove_all(drive.c() / "T");
    fs::remove(drive.c() / "VEK" / "QXERROR.TXT");
  }

  temp_drive drive;
};

TEST_F(HostileExtraction, StoredFuzzInputsLeaveTheDriveOutsideTheTargetAlone) {
  std::vector<fs::path> inputs;
  if (fs::is_directory(VELMORA_FUZZ_CASES_DIR)) {
    for (const auto& e : fs::directory_iterator(VELMORA_FUZZ_CASES_DIR))
      if (e.is_regular_file())
        inputs.push_back(e.path());
  }
  if (inputs.empty())
    GTEST_SKIP() << "no stored fuzz inputs in " << VELMORA_FUZZ_CASES_DIR;
  std::sort(inputs.begin(), inputs.end());
  for (const auto& p : inputs)
    check({p.filename().string(), temp_drive::read(p)});
}

TEST_F(HostileExtraction, NamesAimedAtTheInstallerTheLogOrBeyondTheDriveAreRefused) {
  const int refused = archive::status::output_create_failed;
  std::string climb = "D:\\K\\";
  for (int i = 0; i < 40; ++i)
    climb += "..\\";
  const std::string data(archive::chunk_bytes + 10, 'x'); // two chunks

  const std::vector<hostile_case> cases{
      {"over the installer", archive_bytes(4).file("D:\\K\\..\\IN.EXE", data).str(), refused},
      {"over the installer, other case",
       archive_bytes(4).file("D:\\K\\A\\..\\..\\in.exe", "x").str(), refused},
      {"into the log", archive_bytes(4).file("D:\\K\\..\\VEK\\QXERROR.TXT", "x").str(), refused},
      {"beyond the drive's root", archive_bytes(4).file(climb + "ESCAPE.TXT", "x").str(), refused},
      {"over a file beside the target",
       archive_bytes(4).file("D:\\K\\OK\\A.TXT", "a").file("D:\\K\\... \\KEEP\\OLD.TXT", "x").str(),
       refused},
      {"to another drive", archive_bytes(4).file("D:\\K\\D:\\ON-D.TXT", "x").str(), refused},
      {"through forward slashes", archive_bytes(4).file("D:\\K\\A/../../IN.EXE", "x").str(),
       refused},
      // A climbing prefix within the strip length is dropped with the prefix.
      {"climbing prefix stripped", archive_bytes(9).file("..\\..\\..\\IN.EXE", "x").str(),
       archive::status::success},
  };
  for (const auto& c : cases)
    check(c);
}

} // namespace
