// Test fixture support: a private drive map over fresh temporary directories.
#pragma once

#include <filesystem>
#include <string>

namespace velmora_test {

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

// A temporary directory tree with drives C: and D: mapped into it through
// VELMORA_DRIVES (C: is root()/c, D: is root()/d); everything is removed and the
// previous map restored on destruction.
class temp_drive {
public:
  temp_drive();
  ~temp_drive();
  temp_drive(const temp_drive&) = delete;
  temp_drive& operator=(const temp_drive&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path c() const { return root_ / "c"; }
  std::filesystem::path d() const { return root_ / "d"; }

  // Writes bytes into a native file (parents created), returns its path.
  std::filesystem::path write(const std::filesystem::path& relative_to_c,
                              const std::string& bytes) const;
  // Reads a whole native file; "" when missing.
  static std::string read(const std::filesystem::path& native);

private:
  std::filesystem::path root_;
  scoped_env drives_;
};

} // namespace velmora_test
