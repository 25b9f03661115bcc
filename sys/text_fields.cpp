// Name folding between code page 850 and Windows-1252, and fixed-width decimals.
#include "sys/text_fields.h"

#include <array>

namespace sys {

namespace {

// Code page 850 letters and the Windows-1252 capitals they fold to. No value
// on the right is a key on the left, so one lookup per byte is enough.
struct fold_pair {
  unsigned char cp850;
  unsigned char cp1252;
};
constexpr std::array<fold_pair, 20> fold_table{{
    {0x8E, 0xC4}, {0x8F, 0xC5}, {0x99, 0xD6}, {0x90, 0xC9}, {0x92, 0xC6}, // Ä Å Ö É Æ
    {0x9A, 0xDC}, {0x9D, 0xD8}, {0xD4, 0xC8}, {0xB5, 0xC1}, {0xB7, 0xC0}, // Ü Ø È Á À
    {0x84, 0xC4}, {0x86, 0xC5}, {0x94, 0xD6}, {0x82, 0xC9}, {0x91, 0xC6}, // ä å ö é æ
    {0x81, 0xDC}, {0x9B, 0xD8}, {0x8A, 0xC8}, {0xA0, 0xC1}, {0x85, 0xC0}, // ü ø è á à
}};

// Writes the last `width` decimal digits of magnitude, blanking leading zeros
// except in the last position. Returns the number of positions blanked.
int write_digits(std::uint32_t magnitude, int width, char* out) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  int blanked = 0;
  while (blanked < width - 1 && out[blanked] == '0')
    out[blanked++] = ' ';
  return blanked;
}

} // namespace

unsigned char fold_cp850_letter(unsigned char c) {
  for (const auto& pair : fold_table)
    if (pair.cp850 == c)
      return pair.cp1252;
  return c;
}

unsigned char unfold_cp1252_capital(unsigned char c) {
  // The first ten rows hold the capitals; small letters have no way back.
  for (std::size_t i = 0; i < 10; ++i)
    if (fold_table[i].cp1252 == c)
      return fold_table[i].cp850;
  return c;
}

void fold_name_copy(char* dest, const char* source, unsigned char terminator, int max) {
  int n = 0;
  // A NUL ends the source whatever the terminator: the copy never reads past
  // the end of a text.
  while (n < max && source[n] != '\0' && static_cast<unsigned char>(source[n]) != terminator) {
    dest[n] = source[n];
    ++n;
  }
  dest[n] = '\0';
  for (int i = 0; i < max_path_chars && dest[i] != '\0'; ++i)
    dest[i] = static_cast<char>(fold_cp850_letter(static_cast<unsigned char>(dest[i])));
}

int format_unsigned_field(std::int32_t value, int width, char* out) {
  if (width > 0)
    write_digits(static_cast<std::uint16_t>(value), width, out);
  return 0;
}

int format_signed_field(std::int32_t value, int width, char* out) {
  if (width <= 0)
    return 0;
  // Unsigned negation keeps the most negative value well defined: 2147483648.
  const std::uint32_t magnitude =
      value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  const int blanked = write_digits(magnitude, width, out);
  if (value < 0 && blanked >= 1)
    out[blanked - 1] = '-';
  return 0;
}

} // namespace sys
