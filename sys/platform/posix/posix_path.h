// The POSIX drive map and the translation between drive-form and native paths.
#pragma once

#include "sys/platform/posix/posix_handle.h"
#include "sys/platform/posix/posix_names.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sys::posix {

// The environment variable that holds the drive map ("C=/abs/dir;D=/other").
inline constexpr const char* drive_map_variable = "VELMORA_DRIVES";

// One drive: its letter (upper case) and its directory, absolute and lexically
// normalised ("/" or a path without a trailing '/').
struct drive_mapping {
  char letter = 0;
  std::string dir;
};
using drive_map = std::vector<drive_mapping>;

// The drive map as the environment states it now. Unset: C: is $HOME and Z: is
// /. Malformed entries are skipped; the first entry of a letter counts.
drive_map read_drive_map();

// The drive of letter (either case), or nullptr when it has none.
const drive_mapping* find_drive(const drive_map& map, char letter);

// The drive whose directory holds native (absolute, normalised) most closely,
// or nullptr when none holds it.
const drive_mapping* drive_holding(const drive_map& map, std::string_view native);

// The absolute native path with empty and "." components dropped and ".."
// applied, lexically (never above "/").
std::string normalise_native(std::string_view absolute);

// The process's working directory; false when it cannot be had.
bool working_directory(std::string& out);

// Whether path begins with a drive prefix "X:".
bool has_drive_prefix(std::string_view path);

// '\' and '/' both separate components of a drive-form path.
constexpr bool is_separator(char c) {
  return c == '\\' || c == '/';
}

// Whether a drive-form component may name a file: no control characters and
// none of <>:"|?* (the wildcards * and ? allowed when wildcards is set).
bool is_valid_component(std::string_view component, bool wildcards);

// Resolves a drive-form path (Windows-1252) to a native UTF-8 path, matching
// existing components case-insensitively. Returns error::success or the error
// (path_not_found for an unmapped drive, invalid_name for a bad component).
// last, when given, receives what the lookup of the path's last component
// found (an empty name when the path does not end in a name).
std::uint32_t resolve_drive_path(std::string_view path, std::string& native,
                                 entry_match* last = nullptr);

// Resolves path as resolve_drive_path does, for opening it. When its
// directory can be held (see held_directory), through the held directory:
// dir receives that directory's descriptor, and the last component is looked
// up there; otherwise dir is AT_FDCWD. native receives the whole native path,
// last what the lookup of the last component found.
std::uint32_t locate_file(std::string_view path, int& dir, std::string& native, entry_match& last);

// A place below a directory: the directory that holds it, open (owned here,
// or held for the next walk), and what the lookup of its last component found
// (the name on disk, UTF-8, which may not exist yet).
struct below_path {
  unique_fd owned;
  int dir = -1;
  entry_match last;
};

// Finds relative (see platform::create_file_below) below the drive-form
// directory base. base is resolved by resolve_drive_path and opened, links
// followed; each directory component of relative is matched as
// resolve_drive_path matches it and opened with O_NOFOLLOW, and the last one
// is matched only. The directory reached is held open for the next walk to
// the same place (see held_directory). Returns error::success with out filled, or the error:
// invalid_parameter for no base or no relative, invalid_name for a relative path that is not plain,
// stopped_on_symlink for a directory component that is a link, path_not_found for a missing one or
// for a file in its place, or the error of base.
std::uint32_t walk_below(const char* base, const char* relative, below_path& out);

// Turns a native path (absolute, or relative to the working directory) into
// drive form, Windows-1252. Returns error::success or the error.
std::uint32_t native_to_drive_path(std::string_view native, std::string& drive_form);

// text with every byte upper-cased by the Windows-1252 rules.
std::string upper_cp1252(std::string_view text);

// Copies text and a NUL into out[size]; false (nothing written) when it does
// not fit.
bool copy_out(std::string_view text, char* out, std::uint32_t size);

} // namespace sys::posix
