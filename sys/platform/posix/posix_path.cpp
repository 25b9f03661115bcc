// The drive map and the translation between drive-form and native paths.
#include "sys/platform/posix/posix_path.h"

#include "sys/cp1252.h"
#include "sys/platform/posix/posix_handle.h"
#include "sys/platform/posix/posix_names.h"
#include "sys/platform/posix/posix_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace sys::posix {

namespace {

constexpr bool is_ascii_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

constexpr char upper_letter(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c;
}

// Whether dir (normalised) is native itself or one of its ancestors.
bool holds(std::string_view dir, std::string_view native) {
  if (dir == "/")
    return !native.empty() && native.front() == '/';
  return native.starts_with(dir) && (native.size() == dir.size() || native[dir.size()] == '/');
}

// Adds one mapping of a VELMORA_DRIVES entry "L=/dir"; others are ignored.
void add_entry(drive_map& map, std::string_view entry) {
  if (entry.size() < 3 || !is_ascii_letter(entry[0]) || entry[1] != '=' || entry[2] != '/')
    return;
  const char letter = upper_letter(entry[0]);
  if (find_drive(map, letter))
    return;
  map.push_back({letter, normalise_native(entry.substr(2))});
}

// Opens the directory name below dir without following a link.
std::uint32_t open_directory_at(int dir, const std::string& name, unique_fd& out) {
  int fd = -1;
  do {
    fd = ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) {
    out.reset(fd);
    return error::success;
  }
  const int e = errno;
  struct stat st {};
  if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
    return error::stopped_on_symlink;
  if (e == ENOENT || e == ENOTDIR)
    return error::path_not_found;
  return error_from_errno(e, failed_op::open);
}

} // namespace

bool has_drive_prefix(std::string_view path) {
  return path.size() >= 2 && is_ascii_letter(path[0]) && path[1] == ':';
}

drive_map read_drive_map() {
  drive_map map;
  const char* value = std::getenv(drive_map_variable);
  if (!value) {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
      map.push_back({'C', normalise_native(home)});
    map.push_back({'Z', "/"});
    return map;
  }
  std::string_view rest = value;
  while (!rest.empty()) {
    const auto end = rest.find(';');
    add_entry(map, rest.substr(0, end));
    if (end == std::string_view::npos)
      break;
    rest.remove_prefix(end + 1);
  }
  return map;
}

const drive_mapping* find_drive(const drive_map& map, char letter) {
  const char wanted = upper_letter(letter);
  for (const auto& drive : map) {
    if (drive.letter == wanted)
      return &drive;
  }
  return nullptr;
}

const drive_mapping* drive_holding(const drive_map& map, std::string_view native) {
  const drive_mapping* best = nullptr;
  for (const auto& drive : map) {
    if (holds(drive.dir, native) && (!best || drive.dir.size() > best->dir.size()))
      best = &drive;
  }
  return best;
}

std::string normalise_native(std::string_view absolute) {
  std::string out;
  while (!absolute.empty()) {
    const auto end = absolute.find('/');
    const std::string_view part = absolute.substr(0, end);
    if (part == "..") {
      // out is "" or starts with '/', so this stops at the root.
      if (const auto slash = out.rfind('/'); slash != std::string::npos)
        out.resize(slash);
    } else if (!part.empty() && part != ".") {
      out += '/';
      out += part;
    }
    if (end == std::string_view::npos)
      break;
    absolute.remove_prefix(end + 1);
  }
  return out.empty() ? std::string("/") : out;
}

bool working_directory(std::string& out) {
  constexpr std::size_t first_guess = 256;
  constexpr std::size_t largest = 1 << 20;
  std::string buffer(first_guess, '\0');
  while (buffer.size() <= largest) {
    if (::getcwd(buffer.data(), buffer.size())) {
      out = buffer.c_str();
      return true;
    }
    if (errno != ERANGE)
      return false;
    buffer.resize(buffer.size() * 2);
  }
  return false;
}

bool is_valid_component(std::string_view component, bool wildcards) {
  for (char c : component) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32)
      return false;
    if ((c == '*' || c == '?') && wildcards)
      continue;
    if (std::strchr("<>:\"|?*", c))
      return false;
  }
  return true;
}

