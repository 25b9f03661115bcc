// The POSIX drive map and the translation between drive-form and native paths.
#include "sys/platform.h"
#include "tests/support/platform_probe.h"
#include "tests/support/temp_drive.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using velmora_test::backend;
using velmora_test::scoped_env;
using velmora_test::temp_drive;

// The native path of a drive-form path, or "<fails: N>" with the error.
std::string host_of(const std::string& drive_path) {
  char out[4096];
  if (!backend().drive_to_host_path(drive_path.c_str(), out, sizeof out))
    return "<fails: " + std::to_string(backend().last_error()) + ">";
  return out;
}

// The drive form of a native path, or "<fails: N>" with the error.
std::string drive_of(const std::string& host_path, std::uint32_t size = 4096) {
  std::string out(size, '\0');
  if (!backend().host_to_drive_path(host_path.c_str(), out.data(), size))
    return "<fails: " + std::to_string(backend().last_error()) + ">";
  return out.c_str();
}

std::string fails(std::uint32_t code) {
  return "<fails: " + std::to_string(code) + ">";
}

// Changes the working directory for the life of the object.
class scoped_cwd {
public:
  explicit scoped_cwd(const fs::path& dir) : old_(fs::current_path()) { fs::current_path(dir); }
  ~scoped_cwd() { fs::current_path(old_); }
  scoped_cwd(const scoped_cwd&) = delete;
  scoped_cwd& operator=(const scoped_cwd&) = delete;

private:
  fs::path old_;
};

TEST(PosixPathDriveMap, UnsetMapsHomeAsCAndRootAsZ) {
  temp_drive drive;
  scoped_env home("HOME", drive.c().c_str());
  scoped_env unset("VELMORA_DRIVES", nullptr);
  EXPECT_EQ(host_of("C:\\"), drive.c().string());
  EXPECT_EQ(host_of("z:\\"), "/");
  EXPECT_EQ(host_of("Z:\\tmp"), "/tmp");
  EXPECT_EQ(host_of("D:\\x"), fails(sys::error::path_not_found));
}

TEST(PosixPathDriveMap, EmptyMapHasNoDrives) {
  scoped_env empty("VELMORA_DRIVES", "");
  EXPECT_EQ(host_of("C:\\"), fails(sys::error::path_not_found));
  EXPECT_EQ(host_of("Z:\\"), fails(sys::error::path_not_found));
  EXPECT_EQ(backend().get_drive_type("C:\\"), sys::drive_type::no_root_dir);
}

TEST(PosixPathDriveMap, SkipsMalformedEntriesAndTrailingSlashes) {
  temp_drive drive;
  const std::string root = drive.root().string();
  const std::string map =
      "C=relative/dir;;junk;E=;FF=/x;d=" + root + "/d//;Q=" + root + "/c;Q=/elsewhere";
  scoped_env drives("VELMORA_DRIVES", map.c_str());
  EXPECT_EQ(host_of("C:\\x"), fails(sys::error::path_not_found));
  EXPECT_EQ(host_of("E:\\x"), fails(sys::error::path_not_found));
  EXPECT_EQ(host_of("F:\\x"), fails(sys::error::path_not_found));
  EXPECT_EQ(host_of("D:\\x"), root + "/d/x");
  EXPECT_EQ(host_of("q:\\x"), root + "/c/x"); // the first entry of a letter counts
}

TEST(PosixPathDriveMap, DriveTypeAndFreeSpace) {
  temp_drive drive;
  const std::string map = "C=" + drive.c().string() + ";M=" + drive.root().string() + "/missing";
  scoped_env drives("VELMORA_DRIVES", map.c_str());
  auto& p = backend();
  EXPECT_EQ(p.get_drive_type("M:\\"), sys::drive_type::no_root_dir); // mapped, not there
  EXPECT_EQ(p.get_drive_type("E:\\"), sys::drive_type::no_root_dir);

  std::uint32_t per_cluster = 0, sector = 0, free_clusters = 0, total = 0;
  ASSERT_TRUE(p.get_disk_free_space("c:\\", &per_cluster, &sector, &free_clusters, &total));
  struct statvfs fs {};
  ASSERT_EQ(statvfs(drive.c().c_str(), &fs), 0);
  if (fs.f_frsize % 512 == 0) {
    EXPECT_EQ(sector, 512u);
    EXPECT_EQ(std::uint64_t{sector} * per_cluster, fs.f_frsize);
  }

  EXPECT_FALSE(p.get_disk_free_space("E:\\", &per_cluster, &sector, &free_clusters, &total));
  EXPECT_EQ(p.last_error(), sys::error::path_not_found);
}

