// The installer's main line.
#include "installer/installer.h"

#include "archive/format.h"
#include "archive/run_archive_command.h"
#include "archive/trailer.h"
#include "installer/target_choice.h"
#include "installer/texts.h"
#include "sys/file_layer.h"
#include "sys/platform.h"
#include "ui/colour_scheme.h"
#include "ui/key_codes.h"
#include "ui/main_window.h"
#include "ui/painting.h"

#include <cstdio>
#include <cstring>

namespace installer {

namespace {

// The key codes the dialogue acts on are the screen's.
namespace key = ui::key;

// The completion record's name below the target; its third character
// becomes the backslash.
constexpr const char* record_template = "VVxQXNSSIN.TXT";
constexpr const char* program_name = "QXW32.EXE";
constexpr int record_target_chars = 80;
constexpr int launch_target_chars = 50;

enum class outcome { cancelled, installed, failed };

struct button_spec {
  const char* text;
  int id;
  int x;
  std::uint32_t extra_style;
  int slot;
};

// In creation order; the slot is the focus index.
constexpr button_spec button_specs[] = {
    {text::choose_disk, key::next_disk, 50, 0, 2},
    {text::install, key::install, 170, ui::window_style::def_push_button, 0},
    {text::cancel, key::cancel, 290, 0, 1},
};

// Text line 3 during the extraction: the words and the percentage of the
// files' bytes decoded so far, repainted whenever the number changes. Between
// repaints only paint messages are handled, so the window stays drawn and
// input waits (and is discarded when the extraction ends).
class progress_line {
public:
  explicit progress_line(std::uint32_t archive_total) : total_(archive_total) {}

  archive::progress_hook hook() {
    archive::progress_hook h;
    h.call = [](std::uint32_t, std::uint32_t decoded, void* self) {
      auto& line = *static_cast<progress_line*>(self);
      line.show(line.files_ == 0 ? 100
                                 : static_cast<int>(std::min<std::uint64_t>(
                                       100, std::uint64_t{decoded} * 100 / line.files_)));
    };
    h.found = [](std::uint32_t archive_offset, void* self) {
      auto& line = *static_cast<progress_line*>(self);
      line.files_ = line.total_ > archive_offset ? line.total_ - archive_offset : 0;
    };
    h.context = this;
    return h;
  }

