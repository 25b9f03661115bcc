// Text helpers shared by the file layer and its users: the bounded name copy
// that folds code page 850 letters to Windows-1252 capitals, and fixed-width
// decimal fields.
#pragma once

#include <cstdint>

namespace sys {

// Longest path the file layer hands to the platform; longer paths are cut.
inline constexpr int max_path_chars = 256;

// Copies source into dest until max bytes are copied or a byte equal to
// terminator, or the source's NUL, is met (neither is copied), writes a NUL behind the
// copy, then replaces each code page 850 letter of the copy (Ä Å Ö É Æ Ü Ø È Á À
// and their small forms) by its Windows-1252 capital; other bytes stay.
// dest must hold max + 1 bytes. max below 0 copies nothing.
void fold_name_copy(char* dest, const char* source, unsigned char terminator, int max);

// The Windows-1252 capital that fold_name_copy gives code page 850 byte c, or c.
unsigned char fold_cp850_letter(unsigned char c);

// The code page 850 capital of Windows-1252 capital c (Ä → 0x8E, ...), or c.
unsigned char unfold_cp1252_capital(unsigned char c);

// Writes exactly width characters to out: the low 16 bits of value as an
// unsigned decimal number, right-aligned, leading zeros as blanks (the last
// position always keeps its digit), only the last width digits when longer.
// No terminator. width 0 or less writes nothing. Returns 0.
int format_unsigned_field(std::int32_t value, int width, char* out);

// Like format_unsigned_field for the signed 32-bit value: its magnitude's last
// width digits, leading zeros blank, and a minus sign right in front of the
// first digit when the value is negative and a blank is left for it; when the
// digits fill the field no sign is written. The most negative value writes the
// digits of 2147483648. Returns 0.
int format_signed_field(std::int32_t value, int width, char* out);

} // namespace sys
