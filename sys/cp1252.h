// Windows-1252, the system's 8-bit text encoding: upper-casing and conversion
// to and from UTF-8 for hosts whose names and terminals are UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sys {

// The Windows-1252 capital of byte c, as CharUpperBuffA gives it: a-z, the
// accented small letters 0xE0-0xFE (not 0xF7, the division sign) and
// š (0x9A), œ (0x9C), ž (0x9E), ÿ (0xFF); every other byte, ß and µ included,
// stays as it is.
unsigned char cp1252_upper(unsigned char c);

// Windows-1252 text as UTF-8. The five bytes Windows-1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 controls of the same number, as
// Windows converts them, so every byte string survives the round trip.
std::string cp1252_to_utf8(std::string_view text);

// UTF-8 text as Windows-1252. A character Windows-1252 cannot hold, and every
// byte of a malformed sequence, becomes '?', as Windows' ANSI calls do.
// Sets *lossless (when given) to whether no '?' was substituted.
std::string utf8_to_cp1252(std::string_view text, bool* lossless = nullptr);

// The Unicode code point of Windows-1252 byte c (the five undefined bytes give
// the C1 control of the same number). Every one lies below U+10000.
char32_t cp1252_code_point(unsigned char c);

// The Windows-1252 byte of code point cp, or -1 when Windows-1252 has none.
int cp1252_byte(char32_t cp);

} // namespace sys
