// A move-only owner of one native handle, for the platform backends: file
// descriptors and directory streams on POSIX, kernel and find handles on
// Windows. No native type appears here; each backend supplies its traits.
#pragma once

#include <utility>

namespace sys {

// Traits name the handle type, its empty value, which values count as no
// handle at all, and how to free one. Freeing the empty value, as after a
// failed open, does nothing.
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

} // namespace sys