std::uint32_t resolve_drive_path(std::string_view path, std::string& native, entry_match* last) {
  // current: the native path built so far, without a trailing '/' ("" is /).
  // floor: how far ".." may pop it back.
  std::string current;
  std::size_t floor = 0;
  if (has_drive_prefix(path)) {
    const drive_map map = read_drive_map();
    const drive_mapping* drive = find_drive(map, path[0]);
    if (!drive)
      return error::path_not_found;
    current = drive->dir == "/" ? std::string() : drive->dir;
    floor = current.size();
    path.remove_prefix(2);
  } else {
    std::string cwd;
    if (path.empty() || !working_directory(cwd))
      return error::path_not_found;
    cwd = normalise_native(cwd);
    if (is_separator(path.front())) {
      // "\x": the root of the drive that holds the working directory. A second
      // separator would start a network name, which has no drive here.
      if (path.size() >= 2 && is_separator(path[1]))
        return error::path_not_found;
      const drive_map map = read_drive_map();
      const drive_mapping* drive = drive_holding(map, cwd);
      if (!drive)
        return error::path_not_found;
      current = drive->dir == "/" ? std::string() : drive->dir;
      floor = current.size();
    } else {
      current = cwd == "/" ? std::string() : cwd;
    }
  }

  while (!path.empty()) {
    std::size_t end = 0;
    while (end < path.size() && !is_separator(path[end]))
      ++end;
    const std::string_view component = path.substr(0, end);
    path.remove_prefix(end < path.size() ? end + 1 : end);
    if (component.empty() || component == ".")
      continue;
    if (last)
      *last = {}; // the last component is not a name found in a listing
    if (component == "..") {
      if (current.size() > floor)
        current.resize(current.rfind('/'));
      continue;
    }
    if (!is_valid_component(component, false))
      return error::invalid_name;
    entry_match match = find_entry(-1, current, component);
    current += '/';
    current += match.name;
    if (last)
      *last = std::move(match);
  }
  native = current.empty() ? std::string("/") : std::move(current);
  return error::success;
}

