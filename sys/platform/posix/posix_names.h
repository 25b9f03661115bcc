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

// Forgets every remembered and held directory.
void forget_names();

// Reads the names of the directory open as dir (from its start; dir's read
// position moves) in large pieces, calling visit(name, d_type) for each entry
// but "." and "..". Returns 0, or the errno that cut the listing short.
int read_names(int dir, const std::function<void(std::string_view, unsigned char)>& visit);

// A directory found once and held open, so that the next file there needs
// no walk: key names what it was found for (a base and the path below it, or
// a drive-form directory, with the drive map they were resolved with), native
// is its path. It serves only while native still leads to it; from the
// position no_links_from of native on, it must lead there through
// directories, not through symbolic links (the components below a base,
// which a walk below it would never follow).
class held_directory {
public:
  static constexpr std::size_t links_followed = std::string::npos;

  // The held directory's descriptor when it is held under key and native
  // still leads to it (st: its status, just taken); otherwise -1, and it is
  // let go.
  int serve(const std::string& key, struct stat& st);
  // Holds dir (status st) under key; returns its descriptor.
  int hold(std::string key, std::string native, unique_fd dir, const struct stat& st,
           std::size_t no_links_from = links_followed);
  void forget();
  const std::string& native() const { return native_; }

private:
  // Whether native_ still leads to the held directory; st: its status.
  bool leads_here(struct stat& st) const;

  std::string key_;
  std::string native_;
  std::size_t no_links_from_ = links_followed;
  unique_fd dir_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

// The directory that creates below a base last walked to, and the one that
// opens by path last opened a file in.
held_directory& held_below();
held_directory& held_by_path();

// What finding a directory depends on besides the file system: the text that
// names it, the drive map and the home directory (the default map's C:).
// Empty for a text that is not a drive path (it depends on the working
// directory too): such directories are not held.
std::string held_key(std::string_view drive_path, std::string_view below = {});

} // namespace sys::posix
