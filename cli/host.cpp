// Between host paths and texts and the engine's, and failure recording.
#include "cli/host.h"

#include "sys/error_log.h"

#include <array>

namespace cli {

namespace {

bool same_ascii_ignoring_case(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    const char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 32) : *a;
    const char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 32) : *b;
    if (x != y)
      return false;
  }
  return *a == *b;
}

// Room for converted paths: beyond the engine's 256 characters, so an
// overlong path reaches the engine and is refused there with its status.
constexpr std::uint32_t path_room = 1024;
} // namespace

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
  std::array<char, path_room * 2> buffer{};
  sys::current_platform().system_text_to_host(system_text, buffer.data(), path_room * 2);
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
    return "not a valid name";
  case sys::error::filename_too_long:
    return "name too long";
  case sys::error::not_enough_memory:
    return "out of memory";
  case sys::error::stopped_on_symlink:
    return "is a symbolic link, not followed";
  case sys::error::too_many_links:
    return "has other hard links, not written in place";
  default:
    return "system error " + std::to_string(error);
  }
}

failure_recorder::failure_recorder()
    : forwarding_platform(sys::current_platform()), previous_(sys::set_platform(this)) {}

failure_recorder::~failure_recorder() {
  sys::set_platform(previous_);
}

void failure_recorder::note(const char* path) {
  // The error log's own opens are not the work's failures.
  if (same_ascii_ignoring_case(path, sys::error_log_path))
    return;
  error_ = base().last_error();
  path_ = path;
}

sys::native_handle failure_recorder::create_file(const char* path, std::uint32_t access,
                                                 std::uint32_t share, sys::disposition how,
                                                 std::uint32_t attributes) {
  const sys::native_handle h = base().create_file(path, access, share, how, attributes);
  if (h == sys::invalid_handle_value)
    note(path);
  return h;
}

sys::native_handle failure_recorder::create_file_below(const char* base_dir, const char* relative,
                                                       std::uint32_t access, std::uint32_t share,
                                                       sys::disposition how,
                                                       std::uint32_t attributes) {
  const sys::native_handle h =
      base().create_file_below(base_dir, relative, access, share, how, attributes);
  if (h == sys::invalid_handle_value) {
    std::string path = base_dir;
    if (!path.empty() && path.back() != '\\')
      path += '\\';
    note((path + relative).c_str());
  }
  return h;
}

std::FILE* failure_recorder::open_read_stream(const char* path) {
  std::FILE* f = base().open_read_stream(path);
  if (!f)
    note(path);
  return f;
}

namespace {

// A drive-form path in the host's form when it can be had, else as text.
std::string host_path(const char* drive_form) {
  std::array<char, path_room> host{};
  const bool mapped =
      sys::current_platform().drive_to_host_path(drive_form, host.data(), path_room);
  return mapped ? std::string(host.data()) : host_text(drive_form);
}

} // namespace

std::string failure_recorder::describe() const {
  return host_path(path_.c_str()) + " (" + error_words(error_) + ")";
}

std::string describe_report(const archive::failure_report& report) {
  const char* path = report.path.data();
  switch (report.reason) {
  case archive::failure_reason::none:
    return "";
  case archive::failure_reason::platform:
    return host_path(path) + " (" + error_words(report.error) + ")";
  case archive::failure_reason::path_too_long:
    return host_path(path) + " (path too long)";
  case archive::failure_reason::unsafe_name:
    return host_text(path) + " (stored name would leave the target directory)";
  default:
    return host_text(path);
  }
}

} // namespace cli
