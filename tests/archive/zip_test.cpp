// ZIP packaging and the codec test commands.
#include "archive/format.h"
#include "sys/forwarding_platform.h"
#include "tests/archive/engine_helpers.h"
#include "tests/support/fault_platform.h"
#include "tests/support/temp_drive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unzip.h>
#include <zlib.h>

namespace fs = std::filesystem;
using namespace velmora_test;

namespace {

struct zip_entry {
  std::string name;
  std::string data;
  std::uint16_t flags;
  uLong dos_date;
};

// Every entry of a ZIP file, read back with minizip's reader (CRCs checked).
std::vector<zip_entry> read_zip(const fs::path& path, bool* ok) {
  std::vector<zip_entry> entries;
  *ok = false;
  unzFile z = unzOpen(path.string().c_str());
  if (!z)
    return entries;
  for (int r = unzGoToFirstFile(z); r == UNZ_OK; r = unzGoToNextFile(z)) {
    unz_file_info info;
    char name[512];
    unzGetCurrentFileInfo(z, &info, name, sizeof name, nullptr, 0, nullptr, 0);
    std::string data(info.uncompressed_size, '\0');
    if (unzOpenCurrentFile(z) != UNZ_OK)
      return entries;
    const int n = unzReadCurrentFile(z, data.data(), static_cast<unsigned>(data.size()));
    if (n != static_cast<int>(data.size()) || unzCloseCurrentFile(z) != UNZ_OK)
      return entries; // a CRC mismatch shows at the close
    entries.push_back({name, data, static_cast<std::uint16_t>(info.flag), info.dosDate});
  }
  *ok = unzClose(z) == UNZ_OK;
  return entries;
}

std::string pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>((i * 7 + i / 300) % 251);
  return s;
}

class Zip : public ::testing::Test {
protected:
  Zip() { fs::create_directory(drive.c() / "VEK"); }
  std::vector<zip_entry> entries(bool* ok) const { return read_zip(drive.c() / "OUT.ZIP", ok); }
  temp_drive drive;
};

TEST_F(Zip, StoresFilesBelowTheRootWithForwardSlashes) {
  drive.write("KIT/SETUP.DAT", pattern(70000)); // more than two 31,000-byte pieces
  drive.write("KIT/HELP/INDEX.HLP", "index");
  drive.write("KIT/HELP/EMPTY.TXT", "");
  drive.write("KIT/.svn/skipped", "no");
  const auto r = engine("C:\\OUT.ZIP", "C:\\KIT\\***", "ZIP");
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(r.block, std::string("\0\x05\0    0\0\xEE", 10));
  bool ok;
  const auto e = entries(&ok);
  ASSERT_TRUE(ok);
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].name, "SETUP.DAT");
  EXPECT_EQ(e[0].data, pattern(70000));
  EXPECT_EQ(e[1].name, "HELP/EMPTY.TXT");
  EXPECT_EQ(e[1].data, "");
  EXPECT_EQ(e[2].name, "HELP/INDEX.HLP");
  for (const auto& entry : e)
    EXPECT_EQ(entry.flags & 0x800, 0) << "plain ASCII names are not flagged";
}

TEST_F(Zip, WindowsLettersInNamesAreStoredAsFlaggedUtf8) {
  drive.write("KIT/bl\xC3\xA5"
              "b\xC3\xA4r.txt",
              "x"); // "blåbär.txt"
  VELMORA_SKIP_IF_SHORT_NAME("C:\\KIT\\BL\xC5"
                             "B\xC4R.TXT");
  ASSERT_EQ(engine("C:\\OUT.ZIP", "C:\\KIT\\***", "ZIP").code, 0);
  bool ok;
  const auto e = entries(&ok);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].name, "BL\xC3\x85"
                       "B\xC3\x84R.TXT"); // BLÅBÄR.TXT in UTF-8
  EXPECT_EQ(e[0].flags & 0x800, 0x800);
}

TEST_F(Zip, EntriesCarryTheLocalModificationTimeInDosForm) {
  const auto file = drive.write("KIT/DATED.TXT", "d");
  // 2021-06-15 10:20:30 local time, set through the native file system.
  std::tm when{};
  when.tm_year = 121;
  when.tm_mon = 5;
  when.tm_mday = 15;
  when.tm_hour = 10;
  when.tm_min = 20;
  when.tm_sec = 30;
  when.tm_isdst = -1;
  const auto since_epoch = std::chrono::seconds(std::mktime(&when));
  fs::last_write_time(file,
                      fs::file_time_type::clock::from_sys(std::chrono::sys_seconds(since_epoch)));
  ASSERT_EQ(engine("C:\\OUT.ZIP", "C:\\KIT\\***", "ZIP").code, 0);
  bool ok;
  const auto e = entries(&ok);
  ASSERT_EQ(e.size(), 1u);
  const uLong date = (41u << 9) | (6u << 5) | 15u;
  const uLong time = (10u << 11) | (20u << 5) | 15u;
  EXPECT_EQ(e[0].dos_date, date << 16 | time);
}

