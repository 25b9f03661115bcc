// Directories: creating and removing them, and listing them with FindFirstFileW.
#include "sys/platform/win32/win32_platform.h"

#include "sys/platform/win32/win32_text.h"

#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>

namespace sys::win32 {

namespace {

static_assert(std::size(WIN32_FIND_DATAW{}.cFileName) == max_long_name_bytes);
static_assert(std::size(WIN32_FIND_DATAW{}.cAlternateFileName) == max_short_name_bytes);

// Copies a name field of WIN32_FIND_DATAW as Windows-1252, '?' for each
// character it lacks (never longer: one byte per character, and a surrogate
// pair is one character); the copy is always NUL-terminated.
template <std::size_t N> void copy_name(char (&to)[N], const WCHAR (&from)[N]) {
  const std::size_t length = wcsnlen(from, N - 1);
  const std::string name = from_wide(std::wstring_view(from, length));
  std::memcpy(to, name.data(), name.size());
  to[name.size()] = '\0';
}

void fill(find_data& out, const WIN32_FIND_DATAW& native) {
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

namespace {

// CreateDirectoryW with default security, the handle inheritable by child
// processes.
bool create_wide_directory(const std::wstring& path) {
  SECURITY_ATTRIBUTES security{};
  security.nLength = sizeof security;
  security.lpSecurityDescriptor = nullptr;
  security.bInheritHandle = TRUE;
  return ::CreateDirectoryW(path.c_str(), &security) != FALSE;
}

} // namespace

bool platform::create_directory(const char* path) {
  return guarded(false, [&] {
    std::wstring wide;
    if (!wide_path(path, wide))
      return false;
    return create_wide_directory(wide) ? true : fail_native(false);
  });
}

bool platform::create_directory_below(const char* base, const char* relative) {
  return guarded(false, [&] {
    std::wstring path;
    if (const DWORD code = path_below(base, relative, false, path); code != NO_ERROR)
      return fail(code, false);
    return create_wide_directory(path) ? true : fail_native(false);
  });
}

namespace {

// Removes the entry at path, whose attributes are given, and first, for a
// directory that is no reparse point, everything below it. Keeps the first
// failure's error in first_error and carries on. An entry gone meanwhile
// counts as removed (the caller has seen the top exist): its absence must not
// stand in for a real failure after it.
void remove_entry(const std::wstring& path, DWORD attributes, DWORD& first_error) {
  const auto note = [&](BOOL done) {
    if (done)
      return;
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && first_error == NO_ERROR)
      first_error = error;
  };
  const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (directory && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    // Wide names throughout: an entry Windows-1252 cannot name is removed too.
    WIN32_FIND_DATAW entry{};
    unique_find find(::FindFirstFileW((path + L"\\*").c_str(), &entry));
    note(static_cast<bool>(find));
    for (bool more = static_cast<bool>(find); more; more = ::FindNextFileW(find.get(), &entry)) {
      const std::wstring name = entry.cFileName;
      if (name != L"." && name != L"..")
        remove_entry(path + L"\\" + name, entry.dwFileAttributes, first_error);
    }
  }
  if (attributes & FILE_ATTRIBUTE_READONLY)
    ::SetFileAttributesW(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
  note(directory ? ::RemoveDirectoryW(path.c_str()) : ::DeleteFileW(path.c_str()));
}

} // namespace

bool platform::remove_tree_below(const char* base, const char* relative) {
  return guarded(false, [&] {
    std::wstring path;
    if (const DWORD code = path_below(base, relative, false, path); code != NO_ERROR)
      return fail(code, false);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
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
  return guarded(false, [&] {
    std::wstring wide;
    if (!wide_path(path, wide))
      return false;
    return ::RemoveDirectoryW(wide.c_str()) ? true : fail_native(false);
  });
}

native_handle platform::find_first_file(const char* pattern, find_data* out) {
  return guarded(invalid_handle_value, [&] {
    if (!out)
      return fail(error::invalid_parameter, invalid_handle_value);
    std::wstring wide;
    if (!wide_path(pattern, wide))
      return invalid_handle_value;
    WIN32_FIND_DATAW native{};
    unique_find find(::FindFirstFileW(wide.c_str(), &native));
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
  return guarded(false, [&] {
    const auto it = finds_.find(find);
    if (it == finds_.end())
      return fail(error::invalid_handle, false);
    if (!out)
      return fail(error::invalid_parameter, false);
    WIN32_FIND_DATAW native{};
    if (!::FindNextFileW(it->second.get(), &native))
      return fail_native(false);
    fill(*out, native);
    return true;
  });
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
