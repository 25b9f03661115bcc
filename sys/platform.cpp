// The installed platform backend: the build's own, or one a test put in place.
#include "sys/platform.h"

namespace sys {

namespace {
platform* installed = nullptr;
} // namespace

platform& current_platform() {
  return installed ? *installed : native_platform();
}

platform* set_platform(platform* p) {
  platform* previous = installed ? installed : &native_platform();
  installed = p;
  return previous;
}

} // namespace sys
