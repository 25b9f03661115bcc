// The accelerator table ZORACC: cursor, editing and function keys as command
// ids. The one source of the table: the Windows resource script is generated
// from it, and the other window systems translate with it directly.
#pragma once

#include "ui/window_system.h"

#include <array>

namespace ui {

inline constexpr const char* accelerator_table_name = "ZORACC";

// 23 entries in this order; each a virtual-key entry without Shift, Ctrl or
// Alt; the last carries the end-of-table flag.
inline constexpr std::uint8_t plain_key = accel_flag::virtkey | accel_flag::noinvert;
inline constexpr std::array<accelerator, 23> zoracc{{
    {plain_key, vk::f1 + 0, 324},                // F1
    {plain_key, vk::f1 + 1, 319},                // F2
    {plain_key, vk::f1 + 2, 404},                // F3
    {plain_key, vk::f1 + 3, 318},                // F4
    {plain_key, vk::f1 + 4, 572},                // F5
    {plain_key, vk::f1 + 5, 402},                // F6
    {plain_key, vk::f1 + 6, 321},                // F7
    {plain_key, vk::f1 + 7, 322},                // F8
    {plain_key, vk::f1 + 8, 427},                // F9
    {plain_key, vk::back, 264},                  // Backspace: 256 + 8
    {plain_key, vk::tab, 265},                   // Tab: 256 + 9
    {plain_key, vk::enter, 269},                 // Enter: 256 + 13
    {plain_key, vk::escape, 258},                // Esc
    {plain_key, vk::prior, 329},                 // Page Up: 256 + scan code 73
    {plain_key, vk::next, 337},                  // Page Down: 256 + 81
    {plain_key, vk::end, 335},                   // End: 256 + 79
    {plain_key, vk::home, 327},                  // Home: 256 + 71
    {plain_key, vk::left, 331},                  // Left: 256 + 75
    {plain_key, vk::up, 328},                    // Up: 256 + 72
    {plain_key, vk::right, 333},                 // Right: 256 + 77
    {plain_key, vk::down, 336},                  // Down: 256 + 80
    {plain_key, vk::insert, 338},                // Insert: 256 + 82
    {plain_key | accel_flag::end, vk::del, 339}, // Delete: 256 + 83
}};

// The command id of the entry that a key-down of key with the given modifier
// flags (accel_flag::shift, control, alt) matches, or 0 when none does.
std::uint16_t find_accelerator(std::uint16_t key, std::uint8_t modifiers);

} // namespace ui
