// velmora-setup on POSIX: opens the window system VELMORA_UI chooses (through
// the registry of window systems) and runs
// the installer with the values a Windows program would be given.
#include "installer/installer.h"
#include "sys/platform.h"
#include "ui/main_window.h"
#include "ui/window_system_registry.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

namespace {

// The installer reads its payload from its own file through its drive-form
// path. A file that no drive of the map holds, or whose drive-form path is
// too long, cannot be read: it says so on standard error (and then shows the
// no-room state, as any installer that cannot read its payload does).
void tell_when_own_file_unreachable() {
  char own[4 * installer::own_path_bytes];
  const std::uint32_t length = sys::current_platform().module_file_name(own, sizeof own);
  if (length != 0 && length < installer::own_path_bytes)
    return;
  std::error_code error;
  const std::string program = std::filesystem::read_symlink("/proc/self/exe", error).string();
  if (length == 0)
    std::fprintf(stderr,
                 "velmora-setup: %s: outside the drive map (VELMORA_DRIVES maps no drive to a "
                 "directory holding it), so its payload cannot be read\n",
                 program.c_str());
  else
    std::fprintf(stderr,
                 "velmora-setup: %s: its drive-form path is longer than %d characters, so its "
                 "payload cannot be read\n",
                 program.c_str(), installer::own_path_bytes - 1);
}

} // namespace

int main() {
  try {
    std::string why;
    auto ws = ui::open_window_system(std::getenv("VELMORA_UI"), ui::screen_resources(), &why);
    if (!ws) {
      // As on Windows when the main window cannot be made: nothing shown, 0.
      std::fprintf(stderr, "velmora-setup: cannot open a window: %s\n", why.c_str());
      return 0;
    }
    ui::set_window_system(ws.get());
    tell_when_own_file_unreachable();
    const int code = installer::run_installer(0, 0, "", ui::sw_show_normal);
    ui::set_window_system(nullptr);
    return code;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmora-setup: %s\n", e.what());
    return 0;
  }
}
