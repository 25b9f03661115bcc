// Directory scanning: plain and extended records, the one shared scan, folding.
#include "sys/scan.h"
#include "tests/support/fault_platform.h"
#include "tests/support/temp_drive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using velmora_test::fault_platform;
using velmora_test::scoped_platform;
using velmora_test::temp_drive;

namespace {

const std::string prefix = "\x01\x01\x01\x01";

struct entry {
  std::string name;
  bool directory;
  std::uint32_t size;
};

// Every plain-form name of a scan, until the empty name.
std::vector<std::string> plain_scan(const std::string& pattern) {
  std::vector<std::string> names;
  const std::uint8_t* rec = sys::scan_first(pattern.c_str());
  while (rec[0] != 0) {
    names.emplace_back(reinterpret_cast<const char*>(rec));
    rec = sys::scan_next(pattern.c_str());
  }
  return names;
}

std::vector<entry> extended_scan(const std::string& pattern) {
  const std::string full = prefix + pattern;
  std::vector<entry> entries;
  const std::uint8_t* rec = sys::scan_first(full.c_str());
  while (!sys::find_record_is_end(rec)) {
    entries.push_back({sys::find_record_name(rec), sys::find_record_is_directory(rec),
                       sys::find_record_size(rec)});
    rec = sys::scan_next(full.c_str());
  }
  // The end mark: attributes, size and name all zero.
  for (int i = 0; i <= sys::find_record_name_offset; ++i)
    EXPECT_EQ(rec[i], 0) << i;
  return entries;
}

class Scan : public ::testing::Test {
protected:
  Scan() {
    drive.write("KIT/README.TXT", "read me");
    drive.write("KIT/a.txt", "aa");
    fs::create_directories(drive.c() / "KIT" / "SUB");
    drive.write("KIT/SUB/INNER.DAT", "inner");
  }
  temp_drive drive;
};

TEST_F(Scan, PlainFormListsFilesOnlyUpperCased) {
  EXPECT_EQ(plain_scan("C:\\KIT\\*.*"), (std::vector<std::string>{"A.TXT", "README.TXT"}));
}

TEST_F(Scan, ExtendedFormListsDotEntriesDirectoriesAndFilesWithSizes) {
  const auto entries = extended_scan("C:\\KIT\\*.*");
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].name, ".");
  EXPECT_TRUE(entries[0].directory);
  EXPECT_EQ(entries[1].name, "..");
  EXPECT_TRUE(entries[1].directory);
  EXPECT_EQ(entries[2].name, "A.TXT");
  EXPECT_FALSE(entries[2].directory);
  EXPECT_EQ(entries[2].size, 2u);
  EXPECT_EQ(entries[3].name, "README.TXT");
  EXPECT_EQ(entries[3].size, 7u);
  EXPECT_EQ(entries[4].name, "SUB");
  EXPECT_TRUE(entries[4].directory);
}

TEST_F(Scan, ExtendedRecordLayoutIsLittleEndianWithTheNameAtByteNine) {
  drive.write("BIG/B.BIN", std::string(0x010203, 'b'));
  const std::string pattern = prefix + "C:\\BIG\\B.BIN";
  const std::uint8_t* rec = sys::scan_first(pattern.c_str());
  EXPECT_EQ(rec[0] & 0x10, 0);
  EXPECT_EQ(rec[4], 0);
  EXPECT_EQ(rec[5], 0x03);
  EXPECT_EQ(rec[6], 0x02);
  EXPECT_EQ(rec[7], 0x01);
  EXPECT_EQ(rec[8], 0x00);
  EXPECT_STREQ(reinterpret_cast<const char*>(rec + 9), "B.BIN");
}

// Where the platform keeps a short name for an entry, that name is the entry
// name (ScanShortNames below); the tests that skip there are of long names.
TEST_F(Scan, WindowsLettersAreFoldedBackInPlainFormOnly) {
  drive.write("NORD/b\xC3\xA4r.txt", "x"); // "bär.txt" in UTF-8 on disk
  VELMORA_SKIP_IF_SHORT_NAME("C:\\NORD\\B\xC4R.TXT");
  EXPECT_EQ(plain_scan("C:\\NORD\\*.*"), (std::vector<std::string>{"B\x8ER.TXT"}));
  const auto entries = extended_scan("C:\\NORD\\*.*");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[2].name, "B\xC4R.TXT"); // Windows-1252 Ä, openable as it stands
}

TEST_F(Scan, PatternsAreFoldedBeforeTheyReachThePlatform) {
  fs::create_directories(drive.c() / velmora_test::utf8_path("D\xC3\x84R")); // "DÄR"
  drive.write("D\xC3\x84R/X.TXT", "x");
  EXPECT_EQ(plain_scan("C:\\D\x84R\\*.*"), (std::vector<std::string>{"X.TXT"}));
}

