// Choosing the window system at run time, from one table of backends.
#pragma once

#include "ui/window_system.h"

#include <memory>
#include <string>

namespace ui {

// Opens a window system of this build. wanted (nullptr or empty: none
// named) selects that backend alone, failing loudly when it cannot run or is
// unknown; otherwise the backends that are not opt-in (offscreen is) are
// tried in table order and the first that can run is opened. resources: the
// program's, for the backends that are handed them (must outlive the window
// system). Returns nullptr, with the reason in *why, when none can run.
std::unique_ptr<window_system>
open_window_system(const char* wanted, const resource_table& resources, std::string* why);

} // namespace ui