TEST(PosixPathResolve, MatchesExistingComponentsIgnoringCase) {
  temp_drive drive;
  drive.write("Dir/Sub/file.txt", "x");
  const std::string c = drive.c().string();
  EXPECT_EQ(host_of("C:\\DIR\\sub\\FILE.TXT"), c + "/Dir/Sub/file.txt");
  EXPECT_EQ(host_of("c:/dir//./SUB/"), c + "/Dir/Sub");
  // From the first missing component on, names are taken as given.
  EXPECT_EQ(host_of("C:\\dir\\New\\SUB\\x.TXT"), c + "/Dir/New/SUB/x.TXT");
  EXPECT_EQ(host_of("C:"), c);
  EXPECT_EQ(host_of("C:\\"), c);
}

TEST(PosixPathResolve, ExactNameWinsThenSmallestByteOrder) {
  temp_drive drive;
  drive.write("Readme.txt", "mixed");
  drive.write("README.TXT", "upper");
  const std::string c = drive.c().string();
  EXPECT_EQ(host_of("C:\\Readme.txt"), c + "/Readme.txt");
  EXPECT_EQ(host_of("C:\\README.TXT"), c + "/README.TXT");
  EXPECT_EQ(host_of("C:\\readme.txt"), c + "/README.TXT"); // 'E' sorts before 'e'
}

// The content of the file a name finds in C:\<dir> (each file holds its own
// name), through a path or below the directory; "-" when none is found.
std::string found(bool below, const std::string& name, const std::string& dir = "Dir") {
  const std::string base = "C:\\" + dir;
  const sys::native_handle h =
      below ? backend().create_file_below(base.c_str(), name.c_str(), sys::access_read,
                                          sys::share_read, sys::disposition::open_existing, 0)
            : backend().create_file((base + "\\" + name).c_str(), sys::access_read, sys::share_read,
                                    sys::disposition::open_existing, 0);
  if (h == sys::invalid_handle_value)
    return "-";
  char text[64] = {};
  std::uint32_t n = 0;
  backend().read_file(h, text, sizeof text - 1, &n);
  backend().close_handle(h);
  return text;
}

// Names are remembered per directory between lookups, and a change made
// behind the backend's back is seen at the next lookup: by the directory's
// modification time, or, when that is set back (as tar and rsync do), by its
// change time.
TEST(PosixPathResolve, RemembersNamesUntilTheDirectoryChanges) {
  struct change_case {
    const char* what;
    std::function<void(const fs::path&)> change;
    const char* lookup;
    const char* expected;
  };
  const auto put = [](const fs::path& file) { std::ofstream(file) << file.filename().string(); };
  const change_case cases[] = {
      {"a name equal but for case", [&](const fs::path& d) { put(d / "DATA.txt"); }, "DATA.TXT",
       "DATA.txt"},
      {"renamed", [](const fs::path& d) { fs::rename(d / "Data.txt", d / "Other.txt"); },
       "DATA.TXT", "-"},
      {"renamed, new name", [](const fs::path& d) { fs::rename(d / "Data.txt", d / "Other.txt"); },
       "OTHER.TXT", "Data.txt"},
      {"removed", [](const fs::path& d) { fs::remove(d / "Data.txt"); }, "DATA.TXT", "-"},
      {"added", [&](const fs::path& d) { put(d / "new.txt"); }, "NEW.TXT", "new.txt"},
  };
  temp_drive drive;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const timespec long_ago[2] = {{now.tv_sec - 3600, 0}, {now.tv_sec - 3600, 0}};
  const auto dir_of = [&](int i) { return "Dir" + std::to_string(i); };
  constexpr int variants = 4; // path or below, time moved or set back
  const int count = static_cast<int>(std::size(cases)) * variants;
  for (int i = 0; i < count; ++i) {
    drive.write(dir_of(i) + "/Data.txt", "Data.txt");
    ASSERT_EQ(::utimensat(AT_FDCWD, (drive.c() / dir_of(i)).c_str(), long_ago, 0), 0);
  }
  // Names read within a tick of a directory's last change are read again at
  // the next lookup anyway; these are to be trusted.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (int i = 0; i < count; ++i) {
    const auto& c = cases[i / variants];
    const bool below = i % 2 == 1;
    const bool set_back = i % 4 >= 2;
    SCOPED_TRACE(std::string(c.what) + (below ? ", below" : ", path") +
                 (set_back ? ", time set back" : ""));
    const fs::path dir = drive.c() / dir_of(i);
    ASSERT_EQ(found(below, "DATA.TXT", dir_of(i)), "Data.txt");
    c.change(dir);
    if (set_back) {
      ASSERT_EQ(::utimensat(AT_FDCWD, dir.c_str(), long_ago, 0), 0);
    }
    EXPECT_EQ(found(below, c.lookup, dir_of(i)), c.expected);
  }
}

