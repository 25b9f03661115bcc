// What only the POSIX backend does in listings: its order, long names alone
// for wildcards, exact entry data, links and entries that are neither files
// nor directories.
#include "sys/platform.h"
#include "tests/support/platform_probe.h"
#include "tests/support/temp_drive.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using velmora_test::backend;
using velmora_test::listing;
using velmora_test::temp_drive;

std::vector<std::string> names(const char* pattern) {
  std::vector<std::string> out;
  for (const auto& e : listing(pattern))
    out.emplace_back(e.long_name);
  return out;
}

using list = std::vector<std::string>;

TEST(PosixFind, DotEntriesFirstThenCaseInsensitiveOrder) {
  temp_drive drive;
  for (const char* name : {"b.txt", "a.txt", "A.TXT", "Zeta", "\xC3\xA4.txt", "_x"})
    drive.write(fs::path("dir") / name, "");
  fs::create_directory(drive.c() / "dir" / "sub");
  // Upper-cased Windows-1252 order: '_' (0x5F) after 'Z', 'Ä' (0xC4) last;
  // names equal but for case by their bytes.
  const list expected = {".", "..", "A.TXT", "a.txt", "b.txt", "sub", "Zeta", "_x", "\xE4.txt"};
  EXPECT_EQ(names("C:\\DIR\\*"), expected);
  EXPECT_EQ(names("C:\\dir\\*.*"), expected);
  EXPECT_EQ(names("c:/Dir/*"), expected);
}

// There are no 8.3 aliases on POSIX: a pattern matches long names alone.
TEST(PosixFind, AnExtensionPatternTakesNoLongerExtension) {
  temp_drive drive;
  for (const char* name : {"a.txt", "x.txtx"})
    drive.write(fs::path("w") / name, "");
  EXPECT_EQ(names("C:\\w\\*.txt"), (list{"a.txt"}));
}

// A file in place of a directory and an unmapped drive are no path; a name
// with a character Windows forbids is no name.
TEST(PosixFind, PatternsWithNoPathOrNoName) {
  temp_drive drive;
  drive.write("dir/file", "");
  auto& p = backend();
  sys::find_data data;
  EXPECT_EQ(p.find_first_file("C:\\dir\\file\\*", &data), sys::invalid_handle_value);
  EXPECT_EQ(p.last_error(), sys::error::path_not_found);
  EXPECT_EQ(p.find_first_file("Q:\\*", &data), sys::invalid_handle_value);
  EXPECT_EQ(p.last_error(), sys::error::path_not_found);
  EXPECT_EQ(p.find_first_file("C:\\dir\\a<b*", &data), sys::invalid_handle_value);
  EXPECT_EQ(p.last_error(), sys::error::invalid_name);
}

TEST(PosixFind, HandlesSnapshotTheListing) {
  temp_drive drive;
  drive.write("dir/a", "");
  auto& p = backend();
  sys::find_data data;
  const sys::native_handle find = p.find_first_file("C:\\dir\\*", &data);
  ASSERT_NE(find, sys::invalid_handle_value);
  const sys::native_handle file =
      p.create_file("C:\\dir\\b", sys::access_write, 0, sys::disposition::create_new, 0);
  ASSERT_NE(file, sys::invalid_handle_value);
  EXPECT_NE(find, file);
  EXPECT_TRUE(p.close_handle(file));

  list seen = {data.long_name};
  while (p.find_next_file(find, &data))
    seen.emplace_back(data.long_name);
  EXPECT_EQ(seen, (list{".", "..", "a"})); // b came after the listing started
  EXPECT_TRUE(p.find_close(find));
  EXPECT_FALSE(p.find_next_file(find, &data));
}

// Times to the 100 ns a FILETIME holds, and no attribute beyond those the
// backend gives.
TEST(PosixFind, EntryTimesAreExactAndAttributesHoldNothingElse) {
  temp_drive drive;
  const auto file = drive.write("d/file.bin", "hello");
  const auto locked = drive.write("d/locked", "");
  fs::create_directory(drive.c() / "d" / "sub");
  ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
  const struct timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);

  const auto all = listing("C:\\d\\*");
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all[0].attributes, sys::attribute_directory);
  EXPECT_EQ(all[1].attributes, sys::attribute_directory);
  EXPECT_STREQ(all[2].long_name, "file.bin");
  EXPECT_EQ(all[2].attributes, sys::attribute_archive);
  EXPECT_EQ(all[2].last_write_time, 1700000000ull * 10000000 + 1234567 + 116444736000000000ull);
  EXPECT_EQ(all[3].attributes, sys::attribute_archive | sys::attribute_read_only);
  EXPECT_EQ(all[4].attributes, sys::attribute_directory);
}

TEST(PosixFind, FollowsLinksNamesUnusableOnesAndSkipsWhatIsNeitherFileNorDirectory) {
  temp_drive drive;
  drive.write("d/target", "12");
  const auto dir = drive.c() / "d";
  fs::create_symlink("target", dir / "link");
  fs::create_symlink("nowhere", dir / "broken");
  fs::create_symlink("loop", dir / "loop");
  fs::create_symlink("..", dir / "up");
  fs::create_symlink(".", dir / "self");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  drive.write("d/bad\xFFname", ""); // not UTF-8: shown lossily

  // A link that leads nowhere or round in a circle is listed as a file that
  // cannot be used, with the error opening it gives.
  struct expected {
    const char* name;
    std::uint32_t attributes;
    std::uint32_t size;
    std::uint32_t error;
  };
  const std::vector<expected> table{
      {".", sys::attribute_directory, 0, 0},
      {"..", sys::attribute_directory, 0, 0},
      {"bad?name", sys::attribute_archive, 0, 0},
      {"broken", sys::attribute_archive, 0, sys::error::file_not_found},
      {"link", sys::attribute_archive, 2, 0},
      {"loop", sys::attribute_archive, 0, sys::error::cant_resolve_filename},
      {"self", sys::attribute_archive, 0, sys::error::cant_resolve_filename},
      {"target", sys::attribute_archive, 2, 0},
      {"up", sys::attribute_archive, 0, sys::error::cant_resolve_filename},
  };
  const auto all = listing("C:\\d\\*");
  ASSERT_EQ(all.size(), table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_STREQ(all[i].long_name, table[i].name);
    EXPECT_EQ(all[i].attributes & ~sys::attribute_read_only, table[i].attributes) << i;
    EXPECT_EQ(all[i].size_low, table[i].size) << i;
    EXPECT_EQ(all[i].error, table[i].error) << i;
  }
}

} // namespace
