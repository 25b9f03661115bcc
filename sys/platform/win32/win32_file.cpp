// Files: opening, reading, writing, seeking and closing, and buffered streams.
#include "sys/platform/win32/win32_platform.h"

#include "sys/platform/win32/win32_text.h"

#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace sys::win32 {

namespace {

// Whether h is a file on a disk. Names like CON, NUL or COM1 open a device in
// any directory; such opens are refused, as the POSIX backend refuses
// anything but a regular file.
bool is_disk_file(HANDLE h) {
  return ::GetFileType(h) == FILE_TYPE_DISK;
}

// _wfopen of path in mode, or nullptr with *code set to why not.
std::FILE* open_disk_stream(const std::wstring& path, const wchar_t* mode, std::uint32_t* code) {
  ::SetLastError(NO_ERROR);
  errno = 0;
  std::FILE* stream = ::_wfopen(path.c_str(), mode);
  if (!stream) {
    // The runtime's open leaves the error of the CreateFile beneath it; a
    // failure of the runtime's own (no stream or descriptor free) leaves none.
    const DWORD native = ::GetLastError();
    if (native != NO_ERROR)
      *code = native;
    else
      *code = errno == ENOMEM ? error::not_enough_memory : error::gen_failure;
    return nullptr;
  }
  const auto h = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
  if (!is_disk_file(h)) {
    std::fclose(stream);
    *code = error::access_denied;
    return nullptr;
  }
  return stream;
}

// stopped_on_symlink when an existing component of path from relative_start
// on is a reparse point: each one that ends in a backslash, and the whole
// path when with_last. NO_ERROR otherwise, a missing component included.
DWORD first_link_below(const std::wstring& path, std::size_t relative_start, bool with_last) {
  for (std::size_t i = relative_start; i <= path.size(); ++i) {
    if (i < path.size() ? path[i] != L'\\' : !with_last)
      continue;
    const DWORD attributes = ::GetFileAttributesW(path.substr(0, i).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
      return NO_ERROR; // missing: the call that follows fails on its own
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
      return error::stopped_on_symlink;
  }
  return NO_ERROR;
}

// What the handle's file information tells: size and times (Windows keeps no
// change time apart from the last write).
bool information_of(HANDLE h, file_information* out) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(h, &info))
    return false;
  out->size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  out->last_write_time = (std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                         info.ftLastWriteTime.dwLowDateTime;
  out->change_time = out->last_write_time;
  return true;
}

} // namespace

DWORD path_below(const char* base, const char* relative, bool with_last, std::wstring& path) {
  if (!base || !relative)
    return error::invalid_parameter;
  if (!is_plain_relative_path(relative))
    return error::invalid_name;
  path = to_wide(base);
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/')
    path += L'\\';
  const std::size_t relative_start = path.size();
  path += to_wide(relative);
  if (path.size() > max_native_path_chars)
    return error::filename_too_long;
  return first_link_below(path, relative_start, with_last);
}

bool platform::wide_path(const char* path, std::wstring& out) {
  if (!path)
    return fail(error::invalid_parameter, false);
  if (!module_ansi_.empty() && (module_ansi_ == path || module_folded_ == path)) {
    out = module_wide_;
    return true;
  }
  const std::string_view text(path);
  if (text.size() > max_native_path_chars)
    return fail(error::filename_too_long, false);
  out = to_wide(text);
  return true;
}

HANDLE platform::lookup_file(native_handle handle) {
  if (const auto it = files_.find(handle); it != files_.end())
    return it->second.get();
  last_error_ = error::invalid_handle;
  return nullptr;
}

HANDLE platform::transfer_file(native_handle handle, const void* buffer, std::uint32_t count,
                               std::uint32_t* done) {
  if (done)
    *done = 0;
  const HANDLE h = lookup_file(handle);
  if (h && !buffer && count != 0)
    return fail<HANDLE>(error::invalid_parameter, nullptr);
  return h;
}

native_handle platform::create_file(const char* path, std::uint32_t access, std::uint32_t share,
                                    disposition how, std::uint32_t attributes) {
  return guarded(invalid_handle_value, [&] {
    std::wstring wide;
    if (!wide_path(path, wide))
      return invalid_handle_value;
    unique_file file(::CreateFileW(wide.c_str(), access, share, nullptr, static_cast<DWORD>(how),
                                   attributes, nullptr));
    if (!file)
      return fail_native(invalid_handle_value);
    if (!is_disk_file(file.get()))
      return fail(error::access_denied, invalid_handle_value);

    return adopt(std::move(file));
  });
}

native_handle platform::adopt(unique_file&& file) {
  const native_handle value = to_native(file.get());
  auto [it, inserted] = files_.try_emplace(value);
  if (!inserted) {
    // A stale entry: its handle was closed behind this table's back and the
    // value reused. Forget it without closing the new handle.
    (void)it->second.release();
  }
  it->second = std::move(file);
  return value;
}

