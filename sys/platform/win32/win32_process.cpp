// The process: its program's path, program starts, profile, DOS times, host paths.
#include "sys/platform/win32/win32_platform.h"

#include "sys/cp1252.h"
#include "sys/platform/win32/win32_text.h"
#include "sys/text_fields.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace sys::win32 {

namespace {

// WinExec's results: out of memory (or no resources), and no such file.
constexpr std::uint32_t exec_out_of_memory = 0;
constexpr std::uint32_t exec_file_not_found = 2;
constexpr std::uint32_t exec_bad_format = 11;
constexpr std::uint32_t exec_started = 33;

// The years a DOS date holds.
constexpr WORD first_dos_year = 1980;
constexpr WORD last_dos_year = 2107;

// Whether path is in drive form: a letter, a colon and a backslash.
bool is_drive_form(const char* path) {
  const char letter = path[0];
  const bool is_letter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
  return is_letter && path[1] == ':' && path[2] == '\\';
}

bool is_separator(char c) {
  return c == '\\' || c == '/';
}

} // namespace

std::uint32_t platform::module_file_name(char* out, std::uint32_t size) {
  if (!out || size == 0)
    return fail(error::invalid_parameter, std::uint32_t{0});
  out[0] = '\0';
  // The ANSI bytes are what callers get and may write down (the installer's
  // completion record is read back as ANSI by the installed program); the
  // wide path, kept beside them, is what opens the file when they come back.
  const DWORD length = ::GetModuleFileNameA(nullptr, out, size);
  if (length == 0) {
    const DWORD code = ::GetLastError();
    out[0] = '\0';
    return fail(code, std::uint32_t{0});
  }
  if (length >= size) {
    // Cut: Windows XP leaves the copy without its NUL. A cut path names
    // another file, so it is not taken for the program's own.
    out[size - 1] = '\0';
    return size - 1;
  }
  guarded(false, [&] {
    std::wstring wide(MAX_PATH, L'\0');
    for (;;) {
      const DWORD n = ::GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
      if (n == 0)
        return false;
      if (n < wide.size()) {
        wide.resize(n);
        break;
      }
      wide.resize(wide.size() * 2);
    }
    std::string folded(out, length);
    for (char& c : folded)
      c = static_cast<char>(fold_cp850_letter(static_cast<unsigned char>(c)));
    module_wide_ = std::move(wide);
    module_ansi_.assign(out, length);
    module_folded_ = std::move(folded);
    return true;
  });
  return length;
}

std::uint32_t platform::win_exec(const char* command_line, std::uint32_t show) {
  return guarded(exec_out_of_memory, [&]() -> std::uint32_t {
    if (!command_line)
      return fail(error::invalid_parameter, exec_file_not_found);
    // The whole text is the program's path. Quoted, a blank in it is part of
    // the name: unquoted, "C:\PROGRAM FILES\APP.EXE" would first be tried as
    // C:\PROGRAM.EXE.
    std::string quoted = command_line;
    if (quoted.find_first_of(" \t") != std::string::npos && quoted.front() != '"')
      quoted = '"' + quoted + '"';
    // WinExec's own work, through CreateProcessW: the path may hold letters
    // the ANSI code page lacks. Its results are WinExec's: 33 for a start, the
    // error below 32 for a failure (11, not an executable, for any other).
    std::wstring wide = to_wide(quoted);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &started)) {
      const DWORD code = ::GetLastError();
      return fail(code != NO_ERROR ? code : exec_bad_format, code != NO_ERROR && code < 32
                                                                 ? static_cast<std::uint32_t>(code)
                                                                 : exec_bad_format);
    }
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return exec_started;
  });
}

