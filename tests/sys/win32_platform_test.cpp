// What only the Win32 backend does: device names, 8.3 aliases, local times
// by Windows, programs started by Windows, the system drive and Windows paths.
#include "sys/platform/win32/win32_api.h"

#include "sys/platform.h"
#include "tests/support/platform_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using velmora_test::backend;

// Set in the environment of the copy of this program that the win_exec test
// starts: the copy writes "started" to the file it names and ends at once.
constexpr const char* probe_mark_variable = "VELMORA_WIN32_TEST_PROBE_MARK";

[[maybe_unused]] const bool started_as_probe = [] {
  if (const char* mark = std::getenv(probe_mark_variable)) {
    std::ofstream(mark) << "started";
    std::exit(0);
  }
  return false;
}();

constexpr std::uint32_t share_all = sys::share_read | sys::share_write;

// A fresh directory under the temporary directory, removed with what it holds.
class temp_dir {
public:
  temp_dir() {
    std::random_device rd;
    std::mt19937_64 rng(rd());
    for (;;) {
      std::ostringstream name;
      name << "velmora-win32-" << std::hex << rng();
      path_ = fs::temp_directory_path() / name.str();
      if (fs::create_directory(path_))
        return;
    }
  }
  ~temp_dir() {
    // A program started from here may still hold its file for a moment.
    for (int attempt = 0; attempt < 50; ++attempt) {
      std::error_code ec;
      fs::remove_all(path_, ec);
      if (!ec)
        return;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;

  const fs::path& path() const { return path_; }
  // The drive-form path of name inside.
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
  fs::path path_;
};

void write_file(const fs::path& p, const std::string& contents) {
  std::ofstream(p, std::ios::binary) << contents;
}

// --- files -----------------------------------------------------------------

TEST(Win32File, DeviceNamesAreRefused) {
  temp_dir dir;
  // In any directory NUL names the null device, not a file.
  EXPECT_EQ(backend().create_file((dir / "NUL").c_str(), sys::access_write, share_all,
                                  sys::disposition::create_always, 0),
            sys::invalid_handle_value);
  EXPECT_EQ(backend().last_error(), sys::error::access_denied);
  EXPECT_EQ(backend().open_write_stream((dir / "NUL").c_str()), nullptr);
}

// --- listings --------------------------------------------------------------

TEST(Win32Find, LongNamesArriveWholeAndAliasesFitTheirField) {
  temp_dir dir;
  const std::string name = "a rather long name for a file.text";
  write_file(dir.path() / name, "");
  const auto found = velmora_test::listing(dir / "*.text");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].long_name, name);
  // Whether an alias exists depends on the volume (8.3 names may be off).
  EXPECT_LT(strnlen(found[0].short_name, sizeof found[0].short_name), sizeof found[0].short_name);
}

// --- times -----------------------------------------------------------------

std::uint64_t utc_file_time_of_local(WORD year, WORD month, WORD day, WORD hour, WORD minute,
                                     WORD second) {
  WORD date = static_cast<WORD>(((year - 1980) << 9) | (month << 5) | day);
  WORD time = static_cast<WORD>((hour << 11) | (minute << 5) | (second / 2));
  FILETIME local{};
  FILETIME utc{};
  EXPECT_TRUE(::DosDateTimeToFileTime(date, time, &local));
  EXPECT_TRUE(::LocalFileTimeToFileTime(&local, &utc));
  return (std::uint64_t{utc.dwHighDateTime} << 32) | utc.dwLowDateTime;
}

TEST(Win32Time, ALocalTimeComesBackAsItsDosDateAndTime) {
  const std::uint64_t t = utc_file_time_of_local(2021, 6, 15, 13, 45, 30);
  std::uint16_t date = 0;
  std::uint16_t time = 0;
  ASSERT_TRUE(backend().file_time_to_local_dos(t, &date, &time));
  EXPECT_EQ(date, ((2021 - 1980) << 9) | (6 << 5) | 15);
  EXPECT_EQ(time, (13 << 11) | (45 << 5) | 15);
  // An odd second is rounded down to the two-second step.
  ASSERT_TRUE(backend().file_time_to_local_dos(t + 10000000, &date, &time));
  EXPECT_EQ(time, (13 << 11) | (45 << 5) | 15);
}

