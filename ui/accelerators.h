// The accelerator table ZORACC: cursor, editing and function keys as command
// ids (ui/key_codes.h). The one source of the table: the Windows resource
// script is generated from it, and the other window systems are handed it.
#pragma once

#include "ui/key_codes.h"
#include "ui/window_system.h"

#include <array>

namespace ui {

inline constexpr const char* accelerator_table_name = "ZORACC";

// 23 entries in this order; each a virtual-key entry without Shift, Ctrl or
// Alt; the last carries the end-of-table flag.
inline constexpr std::uint8_t plain_key = accel_flag::virtkey | accel_flag::noinvert;
inline constexpr std::array<accelerator, 23> zoracc{{
    {plain_key, vk::f1 + 0, key::f1},
    {plain_key, vk::f1 + 1, key::f2},
    {plain_key, vk::f1 + 2, key::f3},
    {plain_key, vk::f1 + 3, key::f4},
    {plain_key, vk::f1 + 4, key::f5},
    {plain_key, vk::f1 + 5, key::f6},
    {plain_key, vk::f1 + 6, key::f7},
    {plain_key, vk::f1 + 7, key::f8},
    {plain_key, vk::f1 + 8, key::f9},
    {plain_key, vk::back, key::back_space},
    {plain_key, vk::tab, key::tab},
    {plain_key, vk::enter, key::enter},
    {plain_key, vk::escape, key::escape},
    {plain_key, vk::prior, key::page_up},
    {plain_key, vk::next, key::page_down},
    {plain_key, vk::end, key::end},
    {plain_key, vk::home, key::home},
    {plain_key, vk::left, key::left},
    {plain_key, vk::up, key::up},
    {plain_key, vk::right, key::right},
    {plain_key, vk::down, key::down},
    {plain_key, vk::insert, key::insert},
    {plain_key | accel_flag::end, vk::del, key::del},
}};

} // namespace ui
