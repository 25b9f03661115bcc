// What one engine call carries between the common preparation and the
// command's own work: arguments, recursion flag, work areas and slot table.
#pragma once

#include "archive/format.h"
#include "archive/run_archive_command.h"
#include "sys/file_layer.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace archive {

// The longest engine command looked at: a stub path's terminator is searched
// in the first 200 characters; the ten trailer bytes follow it.
inline constexpr int max_command_scan = 200;
// The source spec is taken up to this many characters.
inline constexpr int max_spec_chars = 200;

// The directory queue of a tree walk. Each slot holds the listing prefix (four
// bytes of value 1, which ask the scanner for every entry), a directory spec
// ending in "\*.*", and a NUL. A spec may be as long as a path (255
// characters); the queue holds up to max_slots directories. Slot 0 is the
// source spec, folded as every text a caller hands in; the names added to it
// come from listings and are not folded again.
class slot_table {
public:
  static constexpr int listing_prefix_bytes = 4;
  static constexpr int max_spec_bytes = 255;
  static constexpr int slot_bytes = listing_prefix_bytes + max_spec_bytes + 1;
  static constexpr int max_slots = 16384;

  // Appends a slot for spec[0..length); false when that source spec is too long or the
  // table is full (the slot is not added). May allocate: callers catch.
  bool append(const char* spec, int length);
  int count() const { return static_cast<int>(slots_.size()); }
  // The slot's full content (prefix, spec, NUL) and its spec alone.
  const char* content(int i) const { return slots_[static_cast<std::size_t>(i)].text.data(); }
  const char* spec(int i) const { return content(i) + listing_prefix_bytes; }
  // 4 + the length of the slot's source spec.
  int length(int i) const { return slots_[static_cast<std::size_t>(i)].length; }

private:
  struct slot {
    std::array<char, slot_bytes> text;
    int length;
  };
  std::vector<slot> slots_;
};

struct engine_call {
  const char* source = nullptr;
  char* spec = nullptr;
  // The engine command: at most 200 characters up to the first NUL or CR, the
  // terminator turned into a NUL, and for "PUA"/"PVA" the ten trailer bytes.
  std::array<char, max_command_scan + 1> command{};
  std::array<char, trailer_bytes> trailer{};
  bool has_terminator = false; // a NUL or CR was found in the first 200
  bool recursive = false;
  bool spec_too_long = false; // the source spec has more than max_spec_chars
  progress_hook hook;
  failure_report* report = nullptr;    // the caller's, or nullptr
  bool exact = false;                  // the caller's paths are not folded
  unsigned jobs = 1;                   // threads a build compresses on, 1..max_build_jobs
  const char* stored_prefix = nullptr; // a build's directory of stored names, or nullptr
  std::int64_t zip_date_limit = -1;    // ZIP dates in UTC up to this time, or local times

  // Opens one of the caller's paths: folded, unless the call is exact.
  sys::file_handle open_caller_path(const char* path, int mode) const {
    return exact ? sys::file_open_unfolded(path, mode) : sys::file_open(path, mode);
  }
  std::unique_ptr<std::uint8_t[]> read_area;   // work_area_bytes
  std::unique_ptr<std::uint8_t[]> record_area; // work_area_bytes
  slot_table slots;

  void progress(std::uint32_t consumed, std::uint32_t produced) const {
    if (hook.call)
      hook.call(consumed, produced, hook.context);
  }

  // Notes why the call stops and returns status, for `return call.fail(...)`.
  // path and other: NUL-terminated, or nullptr; cut to the report's room.
  int fail(int status, failure_reason why, const char* path = nullptr, std::uint32_t error = 0,
           const char* other = nullptr, std::uint32_t offset = 0);
  // As fail, with failure_reason::platform and the file layer's last error.
  int fail_platform(int status, const char* path);
};

// The commands' own work, after the common preparation. Each returns a status.
int extract_payload(engine_call& call); // "PI", "PJ"
int build_payload(engine_call& call);   // "PU", "PV", "PUA", "PVA"
int write_zip(engine_call& call);       // any command not beginning with 'P'
int decompress_test(engine_call& call); // "PB"
int compress_test(engine_call& call);   // "PC"

} // namespace archive
