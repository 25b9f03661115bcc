// Walking a payload archive without unpacking it: every file's stored name,
// size, chunks and compressed size, and the archive's own records, for
// listing and checking archives and installers.
#pragma once

#include "archive/format.h"

#include <array>
#include <cstdint>

namespace archive {

struct inspected_file {
  std::array<char, 256> name{}; // the stored name, NUL-terminated (cut at 255)
  std::uint64_t size = 0;       // decoded bytes
  std::uint32_t chunks = 0;
  std::uint64_t compressed = 0; // chunk payload bytes
  bool name_safe = false;       // unpacks below its target directory
};

struct payload_summary {
  std::uint32_t file_size = 0;
  std::uint32_t marker_offset = 0; // bytes in front of the marker record: the stub
  std::uint8_t strip = 0;
  std::uint32_t files = 0;
  std::uint64_t total_size = 0; // decoded bytes of all files
  std::uint64_t total_compressed = 0;
  bool has_end_record = false;
  std::uint32_t archive_total = 0; // from the end-of-archive record
  std::uint32_t end_offset = 0;    // just behind the end-of-archive record
  std::array<std::uint8_t, trailer_bytes> trailer{};
  bool has_trailer = false; // exactly ten bytes follow the end-of-archive record
};

// Called once per file, after its end-of-file record.
using file_reporter = void (*)(const inspected_file& file, void* context);

// Walks the archive in the file at path (drive form) as extraction reads it,
// decoding every chunk without writing anything. Returns 0, or the status
// extraction would give: 'n' cannot open, 'x' no marker, 'o', 'q', 'r', 's'
// damaged. summary holds what was read up to the point of failure.
int inspect_payload(const char* path, file_reporter report, void* context,
                    payload_summary& summary);

} // namespace archive
