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
  // Where the archive ends: the file size, or the offset of the Authenticode
  // certificate table of a signed installer (archive/trailer.h).
  std::uint32_t archive_end = 0;
  // The zero bytes between the stub and the marker record (known when the
  // archive total fits them): marker_offset - padding is the stub's size.
  std::uint32_t padding = 0;
};

// Called once per file, after its end-of-file record.
using file_reporter = void (*)(const inspected_file& file, void* context);

// Called for each way the archive differs from what the builder writes:
// stored_name is the file the problem lies in (its stored name cut at 255
// characters, "" outside a file), offset the offset in the installer file of
// the record concerned. code is 0 when text, a sentence, says what is wrong;
// for the problem the walk stops at it is the status extraction would give
// (marker_not_found, bad_top_record, bad_file_record, truncated_record or
// chunk_decode_failed, archive/run_archive_command.h) and text is "". The
// texts live only for the call.
using problem_reporter = void (*)(const char* stored_name, std::uint32_t offset, int code,
                                  const char* text, void* context);

struct inspect_reporters {
  file_reporter file = nullptr;       // may be null
  problem_reporter problem = nullptr; // may be null
  void* context = nullptr;            // passed to both
};

// Walks the archive in the file at path (drive form) as extraction reads it,
// decoding every chunk without writing anything, and checks it against what
// the builder writes:
//   - the marker record (01 0A 00, the marker characters, the strip length)
//     followed by the empty end-of-file record 03 00 00;
//   - stored names of 1 to 250 characters that begin with the source root
//     (their first strip + 1 characters, ending in a backslash, the same for
//     every file), that unpack below the target, and of which no two place
//     their file on one path as Windows compares names (upper-cased by
//     Windows-1252 rules);
//   - in each file at least one chunk; every chunk but the last decoding to
//     exactly 20,000 bytes and the last to fewer (an empty one behind a
//     multiple of 20,000); compressed chunks of at most 21,000 bytes and
//     nothing behind their zlib streams;
//   - the end-of-archive record with a total of the stub's size plus the
//     files' sizes, then exactly the ten trailer bytes when there is a stub,
//     and nothing when there is none. The archive ends at the file's end, or
//     at the certificate table of a signed installer;
//   - behind a stub, 0 to 7 zero bytes in front of the marker record that
//     bring the installer (up to a certificate table) to a length that is a
//     multiple of 8; they are no part of the total.
// Each difference found goes to to.problem and the walk goes on. Returns 0
// when the walk reached the archive's end, or the status extraction would
// give (archive/run_archive_command.h): source_open_failed when the file
// cannot be opened (nothing reported), marker_not_found, and for a damaged
// archive bad_top_record, bad_file_record, truncated_record or
// chunk_decode_failed, each of these also reported as a problem. A stored
// name that extraction refuses (output_create_failed) is a problem the walk
// goes on past. summary holds what was read up to the point of failure. Never
// throws; out of memory is source_open_failed.
int inspect_payload(const char* path, const inspect_reporters& to, payload_summary& summary);

} // namespace archive
