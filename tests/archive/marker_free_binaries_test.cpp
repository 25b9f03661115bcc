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

namespace {

int check_programs_in(const fs::path& dir, const std::string& marker) {
  int checked = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) {
    if (!e.is_regular_file())
      continue;
    const std::string bytes = velmora_test::temp_drive::read(e.path());
    EXPECT_EQ(bytes.find(marker), std::string::npos) << e.path();
    ++checked;
  }
  return checked;
}

} // namespace

TEST(MarkerFreeBinaries, NoBuiltProgramContainsTheMarker) {
  const std::string marker = velmora_test::marker_text();
  EXPECT_GT(check_programs_in(VELMORA_BIN_DIR, marker), 0);
#ifdef VELMORA_BUILD_ROOT
  // The programs of the other presets built beside this one (the Windows
  // programs among them).
  std::error_code ec;
  for (const auto& preset : fs::directory_iterator(VELMORA_BUILD_ROOT, ec))
    if (preset.path() / "bin" != fs::path(VELMORA_BIN_DIR))
      check_programs_in(preset.path() / "bin", marker);
#endif
}
