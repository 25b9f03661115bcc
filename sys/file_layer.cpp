// The file layer: open mode codes, 16-bit handles, logged transfer failures.
#include "sys/file_layer.h"

#include "sys/error_log.h"
#include "sys/platform.h"
#include "sys/text_fields.h"

#include <array>
#include <cstring>
#include <string>

namespace sys {

namespace {

struct mode_entry {
  int code;
  std::uint32_t access;
  std::uint32_t share;
  disposition how;
  std::uint32_t attributes;
};

constexpr std::uint32_t read_only = access_read;
constexpr std::uint32_t read_write = access_read | access_write;

constexpr std::array<mode_entry, 7> mode_table{{
    {open_mode::read_exclusive, read_only, 0, disposition::open_existing, attribute_normal},
    {open_mode::read_shared, read_only, share_read, disposition::open_existing, attribute_normal},
    {open_mode::create, read_write, 0, disposition::create_always, attribute_normal},
    {open_mode::read_write, read_write, 0, disposition::open_existing, attribute_normal},
    {open_mode::read_write_18, read_write, 0, disposition::open_existing, attribute_normal},
    {open_mode::read_write_shared, read_write, share_read | share_write, disposition::open_existing,
     attribute_normal},
    {open_mode::read_write_plain, read_write, 0, disposition::open_existing, 0},
}};

// The handle as the platform sees it: widened with its sign, so -1 and -2
// reach it as values it refuses.
native_handle widen(file_handle handle) {
  return static_cast<native_handle>(handle);
}

std::uint32_t last_failure = error::success;

// Logs a failed call with the platform error split in its 16-bit halves.
// The log's own opens do not count as the caller's failure: set afterwards.
void log_platform_error(std::uint32_t error, const char* message) {
  error_log_write(static_cast<std::int32_t>(error & 0xFFFFu), message,
                  static_cast<std::int32_t>(error >> 16));
  last_failure = error;
}

// The entry of an open mode code; nullptr, noted as the failure, for a code
// outside the table (refused like a platform refusal: -1, no record).
const mode_entry* find_mode(int mode) {
  for (const auto& candidate : mode_table)
    if (candidate.code == mode)
      return &candidate;
  last_failure = error::invalid_parameter;
  return nullptr;
}

// Whether base\relative fits in a path of max_path_chars characters.
bool fits_below(const char* base, const char* relative) {
  const std::size_t base_length = std::strlen(base);
  const bool separator = base_length > 0 && base[base_length - 1] != '\\';
  return base_length + (separator ? 1 : 0) + std::strlen(relative) <=
         static_cast<std::size_t>(max_path_chars);
}

// A handle the platform gave as a file handle: one above 0x7FFF is closed
// again and logged.
file_handle narrow(native_handle h) {
  platform& p = current_platform();
  if (h == invalid_handle_value) {
    last_failure = p.last_error();
    return refused_handle;
  }
  if (!fits_file_handle(h)) {
    p.close_handle(h);
    error_log_write(9, "Error Handle", 9);
    last_failure = error::invalid_handle;
    return failed_handle;
  }
  return static_cast<file_handle>(h);
}

// The platform's open of a path ready for it.
file_handle open_prepared(const char* path, const mode_entry& entry) {
  return narrow(
      current_platform().create_file(path, entry.access, entry.share, entry.how, entry.attributes));
}

} // namespace

file_handle file_open(const char* path, int mode) {
  const mode_entry* entry = find_mode(mode);
  if (entry == nullptr)
    return refused_handle;
  std::array<char, max_path_chars + 1> work;
  fold_name_copy(work.data(), path, 0, max_path_chars);
  return open_prepared(work.data(), *entry);
}

file_handle file_open_unfolded(const char* path, int mode) {
  const mode_entry* entry = find_mode(mode);
  if (entry == nullptr)
    return refused_handle;
  if (strnlen(path, max_path_chars + 1) > static_cast<std::size_t>(max_path_chars)) {
    last_failure = error::filename_too_long;
    return refused_handle;
  }
  return open_prepared(path, *entry);
}

file_handle file_open_below(const char* base, const char* relative, int mode) {
  const mode_entry* entry = find_mode(mode);
  if (entry == nullptr)
    return refused_handle;
  if (!fits_below(base, relative)) {
    last_failure = error::filename_too_long;
    return refused_handle;
  }
  return narrow(current_platform().create_file_below(base, relative, entry->access, entry->share,
                                                     entry->how, entry->attributes));
}

std::uint32_t file_last_error() {
  return last_failure;
}

namespace {

// One read or write: refuses counts whose result would read back negative
// before the platform is asked, and logs a failure under message.
template <class Call>
std::int16_t transfer(std::uint16_t count, const char* message, Call platform_call) {
  if (count > max_transfer_bytes) {
    log_platform_error(error::invalid_parameter, message);
    return failed_handle;
  }
  std::uint32_t done = 0;
  if (!platform_call(&done)) {
    log_platform_error(current_platform().last_error(), message);
    return failed_handle;
  }
  return static_cast<std::int16_t>(done);
}

} // namespace

std::int16_t file_read(file_handle handle, void* buffer, std::uint16_t count) {
  return transfer(count, "Error read", [&](std::uint32_t* done) {
    return current_platform().read_file(widen(handle), buffer, count, done);
  });
}

std::int16_t file_write(file_handle handle, const void* buffer, std::uint16_t count) {
  return transfer(count, "Error write", [&](std::uint32_t* done) {
    return current_platform().write_file(widen(handle), buffer, count, done);
  });
}

std::int32_t file_seek(file_handle handle, std::uint32_t offset, int method) {
  platform& p = current_platform();
  const auto result = static_cast<std::int32_t>(
      p.set_file_pointer(widen(handle), offset, static_cast<move_method>(method)));
  if (result < 0)
    log_platform_error(p.last_error(), "Seek error");
  return result;
}

int file_status(file_handle handle, file_information* out) {
  platform& p = current_platform();
  if (!p.get_file_information(widen(handle), out)) {
    last_failure = p.last_error();
    return -1;
  }
  return 0;
}

int file_cut(file_handle handle, std::uint32_t length) {
  platform& p = current_platform();
  const std::uint32_t at = p.set_file_pointer(widen(handle), length, move_method::begin);
  if ((at == invalid_set_file_pointer && p.last_error() != error::success) || at != length ||
      !p.set_end_of_file(widen(handle))) {
    last_failure = p.last_error();
    return -1;
  }
  return 0;
}

int file_close(file_handle handle) {
  current_platform().close_handle(widen(handle));
  return 0;
}

int file_close_checked(file_handle handle) {
  platform& p = current_platform();
  if (p.close_handle(widen(handle)))
    return 0;
  last_failure = p.last_error();
  return -1;
}

int dir_create(const char* path) {
  return current_platform().create_directory(path) ? 0 : -1;
}

int dir_create_below(const char* base, const char* relative) {
  if (!fits_below(base, relative))
    return -1;
  return current_platform().create_directory_below(base, relative) ? 0 : -1;
}

int dir_remove(const char* path) {
  std::array<char, max_path_chars + 1> work;
  fold_name_copy(work.data(), path, 0, max_path_chars);
  return current_platform().remove_directory(work.data()) ? 0 : -1;
}

int dir_remove_tree(const char* path) {
  std::array<char, max_path_chars + 1> work;
  fold_name_copy(work.data(), path, 0, max_path_chars);
  std::size_t length = std::strlen(work.data());
  if (length > 0 && work[length - 1] == '\\')
    work[--length] = '\0';
  char* last = std::strrchr(work.data(), '\\');
  if (!last || last[1] == '\0') {
    last_failure = error::invalid_name;
    return -1;
  }
  // base keeps its backslash (C:\); relative is the directory's name.
  const std::string base(work.data(), static_cast<std::size_t>(last - work.data() + 1));
  platform& p = current_platform();
  if (p.remove_tree_below(base.c_str(), last + 1))
    return 0;
  last_failure = p.last_error();
  // What does not exist is not left behind.
  return last_failure == error::file_not_found || last_failure == error::path_not_found ? 0 : -1;
}

int dir_probe(const char* path) {
  if (dir_create(path) != 0)
    return -1;
  return dir_remove(path);
}

} // namespace sys