// The directory of the last open or create is held for the next one, but
// only while its path still leads to it: a directory moved away and another
// made in its place gets the next file.
TEST(PosixPathResolve, AHeldDirectoryMovedAwayIsNotUsed) {
  for (const bool below : {false, true}) {
    SCOPED_TRACE(below ? "below" : "path");
    temp_drive drive;
    drive.write("Dir/Data.txt", "first");
    ASSERT_EQ(found(below, "DATA.TXT"), "first");
    fs::rename(drive.c() / "Dir", drive.c() / "Old");
    drive.write("Dir/Data.txt", "second");
    EXPECT_EQ(found(below, "DATA.TXT"), "second");
    fs::remove_all(drive.c() / "Dir");
    EXPECT_EQ(found(below, "DATA.TXT"), "-");
  }
}

// Below a base, the held directory serves only while the components below
// the base still lead to it as directories: moved out of the base and
// reached again through a link put in its place (or in place of a directory
// above it), it gets no further file, as a walk below the base would follow
// no link.
TEST(PosixPathResolve, AHeldDirectoryReachedThroughALinkIsNotUsed) {
  struct link_case {
    const char* what;
    const char* moved;  // below C:\Dir, replaced by a link to its new place
    const char* lookup; // below C:\Dir
  };
  const link_case cases[] = {
      {"the held directory", "Sub", "SUB\\DATA.TXT"},
      {"a directory above it", "Sub", "SUB\\DEEP\\DATA.TXT"},
      {"the held directory, deeper", "Sub/Deep", "SUB\\DEEP\\DATA.TXT"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    temp_drive drive;
    drive.write("Dir/Sub/Data.txt", "Data.txt");
    drive.write("Dir/Sub/Deep/Data.txt", "Data.txt");
    ASSERT_EQ(found(true, c.lookup), "Data.txt");
    const fs::path away = drive.c() / "Away";
    fs::create_directories(away);
    fs::rename(drive.c() / "Dir" / c.moved, away / "Moved");
    fs::create_directory_symlink(away / "Moved", drive.c() / "Dir" / c.moved);
    EXPECT_EQ(found(true, c.lookup), "-");
  }
}

TEST(PosixPathResolve, Windows1252NamesLeadToUtf8HostPaths) {
  temp_drive drive;
  drive.write("K\xC3\x84RT.TXT", "");
  EXPECT_EQ(host_of("C:\\k\xe4rt.txt"), drive.c().string() + "/K\xC3\x84RT.TXT");
}

TEST(PosixPathResolve, DotDotNeverLeavesTheDrive) {
  temp_drive drive;
  fs::create_directories(drive.c() / "a" / "b");
  const std::string c = drive.c().string();
  EXPECT_EQ(host_of("C:\\a\\b\\..\\x"), c + "/a/x");
  EXPECT_EQ(host_of("C:\\a\\..\\..\\..\\x"), c + "/x");
  EXPECT_EQ(host_of("C:\\..\\d"), c + "/d");
  EXPECT_EQ(host_of("C:\\new\\..\\A"), c + "/a"); // back from a missing component
}

TEST(PosixPathResolve, RefusesNamesWindowsRefuses) {
  temp_drive drive;
  for (const char* bad : {"C:\\a<b", "C:\\a>b", "C:\\a:b", "C:\\a\"b", "C:\\a|b", "C:\\a?b",
                          "C:\\a*b\\c", "C:\\tab\there", "C:\\x\x01"}) {
    EXPECT_EQ(host_of(bad), fails(sys::error::invalid_name)) << bad;
  }
  auto& p = backend();
  EXPECT_EQ(p.create_file("C:\\a*b", sys::access_write, 0, sys::disposition::create_new, 0),
            sys::invalid_handle_value);
  EXPECT_EQ(p.last_error(), sys::error::invalid_name);
}

TEST(PosixPathResolve, RelativeAndRootedPathsFollowTheWorkingDirectory) {
  temp_drive drive;
  fs::create_directories(drive.c() / "work");
  drive.write("work/ZipIn.txt", "x");
  const std::string c = drive.c().string();
  {
    scoped_cwd cwd(drive.c() / "work");
    EXPECT_EQ(host_of("ZIPIN.TXT"), c + "/work/ZipIn.txt");
    EXPECT_EQ(host_of("..\\work\\zipin.txt"), c + "/work/ZipIn.txt");
    EXPECT_EQ(host_of("\\x"), c + "/x"); // the root of the drive holding the cwd
    EXPECT_EQ(host_of("\\\\server\\share"), fails(sys::error::path_not_found));
  }
  {
    scoped_cwd cwd(drive.root()); // held by no drive
    EXPECT_EQ(host_of("\\x"), fails(sys::error::path_not_found));
  }
}

TEST(PosixPathHostToDrive, LongestMappedDirectoryWins) {
  temp_drive drive;
  const std::string root = drive.root().string();
  const std::string map = "C=" + root + ";D=" + root + "/d";
  scoped_env drives("VELMORA_DRIVES", map.c_str());
  EXPECT_EQ(drive_of(root + "/d/x/y"), "D:\\x\\y");
  EXPECT_EQ(drive_of(root + "/d"), "D:\\");
  EXPECT_EQ(drive_of(root + "/d/"), "D:\\");
  EXPECT_EQ(drive_of(root + "/dd/x"), "C:\\dd\\x"); // whole components only
  EXPECT_EQ(drive_of(root + "/c/./x/../y//z"), "C:\\c\\y\\z");
  EXPECT_EQ(drive_of("/nowhere/else"), fails(sys::error::path_not_found));
}

TEST(PosixPathHostToDrive, KeepsTrailingSeparatorAndWildcards) {
  temp_drive drive;
  const std::string c = drive.c().string();
  EXPECT_EQ(drive_of(c + "/QXA0000A/"), "C:\\QXA0000A\\");
  EXPECT_EQ(drive_of(c + "/dir/***"), "C:\\dir\\***");
  EXPECT_EQ(drive_of("***"), "***");
  EXPECT_EQ(drive_of("*.*"), "*.*");
  EXPECT_EQ(drive_of(c + "/K\xC3\x84RT"), "C:\\K\xC4RT");
  EXPECT_EQ(drive_of(c + "/\xE6\x97\xA5"), fails(sys::error::invalid_name)); // no 1252 form
  {
    scoped_cwd cwd(drive.c());
    EXPECT_EQ(drive_of("sub/../file"), "C:\\file");
    EXPECT_EQ(drive_of("."), "C:\\");
  }
}

TEST(PosixPathHostToDrive, FailsWhenTheBufferIsTooSmall) {
  temp_drive drive;
  const std::string c = drive.c().string();
  EXPECT_EQ(drive_of(c + "/abc", 7), "C:\\abc");
  EXPECT_EQ(drive_of(c + "/abc", 6), fails(sys::error::filename_too_long));
  char small[4];
  EXPECT_FALSE(backend().drive_to_host_path("C:\\abc", small, sizeof small));
}

} // namespace
