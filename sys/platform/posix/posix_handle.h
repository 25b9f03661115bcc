// Move-only owners of native resources (descriptors, directory streams).
#pragma once

#include <dirent.h>
#include <unistd.h>

#include "sys/unique_handle.h"

namespace sys::posix {

using sys::unique_handle;

struct fd_traits {
  using handle_type = int;
  static constexpr int empty() noexcept { return -1; }
  static constexpr bool is_valid(int fd) noexcept { return fd >= 0; }
  static void free(int fd) noexcept { ::close(fd); }
};

struct dir_traits {
  using handle_type = DIR*;
  static constexpr DIR* empty() noexcept { return nullptr; }
  static bool is_valid(DIR* dir) noexcept { return dir != nullptr; }
  static void free(DIR* dir) noexcept { ::closedir(dir); }
};

using unique_fd = unique_handle<fd_traits>;
using unique_dir = unique_handle<dir_traits>;

} // namespace sys::posix