TEST(Win32Time, OnlyTheYearsADosDateHoldsAreTaken) {
  std::uint16_t first_date = 0;
  std::uint16_t last_date = 0;
  std::uint16_t last_time = 0;
  std::uint16_t unused = 0;
  ASSERT_TRUE(backend().file_time_to_local_dos(utc_file_time_of_local(1980, 1, 1, 0, 0, 0),
                                               &first_date, &unused));
  EXPECT_EQ(first_date, (1 << 5) | 1);
  ASSERT_TRUE(backend().file_time_to_local_dos(utc_file_time_of_local(2107, 12, 31, 23, 59, 58),
                                               &last_date, &last_time));
  EXPECT_EQ(last_date, (127 << 9) | (12 << 5) | 31);
  EXPECT_EQ(last_time, (23 << 11) | (59 << 5) | 29);

  SYSTEMTIME st{};
  st.wMonth = 7;
  st.wDay = 1;
  FILETIME ft{};
  std::uint16_t date = 0;
  std::uint16_t time = 0;
  for (WORD year : {WORD{1979}, WORD{2108}}) {
    st.wYear = year;
    ASSERT_TRUE(::SystemTimeToFileTime(&st, &ft));
    const std::uint64_t t = (std::uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
    EXPECT_FALSE(backend().file_time_to_local_dos(t, &date, &time)) << year;
  }
}

// --- the process -----------------------------------------------------------

TEST(Win32Process, ModuleFileNameIsTheProgramFile) {
  char full[MAX_PATH + 1] = {};
  const std::uint32_t length = backend().module_file_name(full, sizeof full);
  ASSERT_GT(length, 4u);
  EXPECT_EQ(std::strlen(full), length);
  EXPECT_EQ(full[1], ':');
  EXPECT_EQ(full[2], '\\');
  EXPECT_EQ(_stricmp(full + length - 4, ".exe"), 0);
  EXPECT_TRUE(fs::is_regular_file(full));
}

TEST(Win32Process, WinExecStartsAProgramWhosePathHasABlank) {
  temp_dir dir;
  char self[MAX_PATH + 1] = {};
  ASSERT_GT(backend().module_file_name(self, sizeof self), 0u);
  fs::create_directory(dir.path() / "with blank");
  fs::copy_file(self, dir.path() / "with blank" / "probe.exe");
  // Unquoted, Windows would take this one: the text up to the blank names it.
  write_file(dir.path() / "with.exe", "not a program");
  const std::string mark = dir / "mark.txt";
  ASSERT_TRUE(::SetEnvironmentVariableA(probe_mark_variable, mark.c_str()));
  const std::uint32_t result =
      backend().win_exec((dir / "with blank\\probe.exe").c_str(), sys::show_normal);
  ::SetEnvironmentVariableA(probe_mark_variable, nullptr);
  EXPECT_GT(result, 31u);
  bool started = false;
  for (int i = 0; i < 200 && !started; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream in(mark);
    std::string text;
    started = (in >> text) && text == "started";
  }
  EXPECT_TRUE(started);
}

// --- drives and host paths -------------------------------------------------

TEST(Win32Drive, SystemDriveIsFixedAndAnUnusedLetterHasNoRoot) {
  EXPECT_EQ(backend().get_drive_type("C:\\"), sys::drive_type::fixed);
  std::uint32_t per_cluster = 0, sector = 0, free_clusters = 0, total = 0;
  ASSERT_TRUE(backend().get_disk_free_space("C:\\", &per_cluster, &sector, &free_clusters, &total));
  EXPECT_GT(per_cluster, 0u);
  EXPECT_GT(sector, 0u);
  EXPECT_GT(total, 0u);

  const DWORD used = ::GetLogicalDrives();
  for (char letter = 'B'; letter <= 'Y'; ++letter) {
    if (used & (1u << (letter - 'A')))
      continue;
    const char root[] = {letter, ':', '\\', '\0'};
    EXPECT_EQ(backend().get_drive_type(root), sys::drive_type::no_root_dir) << root;
    EXPECT_FALSE(backend().get_disk_free_space(root, &per_cluster, &sector, &free_clusters, &total))
        << root;
    break;
  }
}

TEST(Win32Path, HostPathsBecomeFullDrivePaths) {
  char out[MAX_PATH];
  ASSERT_TRUE(backend().host_to_drive_path("C:/One/Two/../Three/", out, sizeof out));
  EXPECT_STREQ(out, "C:\\One\\Three\\");
  ASSERT_TRUE(backend().host_to_drive_path("C:\\Kit\\***", out, sizeof out));
  EXPECT_STREQ(out, "C:\\Kit\\***");
  ASSERT_TRUE(backend().host_to_drive_path("C:\\Kit\\*.*", out, sizeof out));
  EXPECT_STREQ(out, "C:\\Kit\\*.*");

  char cwd[MAX_PATH];
  const DWORD n = ::GetCurrentDirectoryA(sizeof cwd, cwd);
  ASSERT_GT(n, 0u);
  std::string expected(cwd, n);
  if (expected.back() != '\\')
    expected += '\\';
  ASSERT_TRUE(backend().host_to_drive_path("sub\\", out, sizeof out));
  EXPECT_EQ(std::string(out), expected + "sub\\");

  char small[8];
  EXPECT_FALSE(backend().host_to_drive_path("C:\\a\\longer\\path", small, sizeof small));
  EXPECT_STREQ(small, "");
  EXPECT_FALSE(backend().host_to_drive_path("\\\\server\\share\\x", out, sizeof out));
  ASSERT_TRUE(backend().host_to_drive_path("C:\\K\xC3\x96K", out, sizeof out));
  EXPECT_STREQ(out, "C:\\K\xD6K");
  EXPECT_FALSE(backend().host_to_drive_path("C:\\\xD0\x96", out, sizeof out));

  EXPECT_TRUE(backend().drive_to_host_path("C:\\A\\K\xD6K", out, sizeof out));
  EXPECT_STREQ(out, "C:\\A\\K\xC3\x96K");
  EXPECT_FALSE(backend().drive_to_host_path("C:\\a\\longer\\path", small, sizeof small));
}

} // namespace