std::uint32_t platform::profile_string(const char* section, const char* key, const char* fallback,
                                       char* out, std::uint32_t size) {
  if (!out || size == 0)
    return 0;
  if (!fallback)
    fallback = "";
  if (!section || !key) {
    // Without a section and a key Windows would list names instead.
    const std::size_t length = std::min<std::size_t>(std::strlen(fallback), size - 1);
    std::memcpy(out, fallback, length);
    out[length] = '\0';
    return static_cast<std::uint32_t>(length);
  }
  out[0] = '\0';
  return guarded(std::uint32_t{0}, [&] {
    std::wstring value(std::max<std::uint32_t>(size, 2), L'\0');
    const DWORD n = ::GetProfileStringW(to_wide(section).c_str(), to_wide(key).c_str(),
                                        to_wide(fallback).c_str(), value.data(),
                                        static_cast<DWORD>(value.size()));
    std::string text = from_wide(std::wstring_view(value.data(), n));
    // One byte per character, but a surrogate pair's two units give one '?'.
    if (text.size() > size - 1)
      text.resize(size - 1);
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
    return static_cast<std::uint32_t>(text.size());
  });
}

bool platform::file_time_to_local_dos(std::uint64_t file_time, std::uint16_t* dos_date,
                                      std::uint16_t* dos_time) {
  if (!dos_date || !dos_time)
    return fail(error::invalid_parameter, false);
  FILETIME utc{};
  utc.dwLowDateTime = static_cast<DWORD>(file_time);
  utc.dwHighDateTime = static_cast<DWORD>(file_time >> 32);
  FILETIME local{};
  if (!::FileTimeToLocalFileTime(&utc, &local))
    return fail_native(false);
  // Windows refuses years DOS cannot hold; Wine's FileTimeToDosDateTime takes
  // 2108 and later and wraps the year, so the range is checked here as well.
  SYSTEMTIME parts{};
  if (!::FileTimeToSystemTime(&local, &parts))
    return fail_native(false);
  if (parts.wYear < first_dos_year || parts.wYear > last_dos_year)
    return fail(error::invalid_parameter, false);
  WORD date = 0;
  WORD time = 0;
  if (!::FileTimeToDosDateTime(&local, &date, &time))
    return fail_native(false);
  *dos_date = date;
  *dos_time = time;
  return true;
}

bool platform::host_to_drive_path(const char* host_path, char* out, std::uint32_t size) {
  return guarded(false, [&] {
    if (!host_path || !out)
      return fail(error::invalid_parameter, false);
    if (size == 0)
      return fail(error::filename_too_long, false);
    out[0] = '\0';
    const std::wstring wide = from_utf8(host_path);
    if (wide.empty())
      return fail(*host_path ? error::invalid_name : error::path_not_found, false);
    // GetFullPathNameW resolves a relative path against the drive's working
    // directory, applies "." and "..", and turns '/' into '\'; it keeps the
    // last component as written, so "C:\DIR\***" and "*.*" stay patterns.
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
      const DWORD n =
          ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
      if (n == 0)
        return fail_native(false);
      if (n < full.size()) {
        full.resize(n);
        break;
      }
      full.resize(n);
    }
    // A name Windows-1252 cannot hold could never be opened from drive form.
    bool lossless = true;
    std::string path = from_wide(full, &lossless);
    if (!lossless)
      return fail(error::invalid_name, false);
    // A network path (\\server\share) or a device path has no drive.
    if (path.size() < 3 || !is_drive_form(path.c_str()))
      return fail(error::path_not_found, false);
    // A trailing separator says "a directory": keep it.
    const std::size_t given = std::strlen(host_path);
    if (given != 0 && is_separator(host_path[given - 1]) && path.back() != '\\')
      path += '\\';
    if (path.size() >= size)
      return fail(error::filename_too_long, false);
    std::memcpy(out, path.c_str(), path.size() + 1);
    return true;
  });
}

bool platform::drive_to_host_path(const char* drive_path, char* out, std::uint32_t size) {
  return guarded(false, [&] {
    if (!drive_path || !out)
      return fail(error::invalid_parameter, false);
    // Drive form is Windows' own path form; the host's text is UTF-8.
    const std::string host = cp1252_to_utf8(drive_path);
    if (host.size() >= size)
      return fail(error::filename_too_long, false);
    std::memcpy(out, host.c_str(), host.size() + 1);
    return true;
  });
}

} // namespace sys::win32
