// The installer's main line: start-up, the archive trailer of its own file,
// the dialogue over "Välj skiva", "Install" and "Avbryt", the install step, the
// completion record and the launch of the installed program.
#pragma once

#include "ui/window_system.h"

#include <array>
#include <cstdint>

namespace installer {

inline constexpr int own_path_bytes = 256;

// Key codes the dialogue acts on.
namespace key {
inline constexpr std::uint16_t install = 1;
inline constexpr std::uint16_t cancel = 2;
inline constexpr std::uint16_t next_disk = 3;
inline constexpr std::uint16_t escape = 258;
inline constexpr std::uint16_t enter = 269;
inline constexpr std::uint16_t right = 333;
inline constexpr std::uint16_t down = 336;
inline constexpr std::uint16_t left = 331;
inline constexpr std::uint16_t up = 328;
} // namespace key

// The program entry, shaped like WinMain: the instance, a previous instance
// (null: register the window classes), the command line (not used) and the
// show command. Returns 0 on every path.
int run_installer(ui::instance_handle instance, ui::instance_handle previous,
                  const char* command_line, int show);

} // namespace installer