std::uint32_t locate_file(std::string_view path, int& dir, std::string& native, entry_match& last) {
  dir = AT_FDCWD;
  std::size_t cut = path.size();
  while (cut > 0 && !is_separator(path[cut - 1]))
    --cut;
  const std::string_view leaf = path.substr(cut);
  const bool plain_leaf =
      cut > 0 && !leaf.empty() && leaf != "." && leaf != ".." && is_valid_component(leaf, false);
  const std::string key = plain_leaf ? held_key(path.substr(0, cut)) : std::string();
  if (!key.empty()) {
    held_directory& held = held_by_path();
    struct stat st {};
    int fd = held.serve(key, st);
    if (fd < 0) {
      std::string dir_native;
      if (resolve_drive_path(path.substr(0, cut), dir_native) == error::success) {
        unique_fd opened(::open(dir_native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (opened && ::fstat(opened.get(), &st) == 0)
          fd = held.hold(key, std::move(dir_native), std::move(opened), st);
      }
    }
    if (fd >= 0) {
      last = find_entry(fd, {}, leaf, &st);
      native = held.native();
      if (native != "/")
        native += '/';
      native += last.name;
      dir = fd;
      return error::success;
    }
  }
  // Not held (or its directory could not be opened): resolved whole, which
  // also tells why it cannot be found.
  return resolve_drive_path(path, native, &last);
}

std::uint32_t walk_below(const char* base, const char* relative, below_path& out) {
  if (!base || !relative)
    return error::invalid_parameter;
  if (!is_plain_relative_path(relative))
    return error::invalid_name;
  const std::string_view whole = relative;
  const auto cut = whole.rfind('\\');
  const std::string_view leaf = cut == std::string_view::npos ? whole : whole.substr(cut + 1);
  if (!is_valid_component(leaf, false))
    return error::invalid_name;

  // The directory of the last walk, when this one leads to it again.
  held_directory& held = held_below();
  const std::string key =
      held_key(base, cut == std::string_view::npos ? std::string_view() : whole.substr(0, cut));
  struct stat st {};
  if (const int dir = held.serve(key, st); dir >= 0) {
    out.dir = dir;
    out.last = find_entry(dir, {}, leaf, &st);
    return error::success;
  }

  std::string native;
  if (const auto code = resolve_drive_path(base, native); code != error::success)
    return code;
  int fd = -1;
  do {
    fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0)
    return errno == ENOENT || errno == ENOTDIR ? error::path_not_found
                                               : error_from_errno(errno, failed_op::open);
  unique_fd dir(fd);
  // Where the components below base begin in native: a held directory must
  // be reached through them without following a link.
  const std::size_t below_from = native == "/" ? 1 : native.size() + 1;
  std::string_view rest = cut == std::string_view::npos ? std::string_view() : whole.substr(0, cut);
  while (!rest.empty()) {
    const auto end = rest.find('\\');
    const std::string_view component = rest.substr(0, end);
    if (!is_valid_component(component, false))
      return error::invalid_name;
    const entry_match match = find_entry(dir.get(), {}, component);
    unique_fd next;
    if (const auto code = open_directory_at(dir.get(), match.name, next); code != error::success)
      return code;
    dir = std::move(next);
    if (native != "/")
      native += '/';
    native += match.name;
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  if (!key.empty() && ::fstat(dir.get(), &st) == 0) {
    out.dir = held.hold(key, std::move(native), std::move(dir), st, below_from);
    out.last = find_entry(out.dir, {}, leaf, &st);
  } else {
    out.owned = std::move(dir);
    out.dir = out.owned.get();
    out.last = find_entry(out.dir, {}, leaf);
  }
  return error::success;
}

std::uint32_t native_to_drive_path(std::string_view native, std::string& drive_form) {
  if (native == "***" || native == "*.*") {
    drive_form = native;
    return error::success;
  }
  if (native.empty())
    return error::path_not_found;
  std::string absolute;
  if (native.front() != '/') {
    if (!working_directory(absolute))
      return error::path_not_found;
    absolute += '/';
  }
  absolute += native;
  const bool trailing = native.back() == '/';
  const std::string normal = normalise_native(absolute);

  const drive_map map = read_drive_map();
  const drive_mapping* drive = drive_holding(map, normal);
  if (!drive)
    return error::path_not_found;
  std::string rest = normal.substr(drive->dir == "/" ? 1 : drive->dir.size());
  if (!rest.empty() && rest.front() == '/')
    rest.erase(0, 1);
  for (char& c : rest) {
    if (c == '/')
      c = '\\';
  }
  std::string utf8 = std::string{drive->letter, ':', '\\'} + rest;
  if (trailing && !rest.empty())
    utf8 += '\\';
  bool lossless = true;
  std::string converted = utf8_to_cp1252(utf8, &lossless);
  if (!lossless)
    return error::invalid_name; // a name Windows-1252 cannot spell
  drive_form = std::move(converted);
  return error::success;
}

std::string upper_cp1252(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = static_cast<char>(cp1252_upper(static_cast<unsigned char>(c)));
  return out;
}

bool copy_out(std::string_view text, char* out, std::uint32_t size) {
  if (!out || text.size() >= size)
    return false;
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
  return true;
}

bool platform::host_to_drive_path(const char* host_path, char* out, std::uint32_t size) {
  return guarded(false, [&] {
    if (!host_path || !out)
      return fail(error::invalid_parameter, false);
    std::string drive_form;
    if (const auto code = native_to_drive_path(host_path, drive_form); code != error::success)
      return fail(code, false);
    if (!copy_out(drive_form, out, size))
      return fail(error::filename_too_long, false);
    return true;
  });
}

bool platform::drive_to_host_path(const char* drive_path, char* out, std::uint32_t size) {
  return guarded(false, [&] {
    if (!drive_path || !out)
      return fail(error::invalid_parameter, false);
    std::string native;
    if (const auto code = resolve_drive_path(drive_path, native); code != error::success)
      return fail(code, false);
    if (!copy_out(native, out, size))
      return fail(error::filename_too_long, false);
    return true;
  });
}

} // namespace sys::posix
