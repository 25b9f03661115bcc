// The POSIX backend's process calls: profile, DOS times, programs and own path.
#include "sys/platform.h"
#include "tests/support/platform_probe.h"
#include "tests/support/temp_drive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using velmora_test::backend;
using velmora_test::scoped_env;
using velmora_test::temp_drive;

std::string profile(const char* section, const char* key, std::uint32_t size = 64) {
  std::string out(size, '\x7F');
  const std::uint32_t n = backend().profile_string(section, key, "(default)", out.data(), size);
  EXPECT_EQ(n, std::string(out.c_str()).size());
  return out.c_str();
}

void write_file(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

constexpr const char* sample_profile = "\xEF\xBB\xBF; a comment\r\n"
                                       "# another = comment\n"
                                       "Stray=before any section\n"
                                       "[Other]\n"
                                       "Background=wrong section\n"
                                       "  [ Colors ]  \n"
                                       "\tBackGround \t=  \"blue sky\"  \n"
                                       "Single='x'\n"
                                       "Mixed=\"a'\n"
                                       "Empty=\n"
                                       "Name=K\xC3\xA4rt\n"
                                       "Twice=first\n"
                                       "Twice=second\n"
                                       "[colors]\n"
                                       "Later=second section\n";

TEST(PosixProfile, LooksUpKeysAsWindowsDoes) {
  temp_drive drive;
  const fs::path file = drive.root() / "win.ini";
  write_file(file, sample_profile);
  scoped_env named("VELMORA_PROFILE", file.c_str());

  EXPECT_EQ(profile("COLORS", "background"), "blue sky");
  EXPECT_EQ(profile("colors", "single"), "x");
  EXPECT_EQ(profile("colors", "Mixed"), "\"a'");
  EXPECT_EQ(profile("colors", "Empty"), "");
  EXPECT_EQ(profile("colors", "name"), "K\xE4rt");
  EXPECT_EQ(profile("colors", "twice"), "first");
  EXPECT_EQ(profile("colors", "later"), "(default)"); // only the first [colors] counts
  EXPECT_EQ(profile("other", "background"), "wrong section");
  EXPECT_EQ(profile("colors", "stray"), "(default)");
  EXPECT_EQ(profile("colors", "missing"), "(default)");
  EXPECT_EQ(profile("missing", "background"), "(default)");
  EXPECT_EQ(profile("colors", "background", 4), "blu");

  char none[1] = {'x'};
  EXPECT_EQ(backend().profile_string("colors", "background", "", none, 0), 0u);
  EXPECT_EQ(none[0], 'x');
}

TEST(PosixProfile, FindsTheFileByTheEnvironment) {
  temp_drive drive;
  const fs::path config = drive.root() / "config";
  const fs::path home = drive.root() / "home";
  write_file(config / "velmora" / "win.ini", "[colors]\nwho=config\n");
  write_file(home / ".config" / "velmora" / "win.ini", "[colors]\nwho=home\n");

  scoped_env named("VELMORA_PROFILE", nullptr);
  scoped_env home_env("HOME", home.c_str());
  {
    scoped_env xdg("XDG_CONFIG_HOME", config.c_str());
    EXPECT_EQ(profile("colors", "who"), "config");
  }
  {
    scoped_env xdg("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(profile("colors", "who"), "home");
  }
  {
    scoped_env missing("VELMORA_PROFILE", (drive.root() / "none.ini").c_str());
    EXPECT_EQ(profile("colors", "who"), "(default)");
  }
}

// Puts the process in time zone zone, then back.
class scoped_time_zone {
public:
  explicit scoped_time_zone(const char* zone) : zone_(std::in_place, "TZ", zone) { tzset(); }
  ~scoped_time_zone() {
    zone_.reset();
    tzset();
  }
  scoped_time_zone(const scoped_time_zone&) = delete;
  scoped_time_zone& operator=(const scoped_time_zone&) = delete;

private:
  std::optional<scoped_env> zone_;
};

std::uint64_t file_time(std::int64_t unix_seconds) {
  return static_cast<std::uint64_t>(unix_seconds) * 10000000 + 116444736000000000ull;
}

TEST(PosixProcess, FileTimeToLocalDosDateAndTime) {
  auto& p = backend();
  std::uint16_t date = 0, time = 0;
  {
    scoped_time_zone utc("UTC0");
    ASSERT_TRUE(p.file_time_to_local_dos(file_time(315532800), &date, &time)); // 1980-01-01
    EXPECT_EQ(date, (1 << 5) | 1);
    EXPECT_EQ(time, 0);
    ASSERT_TRUE(p.file_time_to_local_dos(file_time(1709214358) + 9999999, &date, &time));
    EXPECT_EQ(date, (44 << 9) | (2 << 5) | 29);         // 2024-02-29
    EXPECT_EQ(time, (13 << 11) | (45 << 5) | (58 / 2)); // 13:45:58.99, by two seconds
    ASSERT_TRUE(p.file_time_to_local_dos(file_time(4354819199), &date, &time)); // 2107 ends
    EXPECT_EQ(date, (127 << 9) | (12 << 5) | 31);
    EXPECT_FALSE(p.file_time_to_local_dos(file_time(4354819200), &date, &time));
    EXPECT_FALSE(p.file_time_to_local_dos(file_time(315532799), &date, &time));
    EXPECT_FALSE(p.file_time_to_local_dos(0, &date, &time)); // 1601
  }
  {
    scoped_time_zone east("UTC-2"); // two hours ahead of UTC
    ASSERT_TRUE(p.file_time_to_local_dos(file_time(315532800), &date, &time));
    EXPECT_EQ(date, (1 << 5) | 1);
    EXPECT_EQ(time, 2 << 11);
    // Still 1979 in UTC, but 1980 here.
    EXPECT_TRUE(p.file_time_to_local_dos(file_time(315532799), &date, &time));
  }
}

bool wait_for_file(const fs::path& path, std::chrono::seconds limit) {
  const auto give_up = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < give_up) {
    if (!temp_drive::read(path).empty())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST(PosixProcess, WinExecStartsAProgramLackingItsExecuteBit) {
  temp_drive drive;
  const fs::path script =
      drive.write("App/QXW32.EXE", "#!/bin/sh\necho \"$0\" > \"$(dirname \"$0\")/out.txt\"\n");
  ASSERT_EQ(::chmod(script.c_str(), 0644), 0);

  EXPECT_GT(backend().win_exec("C:\\app\\qxw32.exe", sys::show_normal), 31u);
  EXPECT_TRUE(fs::status(script).permissions() == (fs::perms(0644) | fs::perms::owner_exec));
  // Nothing is left to reap: the program runs as a grandchild.
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);

  ASSERT_TRUE(wait_for_file(drive.c() / "App" / "out.txt", std::chrono::seconds(5)));
  EXPECT_EQ(temp_drive::read(drive.c() / "App" / "out.txt"), script.string() + "\n");
}

// A missing directory or drive is no path; a directory is no program.
TEST(PosixProcess, WinExecFailures) {
  temp_drive drive;
  fs::create_directory(drive.c() / "dir");
  auto& p = backend();
  EXPECT_EQ(p.win_exec("C:\\nodir\\none.exe", sys::show_normal), 3u);
  EXPECT_EQ(p.win_exec("Q:\\none.exe", sys::show_normal), 3u);
  EXPECT_EQ(p.win_exec("C:\\dir", sys::show_normal), 11u);
}

TEST(PosixProcess, ModuleFileNameInDriveForm) {
  const fs::path self = fs::read_symlink("/proc/self/exe");
  auto& p = backend();
  char out[4096];
  {
    scoped_env drives("VELMORA_DRIVES", "Z=/");
    const std::uint32_t n = p.module_file_name(out, sizeof out);
    ASSERT_GT(n, 3u);
    EXPECT_EQ(std::string(out, 3), "Z:\\");
    EXPECT_EQ(std::string(out).size(), n);
    char back[4096];
    ASSERT_TRUE(p.drive_to_host_path(out, back, sizeof back));
    EXPECT_EQ(fs::path(back), self);
  }
  {
    const std::string map = "Z=/;M=" + self.parent_path().string();
    scoped_env drives("VELMORA_DRIVES", map.c_str());
    ASSERT_GT(p.module_file_name(out, sizeof out), 0u);
    EXPECT_EQ(std::string(out), "M:\\" + self.filename().string());
  }
  {
    scoped_env drives("VELMORA_DRIVES", "");
    out[0] = 'x';
    EXPECT_EQ(p.module_file_name(out, sizeof out), 0u);
    EXPECT_STREQ(out, "");
  }
}

} // namespace
