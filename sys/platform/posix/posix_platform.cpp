// The POSIX backend's instance, its errno translation and its text call.
#include "sys/platform/posix/posix_platform.h"

#include "sys/cp1252.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sys {

platform& native_platform() {
  static posix::platform instance;
  return instance;
}

namespace posix {

namespace {

// Whether the directory that would hold native exists.
bool parent_exists(const std::string& native) {
  const auto slash = native.rfind('/');
  if (slash == std::string::npos)
    return true; // relative to the working directory
  const std::string parent = slash == 0 ? std::string("/") : native.substr(0, slash);
  struct stat st {};
  return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::uint64_t file_time_of(const struct timespec& t) {
  constexpr std::int64_t nanoseconds_per_file_time_unit = 100;
  const std::int64_t ticks = static_cast<std::int64_t>(t.tv_sec) * file_time_units_per_second +
                             t.tv_nsec / nanoseconds_per_file_time_unit + unix_epoch_file_time;
  return ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks);
}

std::uint32_t error_from_errno(int e, failed_op op, const std::string& native) {
  switch (e) {
  case 0:
    return error::success;
  case ENOENT:
    if (op == failed_op::make_dir)
      return error::path_not_found;
    return native.empty() || parent_exists(native) ? error::file_not_found : error::path_not_found;
  case ENOTDIR:
    return error::path_not_found;
  case ELOOP:
    return error::cant_resolve_filename;
  case EACCES:
  case EPERM:
  case EROFS:
  case EISDIR:
  case ENXIO:
  case ENODEV:
  case EBUSY:
    return error::access_denied;
  case ETXTBSY:
    return error::sharing_violation;
  case EBADF:
    return error::invalid_handle;
  case ENOMEM:
    return error::not_enough_memory;
  case EEXIST:
    if (op == failed_op::remove_dir)
      return error::dir_not_empty;
    return op == failed_op::make_dir ? error::already_exists : error::file_exists;
  case ENOSPC:
  case EDQUOT:
  case EFBIG:
    return error::disk_full;
  case ENAMETOOLONG:
    return error::filename_too_long;
  case ENOTEMPTY:
    return error::dir_not_empty;
  case EINVAL:
  case EOVERFLOW:
    return error::invalid_parameter;
  case EIO:
    if (op == failed_op::read)
      return error::read_fault;
    if (op == failed_op::write)
      return error::write_fault;
    return error::gen_failure;
  default:
    return error::gen_failure;
  }
}

std::uint32_t platform::char_upper(char* text, std::uint32_t length) {
  if (!text)
    return 0;
  for (std::uint32_t i = 0; i < length; ++i)
    text[i] = static_cast<char>(cp1252_upper(static_cast<unsigned char>(text[i])));
  return length;
}

namespace {

// Copies text into out[size]; false when it had to be cut.
bool copy_out(const std::string& text, char* out, std::uint32_t size) {
  if (size == 0)
    return false;
  const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return n == text.size();
}

} // namespace

bool platform::host_text_to_system(const char* text, char* out, std::uint32_t size) {
  return guarded(false, [&] {
    bool lossless = true;
    const bool fits = copy_out(utf8_to_cp1252(text, &lossless), out, size);
    return fits && lossless;
  });
}

bool platform::system_text_to_host(const char* text, char* out, std::uint32_t size) {
  return guarded(false, [&] { return copy_out(cp1252_to_utf8(text), out, size); });
}

bool platform::is_terminal(int stream) {
  return (stream == 1 || stream == 2) && ::isatty(stream) == 1;
}

bool platform::make_executable(const char* host_path) {
  // umask can only be read by setting it; it is put back at once.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::chmod(host_path, 0777 & ~mask) != 0)
    return fail(error_from_errno(errno, failed_op::other, host_path), false);
  return true;
}

} // namespace posix
} // namespace sys
