// Move-only owners of native resources (kernel file handles, directory
// searches).
//
//===----------------------------------------------------------------------===//
//=== Generic Win32 only: nothing here may need more than Windows 7, nor one
//=== compiler's or SDK's extras.
//===----------------------------------------------------------------------===//
#pragma once

#include "sys/platform/win32/win32_api.h"
#include "sys/unique_handle.h"

namespace sys::win32 {

using sys::unique_handle;

// A kernel object handle (a file). CreateFileW reports failure with
// INVALID_HANDLE_VALUE, most other calls with NULL: neither is a handle.
struct file_handle_traits {
  using handle_type = HANDLE;
  static handle_type empty() noexcept { return INVALID_HANDLE_VALUE; }
  static bool is_valid(handle_type h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void free(handle_type h) noexcept { ::CloseHandle(h); }
};

// A directory search of FindFirstFileW, which FindClose ends (CloseHandle
// must not be used on it).
struct find_handle_traits {
  using handle_type = HANDLE;
  static handle_type empty() noexcept { return INVALID_HANDLE_VALUE; }
  static bool is_valid(handle_type h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void free(handle_type h) noexcept { ::FindClose(h); }
};

using unique_file = unique_handle<file_handle_traits>;
using unique_find = unique_handle<find_handle_traits>;

} // namespace sys::win32
