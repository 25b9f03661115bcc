// Where the payload goes: the drive survey, the space needed, the first drive
// with room from a start index, and the first free directory name there.
#pragma once

#include "archive/format.h"

#include <array>
#include <cstdint>

namespace installer {

// Drives C: to Z:.
inline constexpr int surveyed_drives = 24;
// The trailer's ten bytes begin with the seven-byte directory stem.
using archive::stem_bytes;

struct target_choice {
  std::array<std::int32_t, surveyed_drives> free_kb{}; // below 10 KB stored as 0
  std::int64_t space_needed = 0;                       // megabytes a drive must exceed
  int drive_index = 0;
  bool trailer_valid = false; // the archive trailer could be read and is one
  std::array<char, stem_bytes> stem{};
  // Drive, ":\", stem, name letter, "\" and a NUL: "C:\QXA0000A\".
  std::array<char, 13> target{};
  bool no_room = false;
  // Text line 2 for a found target: the announcement and the target.
  std::array<char, 48> line2{};
};

// Fills the free-space table from drive_free_kb for C: to Z: (A: and B: are
// never looked at); values below 10 KB count as 0.
void survey_drives(target_choice& c);

// (2 x total + 2,000,000) / 1,000,000, in 64-bit arithmetic: an archive total
// of 0 needs 2. The total is the trailer's unsigned 32-bit count.
std::int64_t space_needed(std::uint32_t archive_total);

// Whether drive entry k has more than the space needed: free KB / 1000 >
// space needed.
bool qualifies(const target_choice& c, int k);

// From the drive index: the first qualifying drive in letter order, wrapping
// from Z: to C: once, that has a free name (a drive whose names A to Z are all
// taken is passed over). Sets the target text with the first free name letter
// and points text lines 2 and 3 at the proposal; or sets the no-room state
// (also when the trailer is not valid) with an empty target text and points
// them at the no-room texts.
void choose_target(target_choice& c);

// Advances the name letter of c.target until the directory does not exist:
// an existing directory is recognised by its probe file TEST.TST, which is
// created (empty) where it is missing and left as it is where it exists; a
// name that anything else has (a file, a directory that takes no new file)
// is taken too. False when every letter to 'Z' is taken.
bool find_free_name(target_choice& c);

} // namespace installer
