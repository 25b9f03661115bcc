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

#include <utility>

namespace sys::win32 {

// Owns one native handle; Traits names its empty value, which other values
// count as no handle at all, and how to free it. Freeing the empty value, as
// after a failed open, does nothing.
template <class Traits> class unique_handle {
public:
  using handle_type = typename Traits::handle_type;

  unique_handle() noexcept = default;
  explicit unique_handle(handle_type value) noexcept : value_(value) {}
  unique_handle(unique_handle&& other) noexcept : value_(other.release()) {}
  unique_handle& operator=(unique_handle&& other) noexcept {
    reset(other.release());
    return *this;
  }
  unique_handle(const unique_handle&) = delete;
  unique_handle& operator=(const unique_handle&) = delete;
  ~unique_handle() { reset(); }

  handle_type get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return Traits::is_valid(value_); }

  // Gives up ownership without freeing.
  handle_type release() noexcept { return std::exchange(value_, Traits::empty()); }

  // Frees the held handle and takes value instead.
  void reset(handle_type value = Traits::empty()) noexcept {
    handle_type old = std::exchange(value_, value);
    if (Traits::is_valid(old))
      Traits::free(old);
  }

private:
  handle_type value_ = Traits::empty();
};

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
