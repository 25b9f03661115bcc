// Finding the end of the archive in front of an Authenticode certificate
// table, and decoding the archive trailer there.
#include "archive/trailer.h"

#include "sys/little_endian.h"

namespace archive {

namespace {

// The parts of the PE headers read: the DOS header's e_lfanew, the "PE\0\0"
// signature, the file header's SizeOfOptionalHeader, and in the optional
// header its magic, NumberOfRvaAndSizes and data directory 4 (security).
constexpr std::uint32_t dos_header_bytes = 64;
constexpr std::uint32_t lfanew_at = 0x3C;
constexpr std::uint32_t file_header_bytes = 20;
constexpr std::uint32_t optional_size_at = 4 + 16; // behind the signature
constexpr std::uint32_t optional_header_at = 4 + file_header_bytes;
constexpr std::uint16_t pe32_magic = 0x10B;
constexpr std::uint16_t pe32_plus_magic = 0x20B;
constexpr std::uint32_t security_directory = 4;
constexpr std::uint32_t directory_entry_bytes = 8;
// Offsets in the optional header of NumberOfRvaAndSizes, which the data
// directories follow: PE32, then PE32+.
constexpr std::uint32_t pe32_directory_count_at = 92;
constexpr std::uint32_t pe32_plus_directory_count_at = 108;
// Room for the headers up to the end of the PE32+ security directory entry.
constexpr std::uint32_t pe_header_bytes = optional_header_at + pe32_plus_directory_count_at + 4 +
                                          (security_directory + 1) * directory_entry_bytes;

using sys::get_le16;
using sys::get_le32;

// The certificate table's offset, or length when the file has none.
std::uint32_t certificate_table(sys::file_handle file, std::uint32_t length) {
  std::uint8_t dos[dos_header_bytes];
  if (length < dos_header_bytes || !read_at(file, 0, dos, dos_header_bytes) || dos[0] != 'M' ||
      dos[1] != 'Z')
    return length;
  const std::uint64_t pe_at = get_le32(dos + lfanew_at);
  if (pe_at + optional_header_at + 2 > length)
    return length;
  std::uint8_t pe[pe_header_bytes] = {};
  const auto available = static_cast<std::uint32_t>(
      length - pe_at < pe_header_bytes ? length - pe_at : pe_header_bytes);
  if (!read_at(file, static_cast<std::uint32_t>(pe_at), pe, available) || pe[0] != 'P' ||
      pe[1] != 'E' || pe[2] != 0 || pe[3] != 0)
    return length;
  const std::uint32_t optional_size = get_le16(pe + optional_size_at);
  const std::uint32_t magic = get_le16(pe + optional_header_at);
  std::uint32_t count_at = 0;
  if (magic == pe32_magic)
    count_at = pe32_directory_count_at;
  else if (magic == pe32_plus_magic)
    count_at = pe32_plus_directory_count_at;
  else
    return length;
  // The security entry must lie inside the optional header as its size
  // declares it, and inside what could be read.
  const std::uint32_t entry_at = count_at + 4 + security_directory * directory_entry_bytes;
  if (optional_size < entry_at + directory_entry_bytes ||
      optional_header_at + entry_at + directory_entry_bytes > available ||
      get_le32(pe + optional_header_at + count_at) <= security_directory)
    return length;
  const std::uint64_t table_at = get_le32(pe + optional_header_at + entry_at);
  const std::uint64_t table_size = get_le32(pe + optional_header_at + entry_at + 4);
  const std::uint64_t headers_end = pe_at + optional_header_at + optional_size;
  if (table_size == 0 || table_at < headers_end || table_at + table_size != length)
    return length;
  return static_cast<std::uint32_t>(table_at);
}

} // namespace

bool read_at(sys::file_handle file, std::uint32_t offset, std::uint8_t* out, std::uint32_t n) {
  const std::int32_t here = sys::file_seek(file, 0, sys::seek_from::current);
  if (here < 0)
    return false;
  const bool ok =
      sys::file_seek(file, offset, sys::seek_from::start) >= 0 &&
      sys::file_read(file, out, static_cast<std::uint16_t>(n)) == static_cast<std::int16_t>(n);
  sys::file_seek(file, static_cast<std::uint32_t>(here), sys::seek_from::start);
  return ok;
}

std::int32_t find_archive_end(sys::file_handle file) {
  const std::int32_t length = sys::file_seek(file, 0, sys::seek_from::end);
  if (length < 0)
    return -1;
  return static_cast<std::int32_t>(certificate_table(file, static_cast<std::uint32_t>(length)));
}

std::uint32_t end_of_archive_total(const std::uint8_t* record) {
  return get_le32(record + 1);
}

archive_trailer decode_archive_trailer(const std::uint8_t* tail) {
  archive_trailer t;
  const std::uint8_t* stem = tail + end_of_archive_bytes;
  if (tail[0] == record::end_of_archive && is_usable_stem(reinterpret_cast<const char*>(stem))) {
    t.installer = true;
    t.total = end_of_archive_total(tail);
    for (std::size_t i = 0; i < t.stem.size(); ++i)
      t.stem[i] = static_cast<char>(stem[i]);
  } else if (tail[trailer_bytes] == record::end_of_archive) {
    t.total = end_of_archive_total(tail + trailer_bytes);
  }
  return t;
}

bool read_archive_trailer(sys::file_handle file, archive_trailer& out) {
  out = archive_trailer{};
  std::uint8_t tail[archive_trailer_bytes] = {};
  const std::int32_t end = find_archive_end(file);
  if (end < archive_trailer_bytes ||
      !read_at(file, static_cast<std::uint32_t>(end - archive_trailer_bytes), tail,
               archive_trailer_bytes))
    return false;
  out = decode_archive_trailer(tail);
  return true;
}

} // namespace archive
