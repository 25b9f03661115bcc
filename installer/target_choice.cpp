// The install target: drive survey, space needed, drive and name choice.
#include "installer/target_choice.h"

#include "installer/texts.h"
#include "sys/drive.h"
#include "sys/file_layer.h"
#include "ui/painting.h"

#include <cstring>

namespace installer {

namespace {

constexpr std::int32_t smallest_counted_kb = 10;
constexpr int name_letter_at = 3 + stem_bytes; // "C:\" + stem
constexpr const char* probe_name = "TEST.TST";

// The first qualifying entry from first to 23, or -1.
int scan(const target_choice& c, int first) {
  for (int k = first; k < surveyed_drives; ++k)
    if (qualifies(c, k))
      return k;
  return -1;
}

void show_no_room(target_choice& c) {
  c.no_room = true;
  ui::text_lines[1] = text::no_disk_space;
  ui::text_lines[2] = text::cannot_install;
}

} // namespace

void survey_drives(target_choice& c) {
  for (int k = 0; k < surveyed_drives; ++k) {
    const std::int32_t free = sys::drive_free_kb(static_cast<char>('C' + k));
    c.free_kb[static_cast<std::size_t>(k)] = free < smallest_counted_kb ? 0 : free;
  }
}

std::int64_t space_needed(std::int32_t archive_total) {
  return (2 * static_cast<std::int64_t>(archive_total) + 2000000) / 1000000;
}

bool qualifies(const target_choice& c, int k) {
  return c.free_kb[static_cast<std::size_t>(k)] / 1000 > c.space_needed;
}

bool find_free_name(target_choice& c) {
  char probe[sizeof c.target + 8];
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    c.target[name_letter_at] = letter;
    std::memcpy(probe, c.target.data(), 12);
    std::memcpy(probe + 12, probe_name, 9);
    // An existing probe file means an existing directory; it is left as it is.
    sys::scoped_file existing(sys::file_open(probe, sys::open_mode::read_shared));
    if (existing.ok())
      continue;
    sys::scoped_file created(sys::file_open(probe, sys::open_mode::create));
    if (!created.ok())
      return true; // no such directory: this name is free
  }
  return false;
}

void choose_target(target_choice& c) {
  const int start = c.drive_index;
  int found = -1;
  if (c.trailer_valid && start < 25) {
    if (start >= 24) {
      c.drive_index = 0;
      found = scan(c, 0);
    } else {
      found = scan(c, start);
      if (found < 0 && start > 0)
        found = scan(c, 0);
    }
  }
  if (found < 0) {
    if (c.trailer_valid && start < 25)
      c.drive_index = 24;
    show_no_room(c);
    return;
  }
  c.drive_index = found;
  c.target = {static_cast<char>('C' + found), ':', '\\'};
  std::memcpy(c.target.data() + 3, c.stem.data(), stem_bytes);
  c.target[name_letter_at] = 'A';
  c.target[name_letter_at + 1] = '\\';
  c.target[name_letter_at + 2] = '\0';
  if (!find_free_name(c)) {
    c.target[0] = '\0'; // no name left: nothing to propose
    show_no_room(c);
    return;
  }
  c.no_room = false;
  const std::size_t announcement = std::strlen(text::new_directory);
  std::memcpy(c.line2.data(), text::new_directory, announcement);
  std::memcpy(c.line2.data() + announcement, c.target.data(), 13);
  ui::text_lines[1] = c.line2.data();
  ui::text_lines[2] = text::press_install;
}

} // namespace installer
