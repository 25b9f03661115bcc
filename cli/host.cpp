// Between host paths and texts and the engine's, and failure reports in words.
#include "cli/host.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace cli {

namespace {

// Room for converted paths: beyond the engine's 256 characters, so an
// overlong path reaches the engine and is refused there with its status.
constexpr std::uint32_t path_room = 1024;
} // namespace

std::filesystem::path host_fs_path(const std::string& host) {
  return std::filesystem::path(std::u8string(host.begin(), host.end()));
}

std::string host_path_text(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

bool drive_path(const std::string& host, std::string* out, std::string* error) {
  std::array<char, path_room> buffer{};
  if (!sys::current_platform().host_to_drive_path(host.c_str(), buffer.data(), path_room)) {
    *error = host + ": not on any drive (on POSIX see VELMORA_DRIVES), or not a name Windows "
                    "can hold";
    return false;
  }
  *out = buffer.data();
  return true;
}

bool engine_argument(const std::string& arg, std::string* out, std::string* error) {
  if (!arg.empty() && arg[0] == '/')
    return drive_path(arg, out, error);
  std::array<char, path_room> buffer{};
  if (!sys::current_platform().host_text_to_system(arg.c_str(), buffer.data(), path_room)) {
    *error = arg + ": holds characters that Windows-1252 cannot hold, or is too long";
    return false;
  }
  *out = buffer.data();
  return true;
}

std::string host_text(const char* system_text) {
  // Control characters are shown as \xNN: a name never moves the terminal
  // or starts a line of its own.
  std::string shown;
  for (const char* p = system_text; *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    // 0x81, 0x8D, 0x8F, 0x90 and 0x9D are C1 controls on the way out.
    if (c < 0x20 || c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      shown += escaped;
    } else {
      shown += static_cast<char>(c);
    }
  }
  std::array<char, path_room * 4> buffer{};
  sys::current_platform().system_text_to_host(shown.c_str(), buffer.data(), path_room * 4);
  return buffer.data();
}

std::string error_words(std::uint32_t error) {
  switch (error) {
  case sys::error::file_not_found:
    return "no such file";
  case sys::error::path_not_found:
    return "no such directory";
  case sys::error::access_denied:
    return "access denied";
  case sys::error::sharing_violation:
    return "in use by another open file";
  case sys::error::file_exists:
  case sys::error::already_exists:
    return "already exists";
  case sys::error::disk_full:
    return "disk full";
  case sys::error::invalid_name:
    return "not a valid name (characters Windows-1252 cannot hold show as '?')";
  case sys::error::filename_too_long:
    return "name too long";
  case sys::error::not_enough_memory:
    return "out of memory";
  case sys::error::cant_resolve_filename:
    return "a symbolic link that leads round in a circle, or through too many links";
  case sys::error::read_fault:
    return "read error";
  case sys::error::write_fault:
    return "write error";
  case sys::error::stopped_on_symlink:
    return "is a symbolic link, not followed";
  case sys::error::too_many_links:
    return "has other hard links, not written in place";
  default:
    return "system error " + std::to_string(error);
  }
}

namespace {

// A drive-form path as the host names it; the system's text where the path
// does not resolve (a name with '?', a stored name).
std::string host_path(const char* drive_path) {
  std::array<char, path_room> host{};
  if (sys::current_platform().drive_to_host_path(drive_path, host.data(), path_room))
    return host.data();
  return host_text(drive_path);
}

} // namespace

std::string describe_failure(const archive::failure_report& report) {
  using archive::failure_reason;
  const std::string path = host_path(report.path.data());
  switch (report.reason) {
  case failure_reason::none:
    return "";
  case failure_reason::platform:
    return path + " (" + error_words(report.error) + ")";
  case failure_reason::path_too_long:
    return host_text(report.path.data()) +
           "...: path too long (in drive form a path has at most 255 characters, a target "
           "directory 250, a source spec 200)";
  case failure_reason::name_too_long:
    return path + ": would be stored under " + std::to_string(report.offset) +
           " characters; stored names have at most 250";
  case failure_reason::duplicate_name:
    // Both entries resolve to the first of them: name the directory and
    // the one stored name instead.
    return host_path(report.other.data()) +
           (std::strcmp(report.path.data(), report.other.data()) == 0
                ? std::string()
                : " and " + host_text(report.path.data())) +
           ": two entries of one directory would get this one stored name (names equal but "
           "for case, trailing dots or blanks, or made equal by '?' for characters "
           "Windows-1252 cannot hold)";
  case failure_reason::changed_while_read:
    return path + ": file changed as we read it";
  case failure_reason::archive_too_large:
    return path + ": the archive would hold more than 4294967295 bytes, the most its 32-bit "
                  "total can count";
  case failure_reason::installer_too_large:
    return path + ": the installer would be 2 GiB or more; it could not read its own payload";
  case failure_reason::too_many_directories:
    return path + ": more than 16384 directories in the tree";
  case failure_reason::marker_in_stub:
    return path + ": the stub holds the archive marker, so an installer built from it could "
                  "never find its payload";
  case failure_reason::unsafe_name:
    return host_text(report.path.data()) +
           ": not a name a file can be unpacked under (empty, only dots and blanks, or holding "
           "a control character or one of \\ / : * ? \" < > |, which Windows forbids; '?' also "
           "stands for characters Windows-1252 cannot hold)";
  case failure_reason::damaged:
    return (report.path[0] != '\0' ? path + " " : std::string()) + "at offset " +
           std::to_string(report.offset);
  }
  return path;
}

} // namespace cli
