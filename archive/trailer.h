// Where an installer's archive ends. An installer signed with Authenticode
// carries a certificate table behind the archive: the PE security directory
// names it by file offset and size, and it ends where the file ends. The
// archive trailer (the end-of-archive record and the ten trailer bytes) is
// then the 15 bytes in front of the table instead of the file's last 15.
// Here too the one decoding of those 15 bytes.
#pragma once

#include "archive/format.h"
#include "sys/file_layer.h"

#include <array>
#include <cstdint>

namespace archive {

// Whole installers are built to a length that is a multiple of this, so that
// a signing tool, which pads an unsigned file with zeros to it before the
// certificate table, adds nothing.
inline constexpr std::uint32_t installer_alignment = 8;

// The largest installer: the installer reads its own file through the file
// layer, whose offsets end below 2^31.
inline constexpr std::uint32_t max_installer_bytes = 0x7FFFFFFF;

// The offset at which the archive of the open file ends: the offset of the
// certificate table when the file is a PE file (MZ header, e_lfanew, "PE\0\0",
// a PE32 or PE32+ optional header that holds the security directory) whose
// security directory lies behind the headers and ends exactly at the file's
// end; else the file's length. Any header that is cut short or names offsets
// outside the file means no certificate table. Every read stays inside the
// file. Returns -1 when the file's length cannot be had. The file position is
// left anywhere.
std::int32_t find_archive_end(sys::file_handle file);

// Reads n bytes at offset and puts the file position back, so that buffered
// reads of the file go on where they were. True when all n came.
bool read_at(sys::file_handle file, std::uint32_t offset, std::uint8_t* out, std::uint32_t n);

// The archive total of an end-of-archive record: the 32-bit little-endian
// number in the four bytes behind its type byte (record points at the type).
std::uint32_t end_of_archive_total(const std::uint8_t* record);

// What the archive trailer of a file holds.
struct archive_trailer {
  // An installer's: an end-of-archive record followed by ten trailer bytes
  // whose first seven are a stem is_usable_stem accepts.
  bool installer = false;
  // The archive total: an installer's, else that of the end-of-archive record
  // a bare payload archive ends with; 0 when neither is there.
  std::uint32_t total = 0;
  // An installer's stem; all zero otherwise.
  std::array<char, stem_bytes> stem{};
};

// Decodes the archive_trailer_bytes bytes in front of an archive's end:
// first as an installer's archive trailer, then as a bare payload archive's
// end-of-archive record in the last five.
archive_trailer decode_archive_trailer(const std::uint8_t* tail);

// Reads and decodes the archive trailer of the open file, in front of the end
// find_archive_end gives. False when the file's length cannot be had, the
// archive is shorter than the trailer or the read fails; out is then as
// default-constructed (no installer, total 0). The file position is left
// anywhere.
bool read_archive_trailer(sys::file_handle file, archive_trailer& out);

} // namespace archive
