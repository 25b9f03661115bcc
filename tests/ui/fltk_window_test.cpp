// The installer's screen in a real FLTK window, driven from outside by
// fltk_xvfb_test.sh: the main window and its three buttons are made through
// the installer's own calls, three lines are painted, and every key code that
// wait_for_key returns is printed on its own line, until as many as the first
// argument asks for (default 1) have come. The button "Avbryt" carries the
// default-button frame throughout.
//
// Exit codes: 0 done; 2 the window system cannot run (the reason on standard
// error); 3 the main window cannot be made.
#include "ui/window_system/fltk/fltk_window_system.h"

#include "ui/colour_scheme.h"
#include "ui/main_window.h"
#include "ui/painting.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct button_spec {
  const char* text; // Windows-1252
  int id, x, slot;
  std::uint32_t style;
};

constexpr std::uint32_t child = ui::window_style::child | ui::window_style::visible;
constexpr button_spec button_specs[] = {
    {"Install", 1, 170, 0, child | ui::window_style::def_push_button},
    {"Avbryt", 2, 290, 1, child | ui::window_style::push_button},
    {"V\xe4lj skiva", 3, 50, 2, child | ui::window_style::push_button},
};

} // namespace

int main(int argc, char** argv) {
  const int wanted = argc > 1 ? std::atoi(argv[1]) : 1;

  std::string why;
  auto ws = ui::create_fltk_window_system(ui::screen_resources(), &why);
  if (!ws) {
    std::fprintf(stderr, "fltk_window_test: %s\n", why.c_str());
    return 2;
  }
  ui::set_window_system(ws.get());

  ui::build_colour_scheme();
  ui::register_window_classes(0);
  if (ui::create_main_window(0, ui::sw_show_normal) == 0) {
    std::fprintf(stderr, "fltk_window_test: the main window cannot be made\n");
    return 3;
  }
  ui::load_key_table(0);
  for (const auto& b : button_specs)
    ui::buttons[static_cast<std::size_t>(b.slot)] = ws->create_window(
        0, ui::button_class, b.text, b.style, b.x, 110, 100, 30, ui::main_window(), b.id, 0);
  ui::drain_messages();
  ui::reset_key_queue();

  ui::text_lines = {"V\xe4lkommen till Velmora", "Installationen tar en stund", " "};
  ui::paint_text_lines(ui::main_window());

  for (int i = 0; i < wanted; ++i) {
    ui::mark_default_button(1);
    ws->set_focus(ui::main_window());
    std::printf("%u\n", static_cast<unsigned>(ui::wait_for_key()));
    std::fflush(stdout);
  }

  ws->destroy_window(ui::main_window());
  ui::forget_main_window();
  ui::release_colour_scheme();
  ui::set_window_system(nullptr);
  return 0;
}
