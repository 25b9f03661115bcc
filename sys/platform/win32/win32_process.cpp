// The process: its program's path, program starts, profile, DOS times, host paths.
#include "sys/platform/win32/win32_platform.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace sys::win32 {

namespace {

// WinExec's results: out of memory (or no resources), and no such file.
constexpr std::uint32_t exec_out_of_memory = 0;
constexpr std::uint32_t exec_file_not_found = 2;

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
  const DWORD length = ::GetModuleFileNameA(nullptr, out, size);
  if (length == 0) {
    const DWORD code = ::GetLastError();
    out[0] = '\0';
    return fail(code, std::uint32_t{0});
  }
  if (length >= size) {
    // Cut: Windows XP leaves the copy without its NUL.
    out[size - 1] = '\0';
    return size - 1;
  }
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
    const UINT result = ::WinExec(quoted.c_str(), show);
    if (result <= 31) {
      const DWORD code = ::GetLastError();
      return fail(code != NO_ERROR ? code : result, static_cast<std::uint32_t>(result));
    }
    return result;
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
  return ::GetProfileStringA(section, key, fallback, out, size);
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
  if (!host_path || !out)
    return fail(error::invalid_parameter, false);
  if (size == 0)
    return fail(error::filename_too_long, false);
  // GetFullPathNameA resolves a relative path against the drive's working
  // directory, applies "." and "..", and turns '/' into '\'; it keeps the
  // last component as written, so "C:\DIR\***" and "*.*" stay patterns.
  const DWORD length = ::GetFullPathNameA(host_path, size, out, nullptr);
  if (length == 0) {
    const DWORD code = ::GetLastError();
    out[0] = '\0';
    return fail(code, false);
  }
  if (length >= size) {
    out[0] = '\0';
    return fail(error::filename_too_long, false);
  }
  // A network path (\\server\share) or a device path has no drive.
  if (length < 3 || !is_drive_form(out)) {
    out[0] = '\0';
    return fail(error::path_not_found, false);
  }
  // A trailing separator says "a directory": keep it.
  const std::size_t given = std::strlen(host_path);
  if (given != 0 && is_separator(host_path[given - 1]) && out[length - 1] != '\\') {
    if (length + 1 >= size) {
      out[0] = '\0';
      return fail(error::filename_too_long, false);
    }
    out[length] = '\\';
    out[length + 1] = '\0';
  }
  return true;
}

bool platform::drive_to_host_path(const char* drive_path, char* out, std::uint32_t size) {
  if (!drive_path || !out)
    return fail(error::invalid_parameter, false);
  // Drive form is Windows' own path form.
  const std::size_t length = std::strlen(drive_path);
  if (length >= size)
    return fail(error::filename_too_long, false);
  std::memcpy(out, drive_path, length + 1);
  return true;
}

} // namespace sys::win32
