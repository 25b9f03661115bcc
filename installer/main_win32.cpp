// velmora-setup on Windows: the GUI program's entry. Closes the program's own
// directory to DLL loading, opens the window system through the registry (on
// Windows the real one, whatever VELMORA_UI holds) and runs the installer with
// the values Windows gives WinMain.
//
//===----------------------------------------------------------------------===//
//=== Generic Win32 only: nothing here may need more than Windows 7, nor one
//=== compiler's or SDK's extras.
//===----------------------------------------------------------------------===//
// First: the one header through which Windows' own are included.
#include "sys/platform/win32/win32_api.h"

#include "installer/installer.h"
#include "ui/main_window.h"
#include "ui/window_system/win32/win32_window_system.h"
#include "ui/window_system_registry.h"

#include <exception>
#include <string>

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32 (0x800), spelled out: headers for older
// systems do not define it.
constexpr DWORD search_system32_only = 0x00000800;

// The installer is run from wherever it was downloaded to, next to whatever
// else was downloaded there; a DLL in that directory must never be loaded in
// place of the system's. SetDefaultDllDirectories limits every later load,
// including the delayed ones Windows makes on the program's behalf, to
// System32. It is looked up at run time: Windows 7 has it only with update
// KB2533623, and without it the program must still start (its imports are
// all KnownDLLs, which come from System32 regardless).
void restrict_dll_search() {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr)
    return;
  const FARPROC found = GetProcAddress(kernel, "SetDefaultDllDirectories");
  if (found == nullptr)
    return;
  using set_default_dll_directories_fn = BOOL(WINAPI*)(DWORD);
  // Through void (*)(), the one function pointer type a cast from FARPROC
  // is not warned about.
  const auto set_default_dll_directories =
      reinterpret_cast<set_default_dll_directories_fn>(reinterpret_cast<void (*)()>(found));
  set_default_dll_directories(search_system32_only);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  restrict_dll_search();
  try {
    std::string why;
    // No name: the registry's first backend that can run, which on Windows
    // is win32; the offscreen one is not built here.
    auto ws = ui::open_window_system(nullptr, ui::screen_resources(), &why);
    if (!ws)
      return 0; // as when the main window cannot be made: nothing shown
    ui::set_window_system(ws.get());
    installer::run_installer(ui::win32::from_native(instance), ui::win32::from_native(previous),
                             command_line, show);
    ui::set_window_system(nullptr);
  } catch (const std::exception&) {
    // Nothing may leave WinMain: the run ends as every other run does, with 0.
    ui::set_window_system(nullptr);
  }
  return 0;
}
