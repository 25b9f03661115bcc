// The file layer's 16-bit handles and which platform handles fit them: the
// one rule the file layer and the error log both keep.
#pragma once

#include "sys/platform.h"

#include <cstdint>

namespace sys {

// A file handle: 0 to 32767 names an open file; -1 the open was refused; -2 the
// platform's handle was above 0x7FFF (closed again), or a transfer failed.
using file_handle = std::int16_t;

inline constexpr file_handle refused_handle = -1;
inline constexpr file_handle failed_handle = -2;

// Largest native handle value that fits a file handle.
inline constexpr std::intptr_t max_file_handle_value = 0x7FFF;

// Whether an open's platform handle h (not invalid_handle_value) fits a file
// handle: 0 to 0x7FFF. Any other value, a negative one included, is closed
// again rather than used.
inline bool fits_file_handle(native_handle h) {
  return static_cast<std::uintptr_t>(h) <= static_cast<std::uintptr_t>(max_file_handle_value);
}

} // namespace sys
