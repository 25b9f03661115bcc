// The marker template, out of line so the marker characters never meet in a
// constant of any program built from this code.
#include "archive/format.h"

namespace archive {

const std::array<char, 10> marker_template{'A', 'E', 'G', 'I', 'N', '.', 'K', 'O', 'V', 'x'};

} // namespace archive
