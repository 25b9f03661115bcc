// velmora-setup on POSIX: opens the window system VELMORA_UI chooses and runs
// the installer with the values a Windows program would be given.
#include "installer/installer.h"
#include "ui/window_system_registry.h"

#include <cstdio>
#include <exception>
#include <string>

int main() {
  try {
    std::string why;
    auto ws = ui::open_window_system(&why);
    if (!ws) {
      // As on Windows when the main window cannot be made: nothing shown, 0.
      std::fprintf(stderr, "velmora-setup: cannot open a window: %s\n", why.c_str());
      return 0;
    }
    ui::set_window_system(ws.get());
    const int code = installer::run_installer(0, 0, "", ui::sw_show_normal);
    ui::set_window_system(nullptr);
    return code;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmora-setup: %s\n", e.what());
    return 0;
  }
}
