// The key codes of the installer's screen: what wait_for_key returns and the
// dialogue acts on. The one home of these numbers: the accelerator table
// (ui/accelerators.h), the main window's procedure and the installer use them.
//
// A code is a typed character (1 to 255, Windows-1252), a button's command id,
// an accelerator's command id (256 plus the key's PC scan code for the
// cursor and editing keys; fixed numbers for F1 to F9), the close request or
// the quit code.
#pragma once

#include <cstdint>

namespace ui::key {

// Button command ids (and Ctrl+A, Ctrl+B, Ctrl+C type the same codes).
inline constexpr std::uint16_t install = 1;   // "Install"
inline constexpr std::uint16_t cancel = 2;    // "Avbryt", and "Avsluta" after a failure
inline constexpr std::uint16_t next_disk = 3; // "Välj skiva"

// Accelerator command ids: function keys.
inline constexpr std::uint16_t f1 = 324;
inline constexpr std::uint16_t f2 = 319;
inline constexpr std::uint16_t f3 = 404;
inline constexpr std::uint16_t f4 = 318;
inline constexpr std::uint16_t f5 = 572;
inline constexpr std::uint16_t f6 = 402;
inline constexpr std::uint16_t f7 = 321;
inline constexpr std::uint16_t f8 = 322;
inline constexpr std::uint16_t f9 = 427;

// Accelerator command ids: editing and cursor keys.
inline constexpr std::uint16_t escape = 258;     // Esc
inline constexpr std::uint16_t back_space = 264; // 256 + 8
inline constexpr std::uint16_t tab = 265;        // 256 + 9
inline constexpr std::uint16_t enter = 269;      // 256 + 13
inline constexpr std::uint16_t home = 327;       // 256 + scan code 71
inline constexpr std::uint16_t up = 328;         // 256 + 72
inline constexpr std::uint16_t page_up = 329;    // 256 + 73
inline constexpr std::uint16_t left = 331;       // 256 + 75
inline constexpr std::uint16_t right = 333;      // 256 + 77
inline constexpr std::uint16_t end = 335;        // 256 + 79
inline constexpr std::uint16_t down = 336;       // 256 + 80
inline constexpr std::uint16_t page_down = 337;  // 256 + 81
inline constexpr std::uint16_t insert = 338;     // 256 + 82
inline constexpr std::uint16_t del = 339;        // 256 + 83

// The close command of the main window (its close box, Alt+F4).
inline constexpr std::uint16_t close_request = 550;
// wait_for_key's answer when the message loop is told to quit.
inline constexpr std::uint16_t quit = 999;

} // namespace ui::key
