// Choosing the window system at run time, from one table of backends.
#pragma once

#include "ui/window_system.h"

#include <memory>
#include <string>

namespace ui {

// One backend: its name (as VELMORA_UI names it), what it is, and how to make
// it. create returns nullptr, with the reason in *why, when the backend cannot
// run here (no display, for one).
struct window_system_entry {
  const char* name;
  const char* description;
  std::unique_ptr<window_system> (*create)(std::string* why);
  bool opt_in; // tried only when named (offscreen)
};

// Opens the window system: the one VELMORA_UI names (only that one, failing
// loudly when it cannot run or is unknown), else the backends of this build
// that are not opt-in, in table order, the first that can run. Returns nullptr
// with the reason in *why when none can.
std::unique_ptr<window_system> open_window_system(std::string* why);

// The backends of this build, for --help texts and tests.
const window_system_entry* window_system_entries(int* count);

} // namespace ui
