// Move-only owners of native resources (descriptors, directory streams).
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <utility>

namespace sys::posix {

// Owns one native resource; Traits names its empty value and how to free it.
template <class T, class Traits> class unique_handle {
public:
  unique_handle() noexcept = default;
  explicit unique_handle(T value) noexcept : value_(value) {}
  unique_handle(unique_handle&& other) noexcept : value_(other.release()) {}
  unique_handle& operator=(unique_handle&& other) noexcept {
    reset(other.release());
    return *this;
  }
  unique_handle(const unique_handle&) = delete;
  unique_handle& operator=(const unique_handle&) = delete;
  ~unique_handle() { reset(); }

  T get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Traits::empty(); }

  // Gives up ownership without freeing.
  T release() noexcept { return std::exchange(value_, Traits::empty()); }

  // Frees the held resource and takes value instead.
  void reset(T value = Traits::empty()) noexcept {
    T old = std::exchange(value_, value);
    if (old != Traits::empty())
      Traits::free(old);
  }

private:
  T value_ = Traits::empty();
};

struct fd_traits {
  static constexpr int empty() noexcept { return -1; }
  static void free(int fd) noexcept { ::close(fd); }
};

struct dir_traits {
  static constexpr DIR* empty() noexcept { return nullptr; }
  static void free(DIR* dir) noexcept { ::closedir(dir); }
};

using unique_fd = unique_handle<int, fd_traits>;
using unique_dir = unique_handle<DIR*, dir_traits>;

} // namespace sys::posix
