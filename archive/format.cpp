// The marker template, out of line so the marker characters never meet in a
// constant of any program built from this code; the rule for stems.
#include "archive/format.h"

#include "sys/platform.h"

#include <cstring>

namespace archive {

const std::array<char, 10> marker_template{'A', 'E', 'G', 'I', 'N', '.', 'K', 'O', 'V', 'x'};

bool is_usable_stem(const char* stem) {
  for (int i = 0; i < stem_bytes; ++i)
    if (stem[i] == '\0' || std::strchr(sys::windows_forbidden_chars, stem[i]) != nullptr)
      return false;
  return sys::is_plain_name(stem, stem_bytes);
}

} // namespace archive
