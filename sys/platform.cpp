// The installed platform backend: the build's own, or one a test put in place.
#include "sys/platform.h"

#include <cstring>

namespace sys {

namespace {
platform* installed = nullptr;
} // namespace

bool is_plain_name(const char* name, std::size_t length) {
  bool only_dots_and_blanks = true;
  for (std::size_t i = 0; i < length; ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c < 32 || c == '/' || c == ':' || c == '\\')
      return false;
    if (c != '.' && c != ' ')
      only_dots_and_blanks = false;
  }
  return length > 0 && !only_dots_and_blanks;
}

bool is_plain_relative_path(const char* relative) {
  if (relative == nullptr)
    return false;
  for (;;) {
    const char* end = std::strchr(relative, '\\');
    const std::size_t length =
        end ? static_cast<std::size_t>(end - relative) : std::strlen(relative);
    if (!is_plain_name(relative, length))
      return false;
    if (end == nullptr)
      return true;
    relative = end + 1;
  }
}

platform& current_platform() {
  return installed ? *installed : native_platform();
}

platform* set_platform(platform* p) {
  platform* previous = installed ? installed : &native_platform();
  installed = p;
  return previous;
}

} // namespace sys
