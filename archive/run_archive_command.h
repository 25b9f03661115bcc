// The archive engine's one entry: extraction, building, ZIP packaging and the
// codec tests, selected by a short engine command and answered by a status code.
#pragma once

#include <array>
#include <cstdint>

namespace archive {

// Status codes: 0 for success, otherwise mostly a lower-case letter naming the
// failing step.
namespace status {
inline constexpr int success = 0;
inline constexpr int zip_create_failed = 'e';      // 101: the ZIP file cannot be created
inline constexpr int zip_entry_failed = 'f';       // 102: a ZIP entry cannot be opened
inline constexpr int zip_source_failed = 'g';      // 103: a source file cannot be opened
inline constexpr int unknown_command = 'h';        // 104: 'P' and an unknown second letter
inline constexpr int archive_create_failed = 'j';  // 106: archive or stub cannot be opened
inline constexpr int build_source_failed = 'k';    // 107: a source file cannot be opened,
                                                   //      or a path or the tree exceeds a limit
inline constexpr int source_open_failed = 'n';     // 110: the installer cannot be opened
inline constexpr int bad_top_record = 'o';         // 111: not a file-name or end record
inline constexpr int output_create_failed = 'p';   // 112: an output file cannot be created,
                                                   //      or its stored name is refused
inline constexpr int bad_file_record = 'q';        // 113: not a chunk or end-of-file record
inline constexpr int truncated_record = 'r';       // 114: a file's record cut short by the end
inline constexpr int chunk_decode_failed = 's';    // 115: a chunk does not decode
inline constexpr int marker_not_found = 'x';       // 120: no marker before the end
inline constexpr int codec_input_failed = 'y';     // 121: ZIPIN.TXT cannot be opened
inline constexpr int codec_output_failed = 'z';    // 122: ZIPUT.TXT cannot be created
inline constexpr int compress_input_failed = 130;  // ZIPORG.TXT cannot be opened
inline constexpr int compress_output_failed = 131; // ZIPIN.TXT cannot be created
} // namespace status

// The result block: 0, 5, 0, the status as five right-aligned decimal
// characters with leading blanks, 0.
inline constexpr int result_block_bytes = 9;

// Called after every chunk by "PJ" (compressed total, decoded total) and by
// "PV"/"PVA" (archive total, compressed total); context is passed through.
// "PJ" also calls found once, before any call, with the file offset of the
// payload archive's first record: what lies before it is the stub (and the
// few zero bytes that may pad it).
struct progress_hook {
  void (*call)(std::uint32_t consumed, std::uint32_t produced, void* context) = nullptr;
  void* context = nullptr;
  void (*found)(std::uint32_t archive_offset, void* context) = nullptr;
};

// Why a call stopped, beyond its status: what the engine could not do, for
// callers that tell people which file failed and why.
enum class failure_reason {
  none,
  platform,             // a platform call failed on path; error holds its Win32 code
  path_too_long,        // path exceeds the length the engine takes
  name_too_long,        // path would be stored under more than 250 characters
  duplicate_name,       // path and other would get one stored name
  changed_while_read,   // path changed size or time while it was read
  archive_too_large,    // the archive total would exceed 4,294,967,295 bytes
  installer_too_large,  // an installer would exceed max_installer_bytes (archive/trailer.h)
  too_many_directories, // the tree has more directories than a walk takes
  marker_in_stub,       // the stub holds the marker characters
  unsafe_name,          // a stored name would leave the target directory
  damaged,              // the archive is damaged at offset (path: the stored name, if any)
};

struct failure_report {
  failure_reason reason = failure_reason::none;
  std::uint32_t error = 0;       // the platform error, for failure_reason::platform
  std::array<char, 260> path{};  // drive form, or a stored name; NUL-terminated
  std::array<char, 260> other{}; // duplicate_name: the path met first
  std::uint32_t offset = 0;      // damaged: the archive offset of the record;
                                 // name_too_long: the stored name's length
};

// How a call goes about its work, beyond what the command asks.
struct engine_options {
  // The source path, the directory to pack or the target directory, and the
  // stub path are used as they stand instead of folded from code page 850:
  // for callers whose drive-form texts name real entries (paths of the host
  // turned into drive form), which folding would turn into other names.
  bool exact = false;
  // The threads that compress a build's chunks ("PU", "PV", "PUA", "PVA"),
  // the calling thread among them; 0 counts as 1, more than max_build_jobs as
  // max_build_jobs. The archive and the progress hook's calls are the same for
  // every count. Programs built without threads (the Windows ones) and every
  // other command work on the calling thread alone.
  unsigned jobs = 1;
  // The directory a build ("PU", "PV", "PUA", "PVA") stores names under, in
  // drive form and ending in a backslash (such as S:\), used as given: each
  // file is opened under the source spec's directory, and stored as this text
  // followed by its path below that directory; the strip length is the index
  // of the text's last backslash. The archive then does not depend on where
  // the tree lies. Stored names stay within 250 characters, the paths opened
  // within 255. nullptr stores names under the source spec's own directory.
  const char* stored_prefix = nullptr;
  // ZIP packaging: from 0 on, a time in seconds since 1970-01-01 UTC (as
  // SOURCE_DATE_EPOCH gives it); entry dates are then the files' times in
  // UTC, a later one taken as this time, so the ZIP file does not depend on
  // the time zone. Below 0, entry dates are the files' local times.
  std::int64_t zip_date_limit = -1;
};

// The most threads a build compresses on: each holds a deflate state of
// about 260 KB, so 32 and their pieces stay within 16 MB of memory, and one
// reading thread still feeds them.
inline constexpr unsigned max_build_jobs = 32;

// The job count that puts every processor to work: their number (at least
// 1), or 1 where builds have no threads.
unsigned default_build_jobs();

// Runs one engine command.
//   source  "PI"/"PJ": the file holding the payload archive; "PU"/"PV"/"PUA"/
//           "PVA": the archive file to create; ZIP: the ZIP file to create.
//   spec    writable text. Extraction: the target directory, ending in a
//           backslash. Building and ZIP: the source spec, a directory path and
//           a file pattern; a "***" pattern asks for all subdirectories and is
//           changed in place to "*.*".
//   command "PI"/"PJ" extract, "PU"/"PV" build, "PUA"/"PVA" + stub path + NUL
//           (or CR) + ten trailer bytes build an installer, "PB"/"PC" codec
//           tests, any text not beginning with 'P' ZIP packaging. Only the first
//           three characters select; the caller's text is not changed.
//   result  receives the result block (result_block_bytes) on every return.
//   hook    progress reporting for "PJ", "PV" and "PVA"; none by default.
//   report  when given, reset and, on failure, filled with what failed and why.
//   options exact paths, the build's job count and stored prefix; by default
//           folded paths, one thread and names under the tree pattern's
//           directory.
// Returns the status code. Never throws; every file it opens is closed, and
// every thread it starts has ended.
int run_archive_command(const char* source, char* spec, const char* command, std::uint8_t* result,
                        progress_hook hook = {}, failure_report* report = nullptr,
                        engine_options options = {});

} // namespace archive
