// The installer's main line.
#include "installer/installer.h"

#include "archive/format.h"
#include "archive/run_archive_command.h"
#include "installer/target_choice.h"
#include "installer/texts.h"
#include "sys/file_layer.h"
#include "sys/platform.h"
#include "ui/colour_scheme.h"
#include "ui/main_window.h"
#include "ui/painting.h"

#include <cstring>

namespace installer {

namespace {

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

// The installer's state for the run.
struct installer_state {
  ui::instance_handle instance = 0;
  std::array<char, own_path_bytes> own_path{};
  std::array<std::uint8_t, archive_trailer_bytes> trailer{};
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
  if (s.result == outcome::installed && !s.choice.no_room) {
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

enum class step_result { finished, back_to_choice };

step_result install_step(installer_state& s) {
  ws().destroy_window(ui::buttons[0]);
  ws().destroy_window(ui::buttons[1]);
  if (sys::dir_probe(s.choice.target.data()) != 0)
    return step_result::back_to_choice;
  ui::text_lines[2] = text::installing;
  ui::paint_text_lines(ui::main_window());
  s.result = outcome::installed;
  if (s.choice.no_room)
    return step_result::finished;

  std::array<char, sizeof s.choice.target> target = s.choice.target;
  std::uint8_t result_block[archive::result_block_bytes];
  const int status =
      archive::run_archive_command(s.own_path.data(), target.data(), "PI ", result_block);
  if (status != archive::status::success) {
    // Nothing is recorded or started for an installation that failed: the
    // user is told, and one key ends the run.
    s.result = outcome::failed;
    ui::text_lines[1] = text::install_failed;
    ui::text_lines[2] = text::status_text(status);
    ui::paint_text_lines(ui::main_window());
    ws().set_focus(ui::main_window());
    ui::wait_for_key();
    return step_result::finished;
  }
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
        if (install_step(s) == step_result::finished)
          return finish_run(s);
        choose_again = true;
        break;
      case key::cancel:
      case key::escape:
        s.result = outcome::cancelled;
        ws().destroy_window(ui::buttons[0]);
        ws().destroy_window(ui::buttons[1]);
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

} // namespace

bool read_archive_trailer(const char* own_path,
                          std::array<std::uint8_t, archive_trailer_bytes>& out) {
  out.fill(0);
  sys::scoped_file own(sys::file_open(own_path, sys::open_mode::read_shared));
  if (!own.ok())
    return false;
  const std::int32_t length = sys::file_seek(own.get(), 0, sys::seek_from::end);
  if (length < archive_trailer_bytes)
    return false;
  if (sys::file_seek(own.get(), static_cast<std::uint32_t>(length - archive_trailer_bytes),
                     sys::seek_from::start) < 0)
    return false;
  if (sys::file_read(own.get(), out.data(), archive_trailer_bytes) != archive_trailer_bytes) {
    out.fill(0);
    return false;
  }
  return out[0] == archive::record::end_of_archive;
}

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
  s.choice.trailer_valid = read_archive_trailer(s.own_path.data(), s.trailer);
  const std::int32_t total =
      static_cast<std::int32_t>(s.trailer[1] | s.trailer[2] << 8 | s.trailer[3] << 16 |
                                static_cast<std::uint32_t>(s.trailer[4]) << 24);
  s.choice.space_needed = space_needed(total);
  std::memcpy(s.choice.stem.data(), s.trailer.data() + 5, stem_bytes);
  s.choice.drive_index = 0;
  refresh_screen();
  create_buttons(s);
  return run_dialogue(s);
}

} // namespace installer
