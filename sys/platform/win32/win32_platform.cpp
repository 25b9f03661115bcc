// The Win32 backend's instance, its text calls and the terminal test.
#include "sys/platform/win32/win32_platform.h"

#include "sys/cp1252.h"

#include <cstring>

namespace sys {

platform& native_platform() {
  static win32::platform instance;
  return instance;
}

namespace win32 {

namespace {

// Copies text into out[size], cut to size - 1 bytes; false when it had to be
// cut (or there is no room even for the NUL).
bool copy_cut(const char* text, char* out, std::uint32_t size) {
  if (!out || size == 0)
    return false;
  const std::size_t length = std::strlen(text);
  const std::size_t n = length < size ? length : size - 1;
  std::memcpy(out, text, n);
  out[n] = '\0';
  return n == length;
}

} // namespace

std::uint32_t platform::char_upper(char* text, std::uint32_t length) {
  if (!text || length == 0)
    return 0;
  // By Windows-1252's letters, as CharUpperBuffA does on a Western system,
  // whatever the machine's ANSI code page.
  for (std::uint32_t i = 0; i < length; ++i)
    text[i] = static_cast<char>(cp1252_upper(static_cast<unsigned char>(text[i])));
  return length;
}

// The host's narrow text on Windows is UTF-8: velmora-pack takes its
// arguments wide and hands them on as UTF-8 (sys::host_arguments), and prints
// UTF-8.
bool platform::host_text_to_system(const char* text, char* out, std::uint32_t size) {
  return guarded(false, [&] {
    if (!text)
      return fail(error::invalid_parameter, false);
    bool lossless = true;
    if (!copy_cut(utf8_to_cp1252(text, &lossless).c_str(), out, size))
      return fail(error::filename_too_long, false);
    return lossless ? true : fail(error::invalid_name, false);
  });
}

bool platform::system_text_to_host(const char* text, char* out, std::uint32_t size) {
  return guarded(false, [&] {
    if (!text)
      return fail(error::invalid_parameter, false);
    if (!copy_cut(cp1252_to_utf8(text).c_str(), out, size))
      return fail(error::filename_too_long, false);
    return true;
  });
}

bool platform::is_terminal(int stream) {
  if (stream != 1 && stream != 2)
    return false;
  const HANDLE h = ::GetStdHandle(stream == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (h == nullptr || h == INVALID_HANDLE_VALUE)
    return false;
  // A character device may also be NUL or a serial port; only a console has
  // a console mode.
  DWORD mode = 0;
  return ::GetFileType(h) == FILE_TYPE_CHAR && ::GetConsoleMode(h, &mode) != 0;
}

bool platform::make_executable(const char*) {
  return true; // a Windows file carries no execute permission
}

} // namespace win32
} // namespace sys