TEST_F(Zip, WithoutStarsOnlyTheDirectoryItself) {
  drive.write("KIT/TOP.TXT", "top");
  drive.write("KIT/SUB/IN.TXT", "in");
  ASSERT_EQ(engine("C:\\OUT.ZIP", "C:\\KIT\\*.*", "Z").code, 0);
  bool ok;
  const auto e = entries(&ok);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].name, "TOP.TXT");
}

TEST_F(Zip, EmptyDirectoryGivesAValidEmptyZip) {
  fs::create_directories(drive.c() / "KIT" / "ONLYDIR");
  ASSERT_EQ(engine("C:\\OUT.ZIP", "C:\\KIT\\***", "ZIP").code, 0);
  // The end-of-central-directory record alone, counting no entries.
  const std::string zip = temp_drive::read(drive.c() / "OUT.ZIP");
  ASSERT_EQ(zip.size(), 22u);
  EXPECT_EQ(zip.substr(0, 4), "PK\x05\x06");
  EXPECT_EQ(zip.substr(8, 4), std::string(4, '\0'));
}

TEST_F(Zip, ZipThatCannotBeCreatedIsStatusE) {
  drive.write("KIT/A.TXT", "a");
  const auto r = engine("C:\\NO\\DIR\\OUT.ZIP", "C:\\KIT\\***", "ZIP");
  EXPECT_EQ(r.code, 'e');
  EXPECT_EQ(r.block, std::string("\0\x05\0  101\0\xEE", 10));
}

TEST_F(Zip, UnreadableSourceStopsWithGAndLeavesNoEntryForIt) {
  drive.write("KIT/A.TXT", "a");
  drive.write("KIT/B.TXT", "b");
  drive.write("KIT/C.TXT", "c");
  fault_platform fake;
  scoped_platform use(fake);
  fake.fail(op::open_read_stream, 2, 5);
  const auto r = engine("C:\\OUT.ZIP", "C:\\KIT\\***", "ZIP");
  EXPECT_EQ(r.code, 'g');
  EXPECT_EQ(r.block, std::string("\0\x05\0  103\0\xEE", 10));
  bool ok;
  const auto e = entries(&ok);
  EXPECT_TRUE(ok) << "the ZIP file is completed with the entries before the failure";
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].name, "A.TXT");
}

// Changes B.TXT once packing has its size and time, before it is read: the
// date lookup comes between the two.
class changing_platform final : public sys::forwarding_platform {
public:
  explicit changing_platform(fs::path victim)
      : forwarding_platform(sys::current_platform()), victim_(std::move(victim)) {}
  bool file_time_to_local_dos(std::uint64_t time, std::uint16_t* date,
                              std::uint16_t* dos_time) override {
    if (++calls_ == 2)
      std::ofstream(victim_, std::ios::app) << "grown";
    return base().file_time_to_local_dos(time, date, dos_time);
  }

private:
  fs::path victim_;
  int calls_ = 0;
};

TEST_F(Zip, AFileThatChangesWhileReadStopsWithG) {
  drive.write("KIT/A.TXT", "a");
  drive.write("KIT/B.TXT", "b");
  changing_platform changing(drive.c() / "KIT" / "B.TXT");
  scoped_platform use(changing);
  const auto r = engine("C:\\OUT.ZIP", "C:\\KIT\\***", "ZIP");
  EXPECT_EQ(r.code, 'g');
  EXPECT_EQ(r.report.reason, archive::failure_reason::changed_while_read);
  EXPECT_STREQ(r.report.path.data(), "C:\\KIT\\B.TXT");
}

TEST_F(Zip, WriteFailureOfTheZipIsNotSuccess) {
  drive.write("KIT/A.TXT", pattern(5000));
  fault_platform fake;
  scoped_platform use(fake);
  fake.fail(op::open_write_stream, 1, 112);
  EXPECT_EQ(engine("C:\\OUT.ZIP", "C:\\KIT\\***", "ZIP").code, 'e');
}

// The codec test files: a 32-bit little-endian length and the data.
std::string with_length(const std::string& data, std::uint32_t length) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i)
    s[static_cast<std::size_t>(i)] = static_cast<char>(length >> (8 * i));
  return s + data;
}

class Codec : public ::testing::Test {
protected:
  Codec() : old_dir(fs::current_path()) {
    fs::create_directory(drive.c() / "VEK");
    fs::current_path(drive.c());
  }
  ~Codec() override { fs::current_path(old_dir); }
  std::string file(const char* name) const { return temp_drive::read(drive.c() / name); }
  void put(const char* name, const std::string& bytes) const { drive.write(name, bytes); }
  temp_drive drive;
  fs::path old_dir;
};