  // Shows percent (0 to 100) when it is not on screen yet; the hook shows the
  // percentage that the decoded bytes make of the files' bytes (the archive
  // total less the stub).
  void show(int percent) {
    if (percent != shown_) {
      shown_ = percent;
      std::snprintf(
          text_.data(), text_.size(), "%s%4d %%%*s", text::installing, shown_,
          text::installing_line_chars - static_cast<int>(std::strlen(text::installing)) - 6, "");
      ui::text_lines[2] = text_.data();
      ui::paint_text_lines(ui::main_window());
    }
    ui::pump_paint_messages();
  }

private:
  std::uint32_t total_;
  std::uint32_t files_ = 0;
  int shown_ = -1;
  std::array<char, text::installing_line_chars + 1> text_{};
};

// The installer's state for the run.
struct installer_state {
  ui::instance_handle instance = 0;
  std::array<char, own_path_bytes> own_path{};
  archive::archive_trailer trailer;
  ui::dc_handle window_dc = 0;
  std::int16_t focus = 0;
  outcome result = outcome::cancelled;
  target_choice choice;
};

ui::window_system& ws() {
  return ui::current_window_system();
}

void refresh_screen() {
  ui::drain_messages();
  ws().set_focus(ui::main_window());
  ui::paint_text_lines(ui::main_window());
  ui::drain_messages();
}

void create_buttons(installer_state& s) {
  for (const auto& b : button_specs)
    ui::buttons[static_cast<std::size_t>(b.slot)] =
        ws().create_window(0, ui::button_class, b.text,
                           ui::window_style::child | ui::window_style::visible | b.extra_style, b.x,
                           110, 100, 30, ui::main_window(), b.id, s.instance);
  for (std::size_t slot = 3; slot < ui::buttons.size(); ++slot)
    ui::buttons[slot] = 0;
}

// One key code, with the focused button marked.
std::uint16_t next_key(installer_state& s) {
  const ui::cursor_handle arrow = ws().load_standard_cursor(ui::standard_cursor::arrow);
  ws().set_cursor(arrow);
  ws().show_cursor(false);
  ws().show_cursor(true);
  if (s.focus > 2)
    s.focus = 0;
  if (s.focus < 0)
    s.focus = 2;
  ui::mark_default_button(s.focus);
  ws().set_focus(ui::main_window());
  return ui::wait_for_key();
}

int finish_run(installer_state& s) {
  ws().release_dc(ui::main_window(), s.window_dc);
  ui::release_colour_scheme();
  ws().destroy_window(ui::main_window());
  ui::forget_main_window();
  if (s.result == outcome::installed) {
    char launch[launch_target_chars + 16];
    const std::size_t n = strnlen(s.choice.target.data(), launch_target_chars);
    std::memcpy(launch, s.choice.target.data(), n);
    std::memcpy(launch + n, program_name, std::strlen(program_name) + 1);
    sys::current_platform().win_exec(launch, sys::show_normal);
  }
  return 0;
}

// The completion record: the 256 bytes of the own-path buffer.
void write_completion_record(const installer_state& s) {
  char path[record_target_chars + 16];
  const std::size_t n = strnlen(s.choice.target.data(), record_target_chars);
  std::memcpy(path, s.choice.target.data(), n);
  std::memcpy(path + n, record_template, std::strlen(record_template) + 1);
  path[n + 2] = '\\';
  sys::scoped_file record(sys::file_open(path, sys::open_mode::create));
  if (record.ok())
    sys::file_write(record.get(), s.own_path.data(), own_path_bytes);
}

void destroy_button(std::size_t slot) {
  ws().destroy_window(ui::buttons[slot]);
  ui::buttons[slot] = 0;
}

// After a failed extraction: the new target directory goes with everything
// in it, and the screen says so, why, and that any key (or the one button,
// "Avsluta") ends the run. Input that came during the extraction is dropped.
void show_failure(installer_state& s, int status) {
  s.result = outcome::failed;
  ui::drain_messages();
  ui::reset_key_queue();
  const bool removed = sys::dir_remove_tree(s.choice.target.data()) == 0;
  std::array<char, 64> left{};
  std::snprintf(left.data(), left.size(), "%s%s%s", text::install_failed_left,
                s.choice.target.data(), text::left_behind);
  ui::text_lines[0] = removed ? text::install_failed : left.data();
  ui::text_lines[1] = text::status_text(status);
  ui::text_lines[2] = text::press_to_end;
  destroy_button(2);
  ui::buttons[0] = ws().create_window(
      0, ui::button_class, text::end,
      ui::window_style::child | ui::window_style::visible | ui::window_style::def_push_button, 170,
      110, 100, 30, ui::main_window(), key::cancel, s.instance);
  refresh_screen();
  ui::mark_default_button(0);
  ws().set_focus(ui::main_window());
  ui::wait_for_key();
}

enum class step_result { finished, back_to_choice, ignored };

// Install and Avbryt stay until the directory test has passed; with no room
// there is nothing to install and the key is ignored.
step_result install_step(installer_state& s) {
  if (s.choice.no_room)
    return step_result::ignored;
  if (sys::dir_probe(s.choice.target.data()) != 0)
    return step_result::back_to_choice;
  destroy_button(0);
  destroy_button(1);
  progress_line progress(s.trailer.total);
  progress.show(0);
  s.result = outcome::installed;

  std::array<char, sizeof s.choice.target> target = s.choice.target;
  std::uint8_t result_block[archive::result_block_bytes];
  const int status = archive::run_archive_command(s.own_path.data(), target.data(), "PJ ",
                                                  result_block, progress.hook());
  if (status != archive::status::success) {
    show_failure(s, status);
    return step_result::finished;
  }
  progress.show(100);
  write_completion_record(s);
  return step_result::finished;
}

int run_dialogue(installer_state& s) {
  for (;;) {
    choose_target(s.choice);
    s.focus = 0;
    refresh_screen();
    for (bool choose_again = false; !choose_again;) {
      const std::uint16_t code = next_key(s);
      std::uint16_t action = code;
      if (code == key::enter)
        action = s.focus == 0 ? key::install : s.focus == 1 ? key::cancel : key::next_disk;
      switch (action) {
      case key::install:
        switch (install_step(s)) {
        case step_result::finished:
          return finish_run(s);
        case step_result::back_to_choice:
          choose_again = true;
          break;
        case step_result::ignored:
          break;
        }
        break;
      case key::cancel:
      case key::escape:
        s.result = outcome::cancelled;
        destroy_button(0);
        destroy_button(1);
        return finish_run(s);
      case key::next_disk:
        ++s.choice.drive_index;
        choose_again = true;
        break;
      case key::right:
      case key::down:
        ++s.focus;
        break;
      case key::left:
      case key::up:
        --s.focus;
        break;
      default:
        break; // other keys, the close request and the quit code change nothing
      }
    }
  }
}

// The archive trailer of the installer's own file; false, with an empty
// trailer, for a file that carries no payload or a damaged one, whose stem
// could name the drive root, a path or nothing.
bool read_own_trailer(const char* own_path, archive::archive_trailer& out) {
  out = archive::archive_trailer{};
  sys::scoped_file own(sys::file_open(own_path, sys::open_mode::read_shared));
  return own.ok() && archive::read_archive_trailer(own.get(), out) && out.installer;
}

} // namespace

int run_installer(ui::instance_handle instance, ui::instance_handle previous, const char*,
                  int show) {
  installer_state s;
  s.instance = instance;
  sys::current_platform().module_file_name(s.own_path.data(), own_path_bytes);
  ui::reset_text_lines();
  ui::build_colour_scheme();
  if (previous == 0 && ui::register_window_classes(instance) == 0)
    return 0;
  if (ui::create_main_window(instance, show) == 0)
    return 0;
  ws().set_focus(ui::main_window());
  while (ws().show_cursor(false) >= 0) {
  }
  ui::load_key_table(instance);
  ui::drain_messages();
  ui::reset_key_queue();
  while (ws().show_cursor(true) < 0) {
  }
  s.window_dc = ws().get_dc(ui::main_window());
  survey_drives(s.choice);
  s.choice.trailer_valid = read_own_trailer(s.own_path.data(), s.trailer);
  s.choice.space_needed = space_needed(s.trailer.total);
  s.choice.stem = s.trailer.stem;
  s.choice.drive_index = 0;
  refresh_screen();
  create_buttons(s);
  return run_dialogue(s);
}

} // namespace installer
