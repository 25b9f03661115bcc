// Directories: creating and removing them, and listing them with FindFirstFileA.
#include "sys/platform/win32/win32_platform.h"

#include <cstring>
#include <string>

namespace sys::win32 {

namespace {

static_assert(sizeof(WIN32_FIND_DATAA::cFileName) == max_long_name_bytes);
static_assert(sizeof(WIN32_FIND_DATAA::cAlternateFileName) == max_short_name_bytes);

// Copies a name field of WIN32_FIND_DATAA; the copy is always NUL-terminated.
template <std::size_t N> void copy_name(char (&to)[N], const CHAR (&from)[N]) {
  const std::size_t length = strnlen(from, N - 1);
  std::memcpy(to, from, length);
  to[length] = '\0';
}

void fill(find_data& out, const WIN32_FIND_DATAA& native) {
  out.attributes = native.dwFileAttributes;
  out.size_high = native.nFileSizeHigh;
  out.size_low = native.nFileSizeLow;
  out.last_write_time = (std::uint64_t{native.ftLastWriteTime.dwHighDateTime} << 32) |
                        native.ftLastWriteTime.dwLowDateTime;
  copy_name(out.long_name, native.cFileName);
  copy_name(out.short_name, native.cAlternateFileName);
  out.error = 0;
}

} // namespace

bool platform::create_directory(const char* path) {
  if (!path)
    return fail(error::invalid_parameter, false);
  // Default security, the handle inheritable by child processes.
  SECURITY_ATTRIBUTES security{};
  security.nLength = sizeof security;
  security.lpSecurityDescriptor = nullptr;
  security.bInheritHandle = TRUE;
  if (!::CreateDirectoryA(path, &security))
    return fail_native(false);
  return true;
}

bool platform::create_directory_below(const char* base, const char* relative) {
  return guarded(false, [&] {
    std::string path;
    if (const DWORD code = path_below(base, relative, false, path); code != NO_ERROR)
      return fail(code, false);
    return create_directory(path.c_str());
  });
}

namespace {

// Removes the entry at path, whose attributes are given, and first, for a
// directory that is no reparse point, everything below it. Keeps the first
// failure's error in first_error and carries on.
void remove_entry(const std::string& path, DWORD attributes, DWORD& first_error) {
  const auto note = [&](BOOL done) {
    if (!done && first_error == NO_ERROR)
      first_error = ::GetLastError();
  };
  const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (directory && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    WIN32_FIND_DATAA entry{};
    unique_find find(::FindFirstFileA((path + "\\*").c_str(), &entry));
    note(static_cast<bool>(find) || ::GetLastError() == ERROR_FILE_NOT_FOUND);
    for (bool more = static_cast<bool>(find); more; more = ::FindNextFileA(find.get(), &entry)) {
      const std::string name = entry.cFileName;
      if (name != "." && name != "..")
        remove_entry(path + "\\" + name, entry.dwFileAttributes, first_error);
    }
  }
  if (attributes & FILE_ATTRIBUTE_READONLY)
    ::SetFileAttributesA(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
  note(directory ? ::RemoveDirectoryA(path.c_str()) : ::DeleteFileA(path.c_str()));
}

} // namespace

bool platform::remove_tree_below(const char* base, const char* relative) {
  return guarded(false, [&] {
    std::string path;
    if (const DWORD code = path_below(base, relative, false, path); code != NO_ERROR)
      return fail(code, false);
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
      return fail_native(false);
    DWORD first_error = NO_ERROR;
    remove_entry(path, attributes, first_error);
    if (first_error != NO_ERROR)
      return fail(first_error, false);
    return true;
  });
}

bool platform::remove_directory(const char* path) {
  if (!path)
    return fail(error::invalid_parameter, false);
  if (!::RemoveDirectoryA(path))
    return fail_native(false);
  return true;
}

native_handle platform::find_first_file(const char* pattern, find_data* out) {
  return guarded(invalid_handle_value, [&] {
    if (!pattern || !out)
      return fail(error::invalid_parameter, invalid_handle_value);
    WIN32_FIND_DATAA native{};
    unique_find find(::FindFirstFileA(pattern, &native));
    if (!find)
      return fail_native(invalid_handle_value);

    const native_handle value = to_native(find.get());
    auto [it, inserted] = finds_.try_emplace(value);
    if (!inserted)
      (void)it->second.release(); // stale: ended behind this table's back
    it->second = std::move(find);
    fill(*out, native);
    return value;
  });
}

bool platform::find_next_file(native_handle find, find_data* out) {
  const auto it = finds_.find(find);
  if (it == finds_.end())
    return fail(error::invalid_handle, false);
  if (!out)
    return fail(error::invalid_parameter, false);
  WIN32_FIND_DATAA native{};
  if (!::FindNextFileA(it->second.get(), &native))
    return fail_native(false);
  fill(*out, native);
  return true;
}

bool platform::find_close(native_handle find) {
  const auto it = finds_.find(find);
  if (it == finds_.end())
    return fail(error::invalid_handle, false);
  const HANDLE h = it->second.release();
  finds_.erase(it);
  if (!::FindClose(h))
    return fail_native(false);
  return true;
}

} // namespace sys::win32
