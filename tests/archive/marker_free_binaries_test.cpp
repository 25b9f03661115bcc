// No program the build produces may hold the nine marker characters: an
// installer made from it would be unpacked from the wrong place.
#include "tests/support/archive_bytes.h"
#include "tests/support/temp_drive.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

#ifndef VELMORA_BIN_DIR
#error "VELMORA_BIN_DIR must name the build's program directory"
#endif

TEST(MarkerFreeBinaries, NoBuiltProgramContainsTheMarker) {
  const std::string marker = velmora_test::marker_text();
  int checked = 0;
  for (const auto& e : fs::directory_iterator(VELMORA_BIN_DIR)) {
    if (!e.is_regular_file())
      continue;
    const std::string bytes = velmora_test::temp_drive::read(e.path());
    EXPECT_EQ(bytes.find(marker), std::string::npos) << e.path();
    ++checked;
  }
  EXPECT_GT(checked, 0);
}