native_handle platform::create_file_below(const char* base, const char* relative,
                                          std::uint32_t access, std::uint32_t share,
                                          disposition how, std::uint32_t attributes) {
  return guarded(invalid_handle_value, [&] {
    std::wstring path;
    if (const DWORD code = path_below(base, relative, true, path); code != NO_ERROR)
      return fail(code, invalid_handle_value);

    // An existing file is opened as it is, never through a link, and looked
    // at before anything changes: only then is it emptied.
    const bool in_place = (access & access_write) || how == disposition::create_always;
    const DWORD wanted = access | (how == disposition::create_always ? GENERIC_WRITE : 0);
    unique_file file(::CreateFileW(path.c_str(), wanted, share, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file) {
      if (how == disposition::create_new)
        return fail(error::file_exists, invalid_handle_value);
      BY_HANDLE_FILE_INFORMATION info{};
      if (!::GetFileInformationByHandle(file.get(), &info))
        return fail_native(invalid_handle_value);
      if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return fail(error::stopped_on_symlink, invalid_handle_value);
      if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !is_disk_file(file.get()))
        return fail(error::access_denied, invalid_handle_value);
      if (in_place && info.nNumberOfLinks > 1)
        return fail(error::too_many_links, invalid_handle_value);
      if (how == disposition::create_always &&
          (::SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
           !::SetEndOfFile(file.get())))
        return fail_native(invalid_handle_value);
      return adopt(std::move(file));
    }
    const DWORD missing = ::GetLastError();
    if (missing != ERROR_FILE_NOT_FOUND || how == disposition::open_existing)
      return fail(missing, invalid_handle_value);
    file.reset(
        ::CreateFileW(path.c_str(), access, share, nullptr, CREATE_NEW, attributes, nullptr));
    if (!file)
      return fail_native(invalid_handle_value);
    if (!is_disk_file(file.get()))
      return fail(error::access_denied, invalid_handle_value);
    return adopt(std::move(file));
  });
}

bool platform::read_file(native_handle handle, void* buffer, std::uint32_t count,
                         std::uint32_t* done) {
  const HANDLE h = transfer_file(handle, buffer, count, done);
  if (!h)
    return false;
  DWORD read = 0;
  if (!::ReadFile(h, buffer, count, &read, nullptr))
    return fail_native(false);
  if (done)
    *done = read;
  return true;
}

bool platform::write_file(native_handle handle, const void* buffer, std::uint32_t count,
                          std::uint32_t* done) {
  const HANDLE h = transfer_file(handle, buffer, count, done);
  if (!h)
    return false;
  DWORD written = 0;
  const BOOL ok = ::WriteFile(h, buffer, count, &written, nullptr);
  const DWORD code = ok ? NO_ERROR : ::GetLastError();
  if (done)
    *done = written;
  return ok ? true : fail(code, false);
}

std::uint32_t platform::set_file_pointer(native_handle handle, std::uint32_t distance,
                                         move_method method) {
  const HANDLE h = lookup_file(handle);
  if (!h)
    return invalid_set_file_pointer;
  // The high part is given, and 0: the move is the unsigned 64-bit distance
  // 0:distance, so a distance of 2^31 or more goes forward, never back. With
  // the high part given, a result of INVALID_SET_FILE_POINTER is a failure
  // only when the thread's error says so; it is cleared first.
  LONG high = 0;
  ::SetLastError(NO_ERROR);
  const DWORD low =
      ::SetFilePointer(h, static_cast<LONG>(distance), &high, static_cast<DWORD>(method));
  if (low == INVALID_SET_FILE_POINTER) {
    if (const DWORD code = ::GetLastError(); code != NO_ERROR)
      return fail(code, invalid_set_file_pointer);
    last_error_ = error::success; // tells this position from a failure
  }
  return low;
}

bool platform::close_handle(native_handle handle) {
  const auto it = files_.find(handle);
  if (it == files_.end())
    return fail(error::invalid_handle, false);
  const HANDLE h = it->second.release();
  files_.erase(it);
  // The handle is gone whatever CloseHandle reports.
  if (!::CloseHandle(h))
    return fail_native(false);
  return true;
}

bool platform::get_file_information(native_handle handle, file_information* out) {
  const HANDLE h = lookup_file(handle);
  if (!h)
    return false;
  file_information info;
  if (!information_of(h, &info))
    return fail_native(false);
  if (out)
    *out = info;
  return true;
}

bool platform::set_end_of_file(native_handle handle) {
  const HANDLE h = lookup_file(handle);
  if (!h)
    return false;
  if (!::SetEndOfFile(h))
    return fail_native(false);
  return true;
}

std::FILE* platform::open_stream(const char* path, const wchar_t* mode) {
  return guarded<std::FILE*>(nullptr, [&]() -> std::FILE* {
    std::wstring wide;
    if (!wide_path(path, wide))
      return nullptr;
    std::uint32_t code = error::success;
    std::FILE* stream = open_disk_stream(wide, mode, &code);
    return stream ? stream : fail<std::FILE*>(code, nullptr);
  });
}

std::FILE* platform::open_read_stream(const char* path) {
  return open_stream(path, L"rb");
}

std::FILE* platform::open_write_stream(const char* path) {
  return open_stream(path, L"wb");
}

} // namespace sys::win32

namespace sys {

int seek_stream(std::FILE* stream, std::int64_t offset, int origin) {
  return ::_fseeki64(stream, offset, origin) == 0 ? 0 : -1;
}

std::int64_t tell_stream(std::FILE* stream) {
  return ::_ftelli64(stream);
}

bool stream_information(std::FILE* stream, file_information* out) {
  const auto h = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
  return h != INVALID_HANDLE_VALUE && win32::information_of(h, out);
}

} // namespace sys