TEST_F(Codec, CompressThenDecompressGivesTheOriginalBack) {
  for (std::size_t n : {0u, 5u, 4096u, 32000u}) {
    const std::string original = with_length(pattern(n), static_cast<std::uint32_t>(n));
    put("ZIPORG.TXT", original);
    ASSERT_EQ(engine("", "", "PC").code, 0) << n;
    const std::string compressed = file("ZIPIN.TXT");
    const std::uint32_t stream =
        static_cast<std::uint8_t>(compressed[0]) | static_cast<std::uint8_t>(compressed[1]) << 8;
    EXPECT_EQ(stream + 4u, compressed.size());
    ASSERT_EQ(engine("", "", "PB").code, 0) << n;
    EXPECT_EQ(file("ZIPUT.TXT"), original) << n;
  }
}

TEST_F(Codec, DecompressWritesWholePiecesAndNoEmptyLastWrite) {
  put("ZIPORG.TXT", with_length(pattern(4096), 4096));
  ASSERT_EQ(engine("", "", "PC").code, 0);
  fault_platform fake;
  scoped_platform use(fake);
  ASSERT_EQ(engine("", "", "PB").code, 0);
  EXPECT_EQ(fake.calls(op::write_file), 3); // the length, then two pieces of 2,048
}

TEST_F(Codec, MissingFilesGiveTheirStatusesAndCreateNothing) {
  const auto pb = engine("", "", "PB");
  EXPECT_EQ(pb.code, 'y');
  EXPECT_EQ(pb.block, std::string("\0\x05\0  121\0\xEE", 10));
  EXPECT_FALSE(fs::exists(drive.c() / "ZIPUT.TXT"));
  const auto pc = engine("", "", "PC");
  EXPECT_EQ(pc.code, 130);
  EXPECT_EQ(pc.block, std::string("\0\x05\0  130\0\xEE", 10));
  EXPECT_FALSE(fs::exists(drive.c() / "ZIPIN.TXT"));
}

TEST_F(Codec, OutputsThatCannotBeCreatedGiveZAnd131) {
  put("ZIPORG.TXT", with_length("hello", 5));
  fs::create_directory(drive.c() / "ZIPIN.TXT"); // a directory in the way
  EXPECT_EQ(engine("", "", "PC").code, 131);
  fs::remove(drive.c() / "ZIPIN.TXT");
  ASSERT_EQ(engine("", "", "PC").code, 0);
  fs::create_directory(drive.c() / "ZIPUT.TXT");
  EXPECT_EQ(engine("", "", "PB").code, 'z');
}

TEST_F(Codec, LengthFieldBeyondTheDataIsRefusedAndWritesNothing) {
  put("ZIPORG.TXT", with_length("hello", 6));
  EXPECT_EQ(engine("", "", "PC").code, 130);
  put("ZIPORG.TXT", with_length(pattern(32001), 32001)); // above 32,000
  EXPECT_EQ(engine("", "", "PC").code, 130);
  put("ZIPORG.TXT", "abc"); // no whole length field
  EXPECT_EQ(engine("", "", "PC").code, 130);
  EXPECT_FALSE(fs::exists(drive.c() / "ZIPIN.TXT"));
  // A length below the data is fine: only N bytes are taken.
  put("ZIPORG.TXT", with_length("hello world", 5));
  ASSERT_EQ(engine("", "", "PC").code, 0);
  ASSERT_EQ(engine("", "", "PB").code, 0);
  EXPECT_EQ(file("ZIPUT.TXT"), with_length("hello", 5));
}

TEST_F(Codec, OversizedOrUndecodableInputWritesNothing) {
  put("ZIPIN.TXT", with_length(std::string(archive::work_area_bytes + 1, 'x'), 0));
  EXPECT_EQ(engine("", "", "PB").code, 'y');
  EXPECT_FALSE(fs::exists(drive.c() / "ZIPUT.TXT"));

  put("ZIPIN.TXT", with_length("not a zlib stream", 17));
  EXPECT_EQ(engine("", "", "PB").code, 's');
  EXPECT_FALSE(fs::exists(drive.c() / "ZIPUT.TXT"));
  EXPECT_EQ(file("VEK/QXERROR.TXT"), "65533/   15/inflate 1\r\n65533/   15/inflate 2\r\n");

  // Data that decodes to more than 250,000 bytes.
  uLongf length = compressBound(300000);
  std::string big(length, '\0');
  const std::string zeros(300000, '\0');
  compress(reinterpret_cast<Bytef*>(big.data()), &length,
           reinterpret_cast<const Bytef*>(zeros.data()), zeros.size());
  big.resize(length);
  put("ZIPIN.TXT", with_length(big, static_cast<std::uint32_t>(length)));
  EXPECT_EQ(engine("", "", "PB").code, 's');
  EXPECT_FALSE(fs::exists(drive.c() / "ZIPUT.TXT"));
}

} // namespace
