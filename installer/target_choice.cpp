// The install target: drive survey, space needed, drive and name choice.
#include "installer/target_choice.h"

#include "installer/texts.h"
#include "sys/drive.h"
#include "sys/file_layer.h"
#include "sys/platform.h"
#include "sys/text_fields.h"
#include "ui/painting.h"

#include <cstring>

namespace installer {

namespace {

constexpr std::int32_t smallest_counted_kb = 10;
constexpr int name_letter_at = 3 + stem_bytes; // "C:\" + stem
constexpr const char* probe_name = "TEST.TST";

// Whether anything (a file included) has the name of the directory that
// c.target ends in, looked at as file_open folds it.
bool name_taken(const target_choice& c) {
  char name[sizeof c.target];
  sys::fold_name_copy(name, c.target.data(), 0, static_cast<int>(sizeof name) - 1);
  name[name_letter_at + 1] = '\0'; // without the closing backslash
  sys::platform& p = sys::current_platform();
  sys::find_data entry;
  const sys::native_handle find = p.find_first_file(name, &entry);
  if (find == sys::invalid_handle_value)
    return false;
  p.find_close(find);
  return true;
}

// Points c.target at drive entry k with the first free name there; false
// when every name A to Z is taken.
bool propose_on(target_choice& c, int k) {
  c.target = {static_cast<char>('C' + k), ':', '\\'};
  std::memcpy(c.target.data() + 3, c.stem.data(), stem_bytes);
  c.target[name_letter_at] = 'A';
  c.target[name_letter_at + 1] = '\\';
  c.target[name_letter_at + 2] = '\0';
  return find_free_name(c);
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

std::int64_t space_needed(std::uint32_t archive_total) {
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
    // No probe file can be made: free, unless something else has the name
    // (a plain file, or a directory that takes no new files).
    if (!created.ok() && !name_taken(c))
      return true;
  }
  return false;
}

void choose_target(target_choice& c) {
  const int start = c.drive_index;
  int found = -1;
  if (c.trailer_valid && start < 25) {
    // From the start index to Z:, then from C: up to it; a drive whose every
    // name is taken is passed over as one without room.
    const int first = start >= 24 ? 0 : start;
    for (int i = 0; i < surveyed_drives && found < 0; ++i) {
      const int k = (first + i) % surveyed_drives;
      if (qualifies(c, k) && propose_on(c, k))
        found = k;
    }
    c.drive_index = found < 0 ? 24 : found;
  }
  if (found < 0) {
    c.target[0] = '\0'; // nothing to propose
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