TEST_F(Scan, LongNamesStandInWholeForTheMissingShortName) {
  drive.write("LONG/a_rather_long_file_name.text", "x");
  VELMORA_SKIP_IF_SHORT_NAME("C:\\LONG\\A_RATHER_LONG_FILE_NAME.TEXT");
  EXPECT_EQ(plain_scan("C:\\LONG\\*.*"),
            (std::vector<std::string>{"A_RATHER_LONG_FILE_NAME.TEXT"}));
}

TEST_F(Scan, SecondScanFirstStartsAfreshAndScanNextFollowsIt) {
  const std::string kit = "C:\\KIT\\*.*";
  const std::string sub = "C:\\KIT\\SUB\\*.*";
  EXPECT_STREQ(reinterpret_cast<const char*>(sys::scan_first(kit.c_str())), "A.TXT");
  EXPECT_STREQ(reinterpret_cast<const char*>(sys::scan_first(sub.c_str())), "INNER.DAT");
  EXPECT_EQ(sys::scan_next(kit.c_str())[0], 0);
}

TEST_F(Scan, ScanNextAfterTheEndKeepsAnsweringEmpty) {
  const std::string kit = "C:\\KIT\\*.*";
  plain_scan(kit);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(sys::scan_next(kit.c_str())[0], 0);
  const std::string extended = prefix + kit;
  EXPECT_TRUE(sys::find_record_is_end(sys::scan_next(extended.c_str())));
}

TEST_F(Scan, NothingFoundGivesAnEmptyNameAndScanNextStaysEmpty) {
  EXPECT_TRUE(plain_scan("C:\\KIT\\*.XYZ").empty());
  EXPECT_EQ(sys::scan_next("C:\\KIT\\*.XYZ")[0], 0);
  EXPECT_TRUE(plain_scan("C:\\MISSING\\*.*").empty());
  EXPECT_TRUE(extended_scan("C:\\MISSING\\*.*").empty());
}

TEST_F(Scan, PlainFormOverOnlySubdirectoriesIsEmpty) {
  fs::create_directories(drive.c() / "DIRS" / "ONE");
  fs::create_directories(drive.c() / "DIRS" / "TWO");
  EXPECT_TRUE(plain_scan("C:\\DIRS\\*.*").empty());
  EXPECT_EQ(extended_scan("C:\\DIRS\\*.*").size(), 4u);
}

sys::find_data found(const char* long_name, const char* short_name, std::uint32_t attributes) {
  sys::find_data d;
  std::strncpy(d.long_name, long_name, sizeof d.long_name - 1);
  std::strncpy(d.short_name, short_name, sizeof d.short_name - 1);
  d.attributes = attributes;
  d.size_low = 42;
  return d;
}

TEST(ScanShortNames, ThePlatformsShortNameWinsOverTheLongName) {
  fault_platform fake;
  scoped_platform use(fake);
  fake.script_listing({found("Program Files", "PROGRA~1", 0x10),
                       found("Very long name.text", "VERYLO~1.TEX", 0x20),
                       found("short.txt", "", 0x20), found("tab.txt", " ", 0x20)});
  EXPECT_EQ(plain_scan("C:\\*.*"),
            (std::vector<std::string>{"VERYLO~1.TEX", "SHORT.TXT", "TAB.TXT"}));
  const auto entries = extended_scan("C:\\*.*");
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].name, "PROGRA~1");
  EXPECT_EQ(entries[0].size, 42u);
}

TEST(ScanShortNames, DotNamesKeepTheirLongNameWhateverTheShortName) {
  fault_platform fake;
  scoped_platform use(fake);
  fake.script_listing(
      {found(".", "", 0x10), found(".git", "GIT~1", 0x10), found(".gitignore", "GITIGN~1", 0x20)});
  const auto entries = extended_scan("C:\\KIT\\*.*");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].name, ".GIT");
  EXPECT_TRUE(entries[1].directory);
  EXPECT_EQ(plain_scan("C:\\KIT\\*.*"), (std::vector<std::string>{".GITIGNORE"}));
}

TEST(ScanShortNames, NamesAreCutToTheRoomOfTheRecord) {
  fault_platform fake;
  scoped_platform use(fake);
  const std::string long_name(259, 'n');
  fake.script_listing({found(long_name.c_str(), "", 0x20)});
  EXPECT_EQ(plain_scan("C:\\*.*")[0], std::string(sys::max_plain_name_bytes, 'N'));
  EXPECT_EQ(extended_scan("C:\\*.*")[0].name, std::string(sys::max_extended_name_bytes, 'N'));
}

} // namespace
