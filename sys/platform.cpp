// The installed platform backend: the build's own, or one a test put in place.
#include "sys/platform.h"

namespace sys {

namespace {
platform* installed = nullptr;
} // namespace

bool is_plain_relative_path(const char* relative) {
  if (relative == nullptr)
    return false;
  bool empty = true;
  bool only_dots_and_blanks = true;
  for (const char* p = relative;; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c == '\\' || c == '\0') {
      if (empty || only_dots_and_blanks)
        return false;
      if (c == '\0')
        return true;
      empty = true;
      only_dots_and_blanks = true;
      continue;
    }
    if (c < 32 || c == '/' || c == ':')
      return false;
    empty = false;
    if (c != '.' && c != ' ')
      only_dots_and_blanks = false;
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
