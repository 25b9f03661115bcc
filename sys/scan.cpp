// Directory scanning: the one process-wide listing and its find record.
#include "sys/scan.h"

#include "sys/platform.h"
#include "sys/text_fields.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace sys {

namespace {

// The scan handle's states: none before the first scan, open after a
// successful scan_first (and for good after its last entry), failed after a
// scan_first that found nothing. scan_first leads from any state to open or
// failed; scan_next never changes the state.
enum class scan_state { none, open, failed };

scan_state state = scan_state::none;
native_handle scan_handle = invalid_handle_value;
find_data current;
std::array<std::uint8_t, find_record_bytes> record;
std::uint32_t failure = error::success;

// The failure behind an empty answer: "nothing (more) to list" is none.
std::uint32_t failure_of(std::uint32_t error) {
  return error == error::file_not_found || error == error::no_more_files ? error::success : error;
}

bool is_extended(const char* pattern) {
  return static_cast<unsigned char>(pattern[0]) == extended_prefix_byte;
}

// The next entry of the open scan; false (with failure set) when there is none.
bool next_entry() {
  platform& p = current_platform();
  if (p.find_next_file(scan_handle, &current))
    return true;
  failure = failure_of(p.last_error());
  return false;
}

// Plain listings show files only: skips directories. False when the listing
// has no further entry.
bool skip_directories() {
  while (current.attributes & attribute_directory)
    if (!next_entry())
      return false;
  return true;
}

// Fills the record from the current entry (have_entry) or as the end mark.
const std::uint8_t* finish_record(bool extended, bool have_entry) {
  record.fill(0);
  if (!have_entry)
    return record.data();

  // The short name, or the long name where the platform keeps no short name
  // (its first byte is a blank or below). The long name stands in whole. It
  // also stands in for a name that begins with '.': Windows gives ".git" the
  // short name GIT~1, which would hide the dot that keeps such directories out
  // of every package, and would make ".gitignore" GITIGN~1 on Windows only.
  const bool dot_name = current.long_name[0] == '.';
  const bool has_short = !dot_name && static_cast<unsigned char>(current.short_name[0]) >= 33;
  const char* name = has_short ? current.short_name : current.long_name;
  const std::size_t room = has_short ? sizeof current.short_name : sizeof current.long_name;
  const int limit = extended ? max_extended_name_bytes : max_plain_name_bytes;
  const std::size_t full = strnlen(name, room);
  const int length = static_cast<int>(std::min<std::size_t>(full, limit));
  // A name the record cannot hold whole names no entry: callers are told.
  if (full > static_cast<std::size_t>(limit) && current.error == error::success)
    current.error = error::filename_too_long;

  std::uint8_t* out = record.data() + (extended ? find_record_name_offset : 0);
  std::memcpy(out, name, static_cast<std::size_t>(length));
  current_platform().char_upper(reinterpret_cast<char*>(out), static_cast<std::uint32_t>(length));

  if (extended) {
    put_le32(record.data(), current.attributes);
    put_le32(record.data() + 5, current.size_low);
  } else {
    // Back to code page 850 capitals: Ä (0xC4) becomes 0x8E, and so on.
    for (int i = 0; i < length; ++i)
      out[i] = unfold_cp1252_capital(out[i]);
  }
  return record.data();
}

} // namespace

namespace {

// Ends the open scan, if any, as the next scan_first does.
void end_scan() {
  if (state == scan_state::open)
    current_platform().find_close(scan_handle);
}

// Starts a scan on a pattern ready for the platform (prefix included).
const std::uint8_t* start_scan(const char* work) {
  platform& p = current_platform();
  end_scan();
  failure = error::success;

  const bool extended = is_extended(work);
  const char* proper = work;
  if (extended) {
    // The prefix is four bytes; a shorter text has no pattern proper.
    const std::size_t length = std::strlen(work);
    proper += std::min<std::size_t>(length, extended_prefix_bytes);
  }

  scan_handle = p.find_first_file(proper, &current);
  if (scan_handle == invalid_handle_value) {
    failure = failure_of(p.last_error());
    state = scan_state::failed;
    return finish_record(extended, false);
  }
  state = scan_state::open;
  const bool have_entry = extended || skip_directories();
  return finish_record(extended, have_entry);
}

} // namespace

const std::uint8_t* scan_first(const char* pattern) {
  std::array<char, max_path_chars + 1> work;
  fold_name_copy(work.data(), pattern, 0, max_path_chars);
  return start_scan(work.data());
}

const std::uint8_t* scan_first_unfolded(const char* pattern) {
  const std::size_t prefix = is_extended(pattern) ? extended_prefix_bytes : 0;
  if (strnlen(pattern, prefix + max_path_chars + 1) > prefix + max_path_chars) {
    end_scan();
    state = scan_state::failed;
    failure = error::filename_too_long;
    return finish_record(prefix != 0, false);
  }
  return start_scan(pattern);
}

std::uint32_t scan_failure() {
  return failure;
}

std::uint32_t scan_entry_error() {
  return current.error;
}

const std::uint8_t* scan_next(const char* pattern) {
  const bool extended = is_extended(pattern);
  failure = error::success;
  if (state != scan_state::open)
    return finish_record(extended, false);
  bool have_entry = next_entry();
  if (have_entry && !extended)
    have_entry = skip_directories();
  return finish_record(extended, have_entry);
}

} // namespace sys
