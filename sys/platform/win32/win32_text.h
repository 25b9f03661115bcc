// Between the system's Windows-1252 texts and the UTF-16 of the Win32 "W"
// calls, whatever the ANSI code page of the machine: the Win32 backends (the
// platform and the window system) convert here, at their boundary, and call
// the wide functions only.
//
// Every Windows-1252 byte is one UTF-16 unit, so a path keeps its length.
#pragma once

#include <string>
#include <string_view>

namespace sys::win32 {

// Windows-1252 text as UTF-16 (the five undefined bytes as the C1 controls of
// the same number, as the system's UTF-8 conversion has them).
std::wstring to_wide(std::string_view text);

// UTF-16 text as Windows-1252. Each character Windows-1252 lacks becomes one
// '?' (a surrogate pair, or a lone surrogate, included); *lossless (when
// given) tells whether none did.
std::string from_wide(std::wstring_view text, bool* lossless = nullptr);

// The Windows-1252 byte of one UTF-16 unit, or -1 when it has none.
int cp1252_byte_of(wchar_t unit);

// UTF-16 of UTF-8, for the host texts of command-line programs (their
// arguments and the names of host files): "" for text that is not UTF-8.
std::wstring from_utf8(std::string_view text);

} // namespace sys::win32
