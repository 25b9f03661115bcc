// The installer's main line: start-up, the archive trailer of its own file,
// the dialogue over "Välj skiva", "Install" and "Avbryt", the install step, the
// completion record and the launch of the installed program.
#pragma once

#include "ui/window_system.h"

#include <array>
#include <cstdint>

namespace installer {

inline constexpr int own_path_bytes = 256;

// The program entry, shaped like WinMain: the instance, a previous instance
// (null: register the window classes), the command line (not used) and the
// show command. Returns 0 on every path.
int run_installer(ui::instance_handle instance, ui::instance_handle previous,
                  const char* command_line, int show);

} // namespace installer
