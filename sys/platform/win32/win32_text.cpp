// Windows-1252 and UTF-8 to and from UTF-16 for the Win32 backends.
#include "sys/platform/win32/win32_text.h"

#include "sys/platform/win32/win32_api.h"

#include "sys/cp1252.h"

#include <cstdint>

namespace sys::win32 {

namespace {

constexpr bool is_high_surrogate(wchar_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

constexpr bool is_low_surrogate(wchar_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

std::wstring to_wide(std::string_view text) {
  std::wstring out(text.size(), L'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    out[i] = static_cast<wchar_t>(cp1252_code_point(static_cast<unsigned char>(text[i])));
  return out;
}

int cp1252_byte_of(wchar_t unit) {
  return cp1252_byte(static_cast<char32_t>(static_cast<std::uint16_t>(unit)));
}

std::string from_wide(std::wstring_view text, bool* lossless) {
  std::string out;
  out.reserve(text.size());
  bool exact = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int b = cp1252_byte_of(text[i]);
    if (b >= 0) {
      out += static_cast<char>(b);
      continue;
    }
    // One character, one '?': a pair's low half goes with it.
    if (is_high_surrogate(text[i]) && i + 1 < text.size() && is_low_surrogate(text[i + 1]))
      ++i;
    out += '?';
    exact = false;
  }
  if (lossless)
    *lossless = exact;
  return out;
}

std::wstring from_utf8(std::string_view text) {
  if (text.empty())
    return {};
  const int size = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (n <= 0)
    return {};
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, out.data(), n);
  return out;
}

} // namespace sys::win32
