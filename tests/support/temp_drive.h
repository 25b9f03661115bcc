// Test fixture support: a private drive map over fresh temporary directories.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace velmora_test {

// A native path from UTF-8 text on every platform (Windows would otherwise
// read a narrow string in its ANSI code page).
std::filesystem::path utf8_path(const std::string& utf8);

// The short (8.3) name the installed platform keeps for the entry at a
// drive-form path; "" where it keeps none (POSIX never does; Windows does for
// names that are no valid 8.3 names, like "a_rather_long_name.text").
std::string platform_short_name(const std::string& drive_path);

// Skips the current test where the platform keeps a short name for the entry
// at drive_path: such tests are of long names standing in for short ones.
#define VELMORA_SKIP_IF_SHORT_NAME(drive_path)                                                     \
  if (const std::string velmora_short = velmora_test::platform_short_name(drive_path);             \
      !velmora_short.empty())                                                                      \
  GTEST_SKIP() << "the platform keeps the short name " << velmora_short << " for it"

// Sets an environment variable for the life of the object and restores the
// previous value (or its absence) afterwards.
class scoped_env {
public:
  scoped_env(const char* name, const char* value); // value nullptr: unset
  ~scoped_env();
  scoped_env(const scoped_env&) = delete;
  scoped_env& operator=(const scoped_env&) = delete;

private:
  std::string name_;
  std::string old_value_;
  bool had_value_ = false;
};

// Makes drive-form paths C:\... and D:\... reach two directories for the life
// of the object; one implementation per platform (drive_map_posix.cpp,
// drive_map_win32.cpp).
class drive_map {
public:
  virtual ~drive_map() = default;
};
std::unique_ptr<drive_map> map_test_drives(const std::filesystem::path& c,
                                           const std::filesystem::path& d);

// A temporary directory tree with drives C: and D: mapped into it (C: is
// root()/c, D: is root()/d): on POSIX through VELMORA_DRIVES, on Windows through
// two spare drive letters that the installed platform shows as C: and D:.
// Everything is removed and the previous map restored on destruction.
class temp_drive {
public:
  temp_drive();
  ~temp_drive();
  temp_drive(const temp_drive&) = delete;
  temp_drive& operator=(const temp_drive&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path c() const { return root_ / "c"; }
  std::filesystem::path d() const { return root_ / "d"; }

  // Writes bytes into a native file (parents created), returns its path. The
  // relative path is UTF-8 with '/' between components.
  std::filesystem::path write(const std::string& relative_to_c, const std::string& bytes) const;
  // Reads a whole native file; "" when missing.
  static std::string read(const std::filesystem::path& native);

private:
  std::filesystem::path root_;
  std::unique_ptr<drive_map> drives_;
};

} // namespace velmora_test
