// The Win32 API, included here and nowhere else, and owners of native handles.
//
//===----------------------------------------------------------------------===//
//=== Generic Win32 only: nothing here may need more than Windows 7, nor one
//=== compiler's or SDK's extras.
//===----------------------------------------------------------------------===//
#pragma once

// The API level is pinned at Windows 7 here rather than left to the toolchain:
// mingw-w64 releases default to anything from XP (0x0502) to Windows 10
// (0x0A00). A standard header included earlier may already have set the
// toolchain's value, hence the #undef.
#undef _WIN32_WINNT
#undef WINVER
#define _WIN32_WINNT 0x0601
#define WINVER 0x0601

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>

#include "sys/unique_handle.h"

namespace sys::win32 {

using sys::unique_handle;

// A kernel object handle (a file). CreateFileA reports failure with
// INVALID_HANDLE_VALUE, most other calls with NULL: neither is a handle.
struct file_handle_traits {
  using handle_type = HANDLE;
  static handle_type empty() noexcept { return INVALID_HANDLE_VALUE; }
  static bool is_valid(handle_type h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void free(handle_type h) noexcept { ::CloseHandle(h); }
};

// A directory search of FindFirstFileA, which FindClose ends (CloseHandle
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
