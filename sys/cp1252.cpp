// Windows-1252 upper-casing and conversion between Windows-1252 and UTF-8.
#include "sys/cp1252.h"

#include <array>
#include <cstdint>

namespace sys {

namespace {

// Code points of the bytes 0x80-0x9F. The five bytes Windows-1252 leaves
// undefined map to the C1 control of the same number.
constexpr std::array<char32_t, 32> high_controls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    // Every code point of the table lies below U+10000.
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

constexpr bool is_continuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

} // namespace

char32_t cp1252_code_point(unsigned char c) {
  return c >= 0x80 && c < 0xA0 ? high_controls[c - 0x80] : char32_t{c};
}

int cp1252_byte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
    return static_cast<int>(cp);
  for (std::size_t i = 0; i < high_controls.size(); ++i) {
    if (high_controls[i] == cp)
      return static_cast<int>(0x80 + i);
  }
  return -1;
}

unsigned char cp1252_upper(unsigned char c) {
  if (c >= 'a' && c <= 'z')
    return static_cast<unsigned char>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
    return static_cast<unsigned char>(c - 0x20);
  switch (c) {
  case 0x9A: // š
  case 0x9C: // œ
  case 0x9E: // ž
    return static_cast<unsigned char>(c - 0x10);
  case 0xFF: // ÿ
    return 0x9F;
  default:
    return c;
  }
}

std::string cp1252_to_utf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    append_utf8(out, cp1252_code_point(static_cast<unsigned char>(c)));
  return out;
}

std::string utf8_to_cp1252(std::string_view text, bool* lossless) {
  std::string out;
  out.reserve(text.size());
  bool exact = true;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++i;
      continue;
    }
    // Length and the range of the second byte by the well-formed UTF-8 table:
    // this refuses overlong forms, surrogates and code points past U+10FFFF.
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    char32_t cp = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      cp = lead & 0x0F;
      low = lead == 0xE0 ? 0xA0 : 0x80;
      high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      cp = lead & 0x07;
      low = lead == 0xF0 ? 0x90 : 0x80;
      high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    std::size_t taken = 1;
    while (length != 0 && taken < length && i + taken < text.size()) {
      const auto next = static_cast<unsigned char>(text[i + taken]);
      const bool fits = taken == 1 ? next >= low && next <= high : is_continuation(next);
      if (!fits)
        break;
      cp = (cp << 6) | (next & 0x3F);
      ++taken;
    }
    if (length == 0 || taken < length) {
      // Malformed: each byte of the broken sequence stands for one '?'.
      out.append(taken, '?');
      exact = false;
    } else if (const int b = cp1252_byte(cp); b >= 0) {
      out += static_cast<char>(b);
    } else {
      out += '?';
      exact = false;
    }
    i += taken;
  }
  if (lossless)
    *lossless = exact;
  return out;
}

} // namespace sys
