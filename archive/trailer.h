// Where an installer's archive ends. An installer signed with Authenticode
// carries a certificate table behind the archive: the PE security directory
// names it by file offset and size, and it ends where the file ends. The
// archive trailer (the end-of-archive record and the ten trailer bytes) is
// then the 15 bytes in front of the table instead of the file's last 15.
#pragma once

#include "sys/file_layer.h"

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

} // namespace archive
