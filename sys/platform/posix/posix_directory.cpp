// Directories: creating, removing, and listing them with Windows' wildcards.
#include "sys/cp1252.h"
#include "sys/platform/posix/posix_names.h"
#include "sys/platform/posix/posix_path.h"
#include "sys/platform/posix/posix_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <tuple>
#include <utility>
#include <vector>

namespace sys::posix {

namespace {

constexpr mode_t new_directory_mode = 0777;

// Calls change (mkdir or rmdir) on the native path of the drive path path.
// ret: success | invalid_parameter for no path | the resolver's code | the
// code of change's errno, read as a failure of op.
template <class F> std::uint32_t change_directory(const char* path, failed_op op, F&& change) {
  if (!path)
    return error::invalid_parameter;
  std::string native;
  if (const auto code = resolve_drive_path(path, native); code != error::success)
    return code;
  if (change(native.c_str()) != 0)
    return error_from_errno(errno, op, native);
  return error::success;
}

// Matches name against pattern, both upper-cased: '*' any run, '?' one byte.
bool wildcard_match(std::string_view pattern, std::string_view name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::string_view::npos;
  std::size_t resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*')
    ++p;
  return p == pattern.size();
}

// Windows' rule on top: a pattern ending in ".*" also takes a name without a
// dot by its part before the ".*" ("README.*" lists README, "*.*" lists all).
bool name_matches(std::string_view pattern, std::string_view name) {
  if (wildcard_match(pattern, name))
    return true;
  return pattern.ends_with(".*") && name.find('.') == std::string_view::npos &&
         wildcard_match(pattern.substr(0, pattern.size() - 2), name);
}

// The listing entry of an entry named name (Windows-1252) with status st.
listed_entry entry_of(std::string_view name, const struct stat& st) {
  listed_entry entry;
  const bool directory = S_ISDIR(st.st_mode);
  entry.attributes = directory ? attribute_directory : attribute_archive;
  if (!(st.st_mode & S_IWUSR))
    entry.attributes |= attribute_read_only;
  if (!directory)
    entry.size = static_cast<std::uint64_t>(st.st_size);
  entry.last_write_time = file_time_of(st.st_mtim);
  entry.name = name;
  return entry;
}

// The find data of a listing entry.
find_data delivered(const listed_entry& entry) {
  find_data data;
  data.attributes = entry.attributes;
  data.size_high = static_cast<std::uint32_t>(entry.size >> 32);
  data.size_low = static_cast<std::uint32_t>(entry.size);
  data.last_write_time = entry.last_write_time;
  data.error = entry.error;
  const std::size_t length = std::min<std::size_t>(entry.name.size(), max_long_name_bytes - 1);
  std::memcpy(data.long_name, entry.name.data(), length);
  data.long_name[length] = '\0';
  return data;
}

// The listing order: by the names upper-cased, then as they are (names equal
// but for case), then as on disk (names equal after a lossy conversion).
bool listed_before(const listed_entry& a, const listed_entry& b) {
  const std::size_t common = std::min(a.name.size(), b.name.size());
  for (std::size_t i = 0; i < common; ++i) {
    const unsigned char x = cp1252_upper(static_cast<unsigned char>(a.name[i]));
    const unsigned char y = cp1252_upper(static_cast<unsigned char>(b.name[i]));
    if (x != y)
      return x < y;
  }
  if (a.name.size() != b.name.size())
    return a.name.size() < b.name.size();
  if (a.name != b.name)
    return a.name < b.name;
  const std::string a_native = a.native ? *a.native : cp1252_to_utf8(a.name);
  const std::string b_native = b.native ? *b.native : cp1252_to_utf8(b.name);
  return a_native < b_native;
}

// Whether the directory of status st is the directory of a mapped drive.
bool is_drive_root(const struct stat& st) {
  for (const auto& drive : read_drive_map()) {
    struct stat root {};
    if (::stat(drive.dir.c_str(), &root) == 0 && root.st_dev == st.st_dev &&
        root.st_ino == st.st_ino)
      return true;
  }
  return false;
}

// Whether a directory entry of type d_type is a symbolic link.
bool is_link(int dir_fd, const char* name, unsigned char d_type) {
  if (d_type != DT_UNKNOWN)
    return d_type == DT_LNK;
  struct stat st {};
  return ::fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// The directories from a listed directory up to the root of its file
// system tree, found once per listing and only when a link needs them.
class ancestor_chain {
public:
  // Whether the directory of status target is dir_fd's directory or lies
  // above it.
  bool holds(int dir_fd, const struct stat& target) {
    if (!known_)
      find(dir_fd);
    for (const auto& [device, inode] : chain_)
      if (device == target.st_dev && inode == target.st_ino)
        return true;
    return false;
  }

private:
  void find(int dir_fd) {
    known_ = true;
    struct stat st {};
    if (::fstat(dir_fd, &st) != 0)
      return;
    chain_.emplace_back(st.st_dev, st.st_ino);
    unique_fd here(::openat(dir_fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Up to the root, whose ".." is itself; a bound keeps a strange file
    // system from holding the listing.
    for (int depth = 0; here && depth < 4096; ++depth) {
      if (::fstat(here.get(), &st) != 0)
        return;
      const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
      if (id == chain_.back())
        return;
      chain_.push_back(id);
      here.reset(::openat(here.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
  }

  bool known_ = false;
  std::vector<std::pair<dev_t, ino_t>> chain_;
};

} // namespace

bool platform::create_directory(const char* path) {
  return guarded(false, [&] {
    const auto code = change_directory(path, failed_op::make_dir, [](const char* native) {
      return ::mkdir(native, new_directory_mode);
    });
    return code == error::success || fail(code, false);
  });
}

bool platform::create_directory_below(const char* base, const char* relative) {
  return guarded(false, [&] {
    below_path place;
    if (const auto code = walk_below(base, relative, place); code != error::success)
      return fail(code, false);
    if (::mkdirat(place.dir, place.last.name.c_str(), new_directory_mode) != 0)
      return fail(error_from_errno(errno, failed_op::make_dir), false);
    note_created(place.dir, place.last.name, S_IFDIR);
    return true;
  });
}

namespace {

// Removes the entry name of the directory open as dir, and first, for a
// directory (never a link to one), everything below it. Keeps the first
// failure's error in first_error and carries on. An entry below the top that
// is gone meanwhile counts as removed: its absence must not stand in for a
// real failure after it, and a missing top is the caller's to tell.
void remove_entry_at(int dir, const std::string& name, std::uint32_t& first_error,
                     bool below_top = false) {
  const auto note = [&](bool done, failed_op op) {
    if (!done && !(below_top && errno == ENOENT) && first_error == error::success)
      first_error = error_from_errno(errno, op);
  };
  struct stat st {};
  if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return note(false, failed_op::other);
  if (!S_ISDIR(st.st_mode))
    return note(::unlinkat(dir, name.c_str(), 0) == 0, failed_op::other);
  unique_fd below(::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!below)
    return note(false, failed_op::open);
  std::vector<std::string> names;
  const int cut = read_names(
      below.get(), [&](std::string_view entry, unsigned char) { names.emplace_back(entry); });
  errno = cut;
  note(cut == 0, failed_op::read);
  for (const std::string& entry : names)
    remove_entry_at(below.get(), entry, first_error, true);
  note(::unlinkat(dir, name.c_str(), AT_REMOVEDIR) == 0, failed_op::remove_dir);
}

} // namespace

bool platform::remove_tree_below(const char* base, const char* relative) {
  return guarded(false, [&] {
    below_path place;
    if (const auto code = walk_below(base, relative, place); code != error::success)
      return fail(code, false);
    std::uint32_t first_error = error::success;
    remove_entry_at(place.dir, place.last.name, first_error);
    // Names this process remembers may now be gone within one timestamp tick.
    forget_names();
    if (first_error != error::success)
      return fail(first_error, false);
    return true;
  });
}

bool platform::remove_directory(const char* path) {
  return guarded(false, [&] {
    const auto code = change_directory(path, failed_op::remove_dir, ::rmdir);
    return code == error::success || fail(code, false);
  });
}

native_handle platform::find_first_file(const char* pattern, find_data* out) {
  return guarded(invalid_handle_value, [&] { return start_listing(pattern, out); });
}

native_handle platform::start_listing(const char* pattern, find_data* out) {
  if (!pattern || !out)
    return fail(error::invalid_parameter, invalid_handle_value);
  const std::string_view whole = pattern;
  std::string_view directory = ".";
  std::string_view wanted = whole;
  if (const auto cut = whole.find_last_of("\\/"); cut != std::string_view::npos) {
    directory = whole.substr(0, cut + 1);
    wanted = whole.substr(cut + 1);
  } else if (whole.size() >= 2 && whole[1] == ':') {
    directory = whole.substr(0, 2);
    wanted = whole.substr(2);
  }
  if (wanted.empty())
    return fail(error::file_not_found, invalid_handle_value);
  if (!is_valid_component(wanted, true))
    return fail(error::invalid_name, invalid_handle_value);

  std::string native;
  if (const auto code = resolve_drive_path(directory, native); code != error::success)
    return fail(code, invalid_handle_value);
  unique_fd dir(::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir) {
    const std::uint32_t code =
        errno == ENOENT ? error::path_not_found : error_from_errno(errno, failed_op::other);
    return fail(code, invalid_handle_value);
  }
  const int fd = dir.get();
  struct stat self {};
  if (::fstat(fd, &self) != 0)
    return fail(error_from_errno(errno, failed_op::other), invalid_handle_value);

  const std::string pattern_upper = upper_cp1252(wanted);
  listing found;
  if (!is_drive_root(self)) {
    struct stat parent {};
    if (name_matches(pattern_upper, "."))
      found.entries.push_back(entry_of(".", self));
    if (name_matches(pattern_upper, "..") && ::fstatat(fd, "..", &parent, 0) == 0)
      found.entries.push_back(entry_of("..", parent));
  }
  const std::size_t dot_entries = found.entries.size();
  ancestor_chain ancestors;
  std::string native_name; // one buffer for every entry's NUL-terminated name
  const int failed = read_names(fd, [&](std::string_view disk_name, unsigned char d_type) {
    bool lossless = true;
    std::string name = utf8_to_cp1252(disk_name, &lossless);
    if (!name_matches(pattern_upper, upper_cp1252(name)))
      return;
    native_name = disk_name;
    // Follows symbolic links. An entry that cannot be looked at (a directory
    // that may be read but not entered), a link that leads nowhere, and one
    // that leads back to this directory or above it are listed as files that
    // cannot be used, so that a walk names them instead of missing them or
    // going round for ever. An entry gone since the directory was read, and
    // anything neither a file nor a directory, is left out.
    struct stat st {};
    std::uint32_t unusable = error::success;
    if (::fstatat(fd, native_name.c_str(), &st, 0) != 0) {
      const int why = errno;
      const bool gone =
          ::fstatat(fd, native_name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
      if (gone)
        return;
      unusable =
          why == ELOOP ? error::cant_resolve_filename : error_from_errno(why, failed_op::open);
    } else if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
      return;
    } else if (S_ISDIR(st.st_mode) && is_link(fd, native_name.c_str(), d_type) &&
               ancestors.holds(fd, st)) {
      unusable = error::cant_resolve_filename;
    }
    listed_entry entry = entry_of(name, st);
    if (unusable != error::success) {
      entry.attributes = attribute_archive;
      entry.size = 0;
      entry.error = unusable;
    }
    if (!lossless)
      entry.native = std::make_unique<std::string>(disk_name);
    found.entries.push_back(std::move(entry));
  });
  // A failure that cut the listing short.
  if (failed != 0)
    return fail(error_from_errno(failed, failed_op::read), invalid_handle_value);
  std::sort(found.entries.begin() + static_cast<std::ptrdiff_t>(dot_entries), found.entries.end(),
            listed_before);
  if (found.entries.empty())
    return fail(error::file_not_found, invalid_handle_value);

  const native_handle handle = next_find_handle_;
  found.next = 1;
  const auto it = listings_.emplace(handle, std::move(found)).first;
  ++next_find_handle_;
  *out = delivered(it->second.entries.front());
  return handle;
}

bool platform::find_next_file(native_handle find, find_data* out) {
  const auto it = listings_.find(find);
  if (it == listings_.end())
    return fail(error::invalid_handle, false);
  listing& entries = it->second;
  if (entries.next >= entries.entries.size())
    return fail(error::no_more_files, false);
  if (!out)
    return fail(error::invalid_parameter, false);
  *out = delivered(entries.entries[entries.next++]);
  return true;
}

bool platform::find_close(native_handle find) {
  if (listings_.erase(find) == 0)
    return fail(error::invalid_handle, false);
  return true;
}

} // namespace sys::posix
