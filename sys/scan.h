// Directory scanning: one process-wide listing, walked one entry per call, each
// answered in a 256-byte find record.
#pragma once

#include "sys/little_endian.h"

#include <cstdint>

namespace sys {

// The find record: one static area that every scan_first and scan_next fills
// and returns; the next call overwrites it, so callers copy what they keep.
//
// Plain form (the pattern's first byte is not 1): the entry name from byte 0,
// NUL-terminated, upper-cased and folded back to code page 850 capitals; only
// files are listed. An empty name means there is no entry.
//
// Extended form (the pattern starts with the four-byte prefix 1 1 1 1, the
// pattern proper following it): every entry, directories and the "." and ".."
// entries included, laid out as
//   bytes 0..3  attributes, 32-bit little-endian (0x10: a directory)
//   byte  4     0
//   bytes 5..8  size, low 32 bits, little-endian
//   bytes 9..   entry name, NUL-terminated, upper-cased Windows-1252 (not folded
//               back: the name can be opened again as it stands)
// The end of the listing is the record with bytes 0 to 9 all zero: an empty
// name. Callers read it through the accessors below.
//
// The entry name is the platform's short (8.3) name; where the platform keeps
// none (always on POSIX), the long name stands in whole, however long, cut only
// to the room the record has (255 bytes plain, 246 extended).
inline constexpr int find_record_bytes = 256;
inline constexpr int find_record_name_offset = 9;
inline constexpr int max_plain_name_bytes = find_record_bytes - 1;
inline constexpr int max_extended_name_bytes = find_record_bytes - find_record_name_offset - 1;

// The prefix of an extended-form pattern.
inline constexpr unsigned char extended_prefix_byte = 1;
inline constexpr int extended_prefix_bytes = 4;

// Ends the previous scan (if any) and starts one on pattern (cut to 256
// characters and folded; a directory path and a last component with the
// wildcards * and ?). Returns the record of the first entry; an empty name when
// nothing matches or the directory does not exist.
const std::uint8_t* scan_first(const char* pattern);

// As scan_first, for a pattern whose directory part is made of names that a
// listing returned: it is used as it stands, not folded, and one whose pattern
// proper is longer than 256 characters finds nothing (scan_failure then tells
// filename_too_long) instead of being cut.
const std::uint8_t* scan_first_unfolded(const char* pattern);

// Why the latest scan_first or scan_next answered with an empty name: 0 when
// the listing simply ended or nothing matched, else the platform error that
// cut it short (the directory is missing or cannot be read, the pattern is
// not a valid name). Callers that must see every entry tell the two apart.
std::uint32_t scan_failure();

// For the entry of the latest record: 0, or the platform error that using it
// gives (a symbolic link that leads nowhere or round in a circle), or
// filename_too_long when its name is longer than the record holds.
std::uint32_t scan_entry_error();

// The record of the next entry of the open scan; only the pattern's first byte
// is read, to choose the form. An empty name at the end of the scan, for as
// long as it is called, and when no scan was started or the last one found
// nothing. A scan stays open until the next scan_first.
const std::uint8_t* scan_next(const char* pattern);

// Reading an extended-form record.
inline bool find_record_is_end(const std::uint8_t* record) {
  return record[find_record_name_offset] == 0;
}
inline std::uint32_t find_record_attributes(const std::uint8_t* record) {
  return get_le32(record);
}
inline std::uint32_t find_record_size(const std::uint8_t* record) {
  return get_le32(record + 5);
}
inline bool find_record_is_directory(const std::uint8_t* record) {
  return (find_record_attributes(record) & 0x10u) != 0;
}
inline const char* find_record_name(const std::uint8_t* record) {
  return reinterpret_cast<const char*>(record + find_record_name_offset);
}

} // namespace sys
