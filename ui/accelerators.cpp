// Looking keys up in the accelerator table ZORACC.
#include "ui/accelerators.h"

namespace ui {

std::uint16_t find_accelerator(std::uint16_t key, std::uint8_t modifiers) {
  constexpr std::uint8_t modifier_bits = accel_flag::shift | accel_flag::control | accel_flag::alt;
  for (const auto& entry : zoracc)
    if (entry.key == key && (entry.flags & modifier_bits) == (modifiers & modifier_bits))
      return entry.command;
  return 0;
}

} // namespace ui
