// The payload archive format: record types, sizes, the marker and the trailer.
//
// Installer file: stub bytes, marker record, empty end-of-file record, for each
// file a file-name record, chunk records and an end-of-file record, then the
// end-of-archive record and ten trailer bytes. The last 15 bytes (the
// end-of-archive record and the trailer bytes) form the archive trailer.
//
// Record header: type (1 byte), payload length (16 bits, little-endian).
//   1 file-name record   payload: the stored name, 1..250 bytes, no NUL
//   2 chunk record       payload: one zlib stream of at most 21,000 bytes that
//                        decodes to 0..20,000 bytes of the current file
//   3 end-of-file record payload: none
//   4 end-of-archive     no length: the archive total, 32-bit little-endian
// Marker record: 0x01 0x0A 0x00, the nine marker characters, the strip length.
#pragma once

#include <array>
#include <cstdint>

namespace archive {

namespace record {
inline constexpr std::uint8_t file_name = 1;
inline constexpr std::uint8_t chunk = 2;
inline constexpr std::uint8_t end_of_file = 3;
inline constexpr std::uint8_t end_of_archive = 4;
} // namespace record

inline constexpr int record_header_bytes = 3;
inline constexpr int end_of_archive_bytes = 5;
inline constexpr int trailer_bytes = 10;
inline constexpr int archive_trailer_bytes = end_of_archive_bytes + trailer_bytes; // 15

// Files are cut into pieces of this size, each compressed on its own.
inline constexpr int chunk_bytes = 20000;
// Room for one compressed chunk (zlib's bound for 20,000 bytes is 20,016).
inline constexpr int compressed_capacity = 21000;
// Room the extractor decodes one chunk into.
inline constexpr int decoded_capacity = 22000;
// Longest stored name; longer paths are cut when stored.
inline constexpr int max_stored_name = 250;
// Each work area of one engine call.
inline constexpr int work_area_bytes = 256000;

// The marker record is 13 bytes; the nine marker characters start at byte 3.
inline constexpr int marker_record_bytes = 13;
inline constexpr int marker_chars = 9;

// The template the marker record is made from: its first byte becomes
// marker_first and its last the strip length when the record is written. The
// nine marker characters are never held as one string (the extractor matches
// marker_first, then the template's bytes 1 to 8), so no program built from
// this code contains them and an installer's first occurrence is its marker
// record.
// It is defined out of line so that no compiler folds it with marker_first
// into one constant.
extern const std::array<char, 10> marker_template;
inline constexpr char marker_first = 'B';

// The first bytes of the trailer: the stem of the directory the installer
// proposes.
inline constexpr int stem_bytes = 7;

// Whether the stem's seven bytes can begin a directory name on every
// platform: no control character, none Windows forbids in names, and not
// made of dots and blanks only (Windows would cut those away).
bool is_usable_stem(const char* stem);

} // namespace archive
