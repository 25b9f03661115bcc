// From stored names to output paths: placement, strip length, refusals.
#include "archive/stored_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using archive::path_refusal;

struct placed {
  path_refusal code;
  std::string path;
  std::vector<std::string> directories;
};

placed place(const std::string& target, const std::string& name, int strip) {
  archive::output_path out;
  placed p;
  p.code =
      archive::make_output_path(target.c_str(), reinterpret_cast<const std::uint8_t*>(name.data()),
                                static_cast<int>(name.size()), strip, out);
  if (p.code == path_refusal::none) {
    p.path = out.text.data();
    for (int k = 0; k < out.directories; ++k)
      p.directories.push_back(p.path.substr(0, static_cast<std::size_t>(out.directory_ends[k])));
  }
  return p;
}

TEST(OutputPath, RelativePartLandsBelowTheTarget) {
  const auto p = place("C:\\QXA0000A\\", "D:\\BUILD\\KIT\\HELP\\INDEX.HLP", 12);
  ASSERT_EQ(p.code, path_refusal::none);
  EXPECT_EQ(p.path, "C:\\QXA0000A\\HELP\\INDEX.HLP");
  EXPECT_EQ(p.directories, (std::vector<std::string>{"C:\\QXA0000A\\HELP"}));

  const auto two = place("C:\\T\\", "D:\\K\\A\\B\\F.DAT", 4);
  ASSERT_EQ(two.code, path_refusal::none);
  EXPECT_EQ(two.path, "C:\\T\\A\\B\\F.DAT");
  EXPECT_EQ(two.directories, (std::vector<std::string>{"C:\\T\\A", "C:\\T\\A\\B"}));

  const auto flat = place("C:\\T\\", "D:\\BUILD\\KIT\\SETUP.DAT", 12);
  EXPECT_EQ(flat.path, "C:\\T\\SETUP.DAT");
  EXPECT_TRUE(flat.directories.empty());
}

TEST(OutputPath, LastBackslashAtTheStripLengthCreatesNoDirectory) {
  const std::string name = "D:\\ABCDEFGHIJK\\X.TXT"; // last backslash at index 14
  ASSERT_EQ(name.find_last_of('\\'), 14u);
  const auto p = place("C:\\T\\", name, 14);
  EXPECT_EQ(p.path, "C:\\T\\X.TXT");
  EXPECT_TRUE(p.directories.empty());
}

TEST(OutputPath, NameWithoutBackslashBeginsAtIndexOne) {
  EXPECT_EQ(place("C:\\T\\", "XNAME.TXT", 0).path, "C:\\T\\NAME.TXT");
}

TEST(OutputPath, NamesThatWouldLeaveTheTargetAreRefused) {
  const path_refusal refused = path_refusal::unsafe_name;
  for (const char* relative :
       {"..\\EVIL.TXT", "A\\..\\..\\EVIL.TXT", "..", "A\\...\\X", "A\\. .\\X", "C:\\EVIL.TXT",
        "A\\B:C", "\\EVIL.TXT", "A\\\\B.TXT", "A\\", "A/../../X", "A\\\x01.TXT", " "}) {
    EXPECT_EQ(place("C:\\T\\", std::string("D:\\K\\") + relative, 4).code, refused) << relative;
  }
  // A name no longer than the strip length has no file name at all.
  EXPECT_EQ(place("C:\\T\\", "D:\\K\\", 4).code, refused);
}

TEST(OutputPath, OrdinaryDotsAndBlanksInNamesAreKept) {
  const auto p = place("C:\\T\\", "D:\\K\\.config\\my file.v1..txt", 4);
  ASSERT_EQ(p.code, path_refusal::none);
  EXPECT_EQ(p.path, "C:\\T\\.config\\my file.v1..txt");
}

TEST(OutputPath, PathsMustFitIn255Characters) {
  const std::string target = "C:\\T\\"; // 5 characters
  EXPECT_EQ(place(target, "D:\\K\\" + std::string(250, 'a'), 4).code, path_refusal::none);
  EXPECT_EQ(place(target, "D:\\K\\" + std::string(251, 'a'), 4).code, path_refusal::too_long);
  // A target of more than 250 characters is refused, never cut.
  const std::string at_limit = "C:\\" + std::string(246, 'T') + "\\";
  EXPECT_EQ(place(at_limit, "D:\\K\\F", 4).path, at_limit + "F");
  EXPECT_EQ(place(at_limit + "X", "D:\\K\\F", 4).code, path_refusal::too_long);
}

} // namespace
