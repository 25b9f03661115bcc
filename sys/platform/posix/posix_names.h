// Case-insensitive lookups of names in directories, with each directory's
// names remembered between lookups.
#pragma once

#include "sys/platform/posix/posix_handle.h"

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace sys::posix {

// What a lookup found for one component in one directory.
struct entry_match {
  std::string name;    // the name on disk (UTF-8), or the component itself
  bool exists = false; // whether an entry of that name is there
  mode_t type = 0;     // when it exists, its S_IFMT bits (links not followed), or
                       // 0 when the listing did not tell
};

// Finds the entry of a directory that a component (Windows-1252) names: the
// exact name when it exists, else the smallest name in byte order equal to it
// when both are upper-cased by the Windows-1252 rules, else nothing (the
// component itself, as UTF-8). The directory is the one open as dir, or, when
// dir is negative, the one at the native path dir_path ("" is "/").
//
// Lookups of names not found under their exact name are answered from the
// directory's names as last read, kept while the directory's device, inode and
// modification time are unchanged. A listing read within one timestamp tick of
// the directory's modification time is used once and read again next time:
// another process may change the directory within the same tick, which the
// modification time would not show. Never fails: a directory that cannot be
// read answers "nothing".
// dir_status, when given, is dir's status, just taken.
entry_match find_entry(int dir, const std::string& dir_path, std::string_view component,
                       const struct stat* dir_status = nullptr);

// Notes that this process made the entry name (UTF-8) in the directory open
// as dir, so its remembered names stay whole without being read again. Only
// the process's own change can be known this way; a change by another process
// within the same timestamp tick as one of them is the one the modification
// time cannot show.
// type: S_IFREG or S_IFDIR. A new directory is remembered as empty.
void note_created(int dir, const std::string& name, mode_t type);

// Forgets every remembered directory (for tests, and after changes whose
// directory is not known).
void forget_names();

// Reads the names of the directory open as dir (from its start; dir's read
// position moves) in large pieces, calling visit(name, d_type) for each entry
// but "." and "..". Returns 0, or the errno that cut the listing short.
int read_names(int dir, const std::function<void(std::string_view, unsigned char)>& visit);

// The directory a run of creates below one base last walked to, held open so
// that the next file there needs no walk: the key names the base, the path
// below it and the drive map they were resolved with. Given up whenever a
// call works on paths outside such a run (see forget_held_directory).
struct held_directory {
  std::string key;
  unique_fd dir;
};
held_directory& last_walked_directory();
void forget_held_directory();

} // namespace sys::posix
