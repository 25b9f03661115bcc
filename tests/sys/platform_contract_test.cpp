// The behaviour of sys/platform.h that every backend shares, checked once
// against the build's own backend: natively on POSIX, under Wine on Windows.
// What only one backend does is checked beside it (posix_*_test.cpp,
// win32_platform_test.cpp).
#include "sys/platform.h"
#include "tests/support/platform_probe.h"
#include "tests/support/temp_drive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using velmora_test::listing;
using velmora_test::open_handle;
using velmora_test::temp_drive;

// The backend in use: the build's own, seen through the test drives' map.
sys::platform& backend() {
  return sys::current_platform();
}

constexpr std::uint32_t read_write = sys::access_read | sys::access_write;
constexpr std::uint32_t share_all = sys::share_read | sys::share_write;
using list = std::vector<std::string>;
using sys::disposition;
using enum sys::disposition;
namespace err = sys::error;

std::string read_all(sys::native_handle h) {
  std::string out;
  char buffer[7]; // small, so a read takes several rounds
  std::uint32_t done = 0;
  while (backend().read_file(h, buffer, sizeof buffer, &done) && done != 0)
    out.append(buffer, done);
  return out;
}

// The names in a native directory, sorted by their bytes.
list names_on_disk(const fs::path& dir) {
  list out;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::u8string name = e.path().filename().u8string();
    out.emplace_back(name.begin(), name.end());
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The names a pattern lists, sorted by their bytes (the order of a listing
// is the backend's own).
list sorted_names(const std::string& pattern) {
  list out;
  for (const auto& e : listing(pattern))
    out.emplace_back(e.long_name);
  std::sort(out.begin(), out.end());
  return out;
}

// A table case's name as its test's name.
template <typename Case> std::string case_name(const testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

// --- opening files -----------------------------------------------------------

// One call of create_file on a drive holding old.txt ("old contents").
struct open_case {
  const char* name;
  const char* path;
  sys::disposition how;
  std::uint32_t error;    // 0: the open succeeds
  list on_disk;           // the names in C:\ afterwards
  std::uint64_t old_size; // the size of old.txt afterwards
};

class PlatformOpen : public testing::TestWithParam<open_case> {};

TEST_P(PlatformOpen, FollowsItsDisposition) {
  const open_case& c = GetParam();
  temp_drive drive;
  drive.write("old.txt", "old contents");
  {
    open_handle h(c.path, sys::access_write, 0, c.how);
    EXPECT_EQ(h.ok() ? 0u : h.error(), c.error);
  }
  EXPECT_EQ(names_on_disk(drive.c()), c.on_disk);
  EXPECT_EQ(fs::file_size(drive.c() / "old.txt"), c.old_size);
}

// clang-format off
const open_case open_cases[] = {
    {"CreateNewMakesAMissingFile", "C:\\new.bin", create_new, 0, {"new.bin", "old.txt"}, 12},
    {"CreateNewRefusesAnExistingFileInAnyCase", "C:\\OLD.TXT", create_new, err::file_exists, {"old.txt"}, 12},
    {"CreateAlwaysEmptiesAnExistingFileKeepingItsName", "C:\\OLD.TXT", create_always, 0, {"old.txt"}, 0},
    {"CreateAlwaysMakesAMissingFile", "C:\\fresh.txt", create_always, 0, {"fresh.txt", "old.txt"}, 12},
    {"OpenExistingLeavesTheContents", "C:\\Old.Txt", open_existing, 0, {"old.txt"}, 12},
    {"OpenExistingOfAMissingFile", "C:\\missing.txt", open_existing, err::file_not_found, {"old.txt"}, 12},
    {"OpenExistingInAMissingDirectory", "C:\\nodir\\x.txt", open_existing, err::path_not_found, {"old.txt"}, 12},
    {"CreateAlwaysInAMissingDirectory", "C:\\nodir\\x.txt", create_always, err::path_not_found, {"old.txt"}, 12},
};
INSTANTIATE_TEST_SUITE_P(Dispositions, PlatformOpen, testing::ValuesIn(open_cases), case_name<open_case>);
// clang-format on

TEST(PlatformFile, ReadOnlyAttributeMakesAReadOnlyFileYetAWritableHandle) {
  temp_drive drive;
  {
    open_handle h("C:\\ro.txt", sys::access_write, 0, create_new, sys::attribute_read_only);
    ASSERT_TRUE(h.ok());
    std::uint32_t done = 0;
    EXPECT_TRUE(backend().write_file(h.get(), "ok", 2, &done));
  }
  EXPECT_EQ(fs::status(drive.c() / "ro.txt").permissions() & fs::perms::owner_write,
            fs::perms::none);
}

TEST(PlatformFile, DirectoriesAreNoFiles) {
  temp_drive drive;
  fs::create_directory(drive.c() / "dir");
  for (auto how : {open_existing, create_always}) {
    open_handle dir("C:\\DIR", read_write, 0, how);
    EXPECT_EQ(dir.error(), err::access_denied);
  }
  EXPECT_EQ(backend().open_read_stream("C:\\dir"), nullptr);
  EXPECT_TRUE(fs::is_directory(drive.c() / "dir"));
}

// --- sharing -----------------------------------------------------------------

// Opens of C:\f.txt held while another open is tried, and what that open meets.
struct open_request {
  std::uint32_t access;
  std::uint32_t share;
};
struct sharing_case {
  const char* name;
  std::vector<open_request> held;
  open_request tried;
  disposition how;
  std::uint32_t error; // 0: the tried open succeeds
};

class PlatformSharing : public testing::TestWithParam<sharing_case> {};

TEST_P(PlatformSharing, FollowsWindowsRulesBetweenOpens) {
  const sharing_case& c = GetParam();
  temp_drive drive;
  drive.write("f.txt", "keep me");
  {
    std::vector<std::unique_ptr<open_handle>> held;
    for (const auto& r : c.held) {
      held.push_back(std::make_unique<open_handle>("C:\\f.txt", r.access, r.share, open_existing));
      ASSERT_TRUE(held.back()->ok());
    }
    open_handle tried("C:\\F.TXT", c.tried.access, c.tried.share, c.how);
    EXPECT_EQ(tried.ok() ? 0u : tried.error(), c.error);
  }
  EXPECT_EQ(temp_drive::read(drive.c() / "f.txt"), "keep me");
  // All closed: an exclusive open is fine again.
  open_handle exclusive("C:\\f.txt", read_write, 0, open_existing);
  EXPECT_TRUE(exclusive.ok());
}

constexpr open_request reader_sharing_read{sys::access_read, sys::share_read};
constexpr open_request writer_sharing_all{sys::access_write, share_all};
// clang-format off
const sharing_case sharing_cases[] = {
    {"ReadersSharingReadMeet", {reader_sharing_read}, reader_sharing_read, open_existing, 0},
    {"ReadersSharingReadShutOutAWriter", {reader_sharing_read, reader_sharing_read}, {read_write, share_all}, open_existing, err::sharing_violation},
    {"AnOpenSharingNothingMeetsNoHeldReader", {reader_sharing_read}, {sys::access_read, 0}, open_existing, err::sharing_violation},
    {"ATruncatingCreateMeetsNoHeldReader", {reader_sharing_read}, {sys::access_write, 0}, create_always, err::sharing_violation},
    {"AnUnsharedOpenShutsOutEveryOther", {{read_write, 0}}, {sys::access_read, share_all}, open_existing, err::sharing_violation},
    {"AReaderSharingOnlyReadMeetsNoHeldWriter", {writer_sharing_all}, reader_sharing_read, open_existing, err::sharing_violation},
    {"AReaderSharingWriteMeetsAHeldWriter", {writer_sharing_all}, {sys::access_read, share_all}, open_existing, 0},
};
INSTANTIATE_TEST_SUITE_P(Opens, PlatformSharing, testing::ValuesIn(sharing_cases), case_name<sharing_case>);
// clang-format on

// --- reading, writing, moving ------------------------------------------------

TEST(PlatformIo, WriteSeekAndReadBack) {
  temp_drive drive;
  auto& p = backend();
  {
    open_handle f("C:\\data.bin", read_write, 0, create_new);
    ASSERT_TRUE(f.ok());
    std::uint32_t done = 0;
    ASSERT_TRUE(p.write_file(f.get(), "0123456789", 10, &done));
    EXPECT_EQ(done, 10u);

    EXPECT_EQ(p.set_file_pointer(f.get(), 0, sys::move_method::end), 10u);
    char c = 0;
    done = 99;
    EXPECT_TRUE(p.read_file(f.get(), &c, 1, &done)); // at the end: success, nothing read
    EXPECT_EQ(done, 0u);

    EXPECT_EQ(p.set_file_pointer(f.get(), 3, sys::move_method::begin), 3u);
    EXPECT_EQ(p.set_file_pointer(f.get(), 2, sys::move_method::current), 5u);
    char five[5];
    ASSERT_TRUE(p.read_file(f.get(), five, sizeof five, &done));
    EXPECT_EQ(std::string(five, done), "56789");

    EXPECT_EQ(p.set_file_pointer(f.get(), 0, sys::move_method::begin), 0u);
    EXPECT_EQ(read_all(f.get()), "0123456789");

    // Past the end is allowed; writing there leaves a hole of zeros.
    EXPECT_EQ(p.set_file_pointer(f.get(), 2, sys::move_method::end), 12u);
    ASSERT_TRUE(p.write_file(f.get(), "!", 1, &done));
    EXPECT_EQ(p.set_file_pointer(f.get(), 2, sys::move_method::current), 15u);
  }
  EXPECT_EQ(temp_drive::read(drive.c() / "data.bin"), std::string("0123456789\0\0!", 13));
}

TEST(PlatformIo, DistancesOf2To31AndMoreMoveForwardAndOnlyTheLowHalfComesBack) {
  temp_drive drive;
  auto& p = backend();
  open_handle f("C:\\big.bin", read_write, 0, create_new);
  ASSERT_TRUE(f.ok());
  // As a signed 32-bit move this would be negative and refused.
  EXPECT_EQ(p.set_file_pointer(f.get(), 0x80000000u, sys::move_method::begin), 0x80000000u);
  EXPECT_EQ(p.set_file_pointer(f.get(), 0x80000000u, sys::move_method::current), 0u)
      << "position 2^32: its low half is 0";

  // A position whose low half is the failure value is told apart by
  // last_error, which the move itself clears.
  EXPECT_FALSE(p.close_handle(sys::invalid_handle_value)); // leaves an error behind
  ASSERT_NE(p.last_error(), err::success);
  EXPECT_EQ(p.set_file_pointer(f.get(), 0xFFFFFFFFu, sys::move_method::begin),
            sys::invalid_set_file_pointer);
  EXPECT_EQ(p.last_error(), err::success);
  EXPECT_EQ(p.set_file_pointer(f.get(), 3, sys::move_method::current), 2u);
}

TEST(PlatformIo, AccessIsEnforcedPerHandle) {
  temp_drive drive;
  drive.write("f.txt", "abc");
  auto& p = backend();
  char buffer[4];
  std::uint32_t done = 99;
  {
    open_handle writer("C:\\f.txt", sys::access_write, 0, open_existing);
    ASSERT_TRUE(writer.ok());
    EXPECT_FALSE(p.read_file(writer.get(), buffer, sizeof buffer, &done));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(p.last_error(), err::access_denied);
  }
  {
    open_handle reader("C:\\f.txt", sys::access_read, 0, open_existing);
    ASSERT_TRUE(reader.ok());
    done = 99;
    EXPECT_FALSE(p.write_file(reader.get(), "x", 1, &done));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(p.last_error(), err::access_denied);
  }
  EXPECT_EQ(temp_drive::read(drive.c() / "f.txt"), "abc");
}

// Only handles this backend opened are taken: never the process's standard
// streams (0, 1, 2 on POSIX), nor a closed handle, nor one of another kind.
TEST(PlatformIo, UnknownHandlesAreRefusedUntouched) {
  temp_drive drive;
  auto& p = backend();
  const sys::native_handle file = p.create_file("C:\\x", read_write, 0, create_new, 0);
  ASSERT_NE(file, sys::invalid_handle_value);
  sys::find_data data;
  const sys::native_handle find = p.find_first_file("C:\\*", &data);
  ASSERT_NE(find, sys::invalid_handle_value);
  EXPECT_FALSE(p.close_handle(find)) << "a find handle is no file handle";
  EXPECT_EQ(p.last_error(), err::invalid_handle);
  EXPECT_FALSE(p.find_close(file)) << "a file handle is no search";
  EXPECT_EQ(p.last_error(), err::invalid_handle);
  EXPECT_TRUE(p.find_close(find));
  EXPECT_TRUE(p.close_handle(file));

  for (const sys::native_handle h :
       {sys::native_handle{0}, sys::native_handle{1}, sys::native_handle{2}, sys::native_handle{-1},
        sys::native_handle{-2}, sys::native_handle{0x7FFFFFFF}, file}) {
    char c = 0;
    std::uint32_t done = 7;
    EXPECT_FALSE(p.read_file(h, &c, 1, &done)) << h;
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(p.last_error(), err::invalid_handle);
    EXPECT_FALSE(p.write_file(h, "x", 1, &done)) << h;
    EXPECT_EQ(p.last_error(), err::invalid_handle);
    EXPECT_EQ(p.set_file_pointer(h, 0, sys::move_method::begin), sys::invalid_set_file_pointer);
    EXPECT_EQ(p.last_error(), err::invalid_handle);
    EXPECT_FALSE(p.close_handle(h)) << h;
    EXPECT_EQ(p.last_error(), err::invalid_handle);
    EXPECT_FALSE(p.find_next_file(h, &data)) << h;
    EXPECT_EQ(p.last_error(), err::invalid_handle);
    EXPECT_FALSE(p.find_close(h)) << h;
    EXPECT_EQ(p.last_error(), err::invalid_handle);
  }
}

// --- streams -----------------------------------------------------------------

TEST(PlatformStream, WritesAndReadsBackInBinaryAndReportsTheOpenError) {
  temp_drive drive;
  fs::create_directory(drive.c() / "Dir");
  std::FILE* out = backend().open_write_stream("C:\\DIR\\List.txt");
  ASSERT_NE(out, nullptr);
  EXPECT_GE(std::fputs("line\n", out), 0);
  std::fclose(out);
  EXPECT_EQ(temp_drive::read(drive.c() / "Dir" / "List.txt"), "line\n") << "binary: no CR added";

  std::FILE* in = backend().open_read_stream("C:\\dir\\list.TXT");
  ASSERT_NE(in, nullptr);
  char line[16] = {};
  EXPECT_NE(std::fgets(line, sizeof line, in), nullptr);
  EXPECT_STREQ(line, "line\n");
  std::fclose(in);

  EXPECT_EQ(backend().open_read_stream("C:\\dir\\none.txt"), nullptr);
  EXPECT_EQ(backend().last_error(), err::file_not_found);
  EXPECT_EQ(backend().open_write_stream("C:\\none\\x.bin"), nullptr);
  EXPECT_EQ(backend().last_error(), err::path_not_found);
}

// --- directories -------------------------------------------------------------

TEST(PlatformDirectory, CreateAndRemoveReportWhyNot) {
  temp_drive drive;
  auto& p = backend();
  EXPECT_TRUE(p.create_directory("C:\\NewDir"));
  EXPECT_TRUE(fs::is_directory(drive.c() / "NewDir"));
  EXPECT_FALSE(p.create_directory("C:\\newdir"));
  EXPECT_EQ(p.last_error(), err::already_exists);
  drive.write("file", "");
  EXPECT_FALSE(p.create_directory("C:\\FILE"));
  EXPECT_EQ(p.last_error(), err::already_exists);
  EXPECT_FALSE(p.create_directory("C:\\no\\such"));
  EXPECT_EQ(p.last_error(), err::path_not_found);

  drive.write("NewDir/inside", "");
  EXPECT_FALSE(p.remove_directory("C:\\newdir"));
  EXPECT_EQ(p.last_error(), err::dir_not_empty);
  fs::remove(drive.c() / "NewDir" / "inside");
  EXPECT_TRUE(p.remove_directory("C:\\newdir"));
  EXPECT_FALSE(fs::exists(drive.c() / "NewDir"));
  EXPECT_FALSE(p.remove_directory("C:\\newdir"));
  EXPECT_EQ(p.last_error(), err::file_not_found);
}

// Below a directory: an existing file is emptied in place only when it has
// no other hard link; other refusals keep their own errors.
TEST(PlatformDirectory, CreateBelowEmptiesOnlyAFileWithoutOtherLinks) {
  temp_drive drive;
  drive.write("Below/one.txt", "old");
  drive.write("Below/kept.txt", "keep");
  const fs::path below = drive.c() / "Below";
  fs::create_hard_link(below / "kept.txt", below / "linked.txt");
  struct below_case {
    const char* relative;
    disposition how;
    std::uint32_t error;
  };
  for (const auto& c : {below_case{"ONE.TXT", create_always, 0},
                        below_case{"linked.txt", create_always, err::too_many_links},
                        below_case{"one.txt", create_new, err::file_exists},
                        below_case{"none\\x.txt", create_always, err::path_not_found},
                        below_case{"..\\x.txt", create_always, err::invalid_name}}) {
    const sys::native_handle h =
        backend().create_file_below("C:\\below", c.relative, read_write, 0, c.how, 0);
    EXPECT_EQ(h == sys::invalid_handle_value ? backend().last_error() : 0u, c.error) << c.relative;
    if (h != sys::invalid_handle_value)
      backend().close_handle(h);
  }
  EXPECT_EQ(fs::file_size(below / "one.txt"), 0u);
  EXPECT_EQ(fs::file_size(below / "kept.txt"), 4u);
  // A base may end in a backslash, as a drive's root does.
  EXPECT_TRUE(backend().create_directory_below("C:\\", "sub"));
  EXPECT_FALSE(backend().create_directory_below("C:\\", "SUB"));
  EXPECT_EQ(backend().last_error(), err::already_exists);
}

// --- listings ----------------------------------------------------------------

TEST(PlatformFind, ADirectoryListsItsDotEntriesFirst) {
  temp_drive drive;
  for (const char* name : {"b.txt", "a.txt", "Zeta", "\xC3\xA4.txt", "_x"})
    drive.write(std::string("dir/") + name, "");
  fs::create_directory(drive.c() / "dir" / "sub");
  for (const char* pattern : {"C:\\DIR\\*", "C:\\dir\\*.*", "c:/Dir/*"}) {
    SCOPED_TRACE(pattern);
    const auto all = listing(pattern);
    ASSERT_EQ(all.size(), 8u);
    EXPECT_STREQ(all[0].long_name, ".");
    EXPECT_STREQ(all[1].long_name, "..");
    EXPECT_TRUE(all[0].attributes & sys::attribute_directory);
    EXPECT_TRUE(all[1].attributes & sys::attribute_directory);
    list rest;
    for (std::size_t i = 2; i < all.size(); ++i)
      rest.emplace_back(all[i].long_name);
    std::sort(rest.begin(), rest.end());
    EXPECT_EQ(rest, (list{"Zeta", "_x", "a.txt", "b.txt", "sub", "\xE4.txt"}));
  }
}

TEST(PlatformFind, RootOfADriveHasNoDotEntries) {
  temp_drive drive;
  drive.write("one", "");
  EXPECT_EQ(sorted_names("C:\\*"), list{"one"});
  EXPECT_EQ(sorted_names("D:\\*.*"), list{});
  EXPECT_EQ(backend().last_error(), err::file_not_found);
}

TEST(PlatformFind, Wildcards) {
  temp_drive drive;
  // No name here has an 8.3 alias that a pattern could match in its place.
  for (const char* name :
       {"README", "readme.md", "Read.Me.txt", "a.TXT", "ab.txt", "abc.txt", "xtxt", "noext"})
    drive.write(std::string("w/") + name, "");
  EXPECT_EQ(sorted_names("C:\\w\\*.txt"), (list{"Read.Me.txt", "a.TXT", "ab.txt", "abc.txt"}));
  EXPECT_EQ(sorted_names("C:\\w\\?.TXT"), (list{"a.TXT"}));
  EXPECT_EQ(sorted_names("C:\\w\\a?*.txt"), (list{"ab.txt", "abc.txt"}));
  // A trailing ".*" also takes a name without a dot.
  EXPECT_EQ(sorted_names("C:\\w\\readme.*"), (list{"README", "readme.md"}));
  EXPECT_EQ(sorted_names("C:\\w\\NOEXT"), (list{"noext"}));
  EXPECT_EQ(sorted_names("C:\\w\\*X*"),
            (list{"Read.Me.txt", "a.TXT", "ab.txt", "abc.txt", "noext", "xtxt"}));
}

TEST(PlatformFind, MissingDirectoryAndNoMatchAreToldApart) {
  temp_drive drive;
  drive.write("dir/file", "");
  struct failure_case {
    const char* pattern;
    std::uint32_t error;
  };
  for (const auto& c : {failure_case{"C:\\dir\\*.none", err::file_not_found},
                        failure_case{"C:\\nodir\\*", err::path_not_found}}) {
    sys::find_data data;
    EXPECT_EQ(backend().find_first_file(c.pattern, &data), sys::invalid_handle_value) << c.pattern;
    EXPECT_EQ(backend().last_error(), c.error) << c.pattern;
  }
}

// A FILETIME of the system clock's present.
std::uint64_t file_time_now() {
  using namespace std::chrono;
  const auto since_1970 = duration_cast<microseconds>(system_clock::now().time_since_epoch());
  return static_cast<std::uint64_t>(since_1970.count()) * 10 + 116444736000000000ull;
}

TEST(PlatformFind, EntryData) {
  temp_drive drive;
  drive.write("d/file.bin", "hello");
  const auto locked = drive.write("d/locked", "");
  fs::create_directory(drive.c() / "d" / "sub");
  fs::permissions(locked, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  fs::resize_file(drive.write("d/huge", ""), (std::uintmax_t{5} << 30) + 7); // 5 GiB and 7 bytes

  // Attributes beyond these (such as hidden or not-indexed) are the host's.
  constexpr std::uint32_t kinds =
      sys::attribute_directory | sys::attribute_archive | sys::attribute_read_only;
  const auto all = listing("C:\\d\\*");
  ASSERT_EQ(all.size(), 6u);
  const auto& dot = all[0];
  EXPECT_STREQ(dot.long_name, ".");
  EXPECT_EQ(dot.attributes & kinds, sys::attribute_directory);
  const auto named = [&](const char* name) {
    const auto it = std::find_if(
        all.begin(), all.end(), [&](const auto& e) { return std::strcmp(e.long_name, name) == 0; });
    return it != all.end() ? *it : sys::find_data{};
  };
  const auto f = named("file.bin");
  EXPECT_EQ(f.attributes & kinds, sys::attribute_archive);
  EXPECT_EQ(f.size_low, 5u);
  EXPECT_EQ(f.size_high, 0u);
  EXPECT_STREQ(f.short_name, "") << "an 8.3 name has no alias";
  EXPECT_EQ(f.error, 0u);
  constexpr std::uint64_t minute = 60ull * 10000000ull;
  EXPECT_LT(f.last_write_time, file_time_now() + minute);
  EXPECT_GT(f.last_write_time, file_time_now() - 10 * minute);
  const auto huge = named("huge");
  EXPECT_EQ(huge.size_high, 1u);
  EXPECT_EQ(huge.size_low, (1u << 30) + 7);
  EXPECT_EQ(named("locked").attributes & kinds, sys::attribute_archive | sys::attribute_read_only);
  const auto sub = named("sub");
  EXPECT_EQ(sub.attributes & kinds, sys::attribute_directory);
  EXPECT_EQ(sub.size_low, 0u);
  fs::permissions(locked, fs::perms::owner_write, fs::perm_options::add);
}

// Names are Windows-1252 inside and Unicode on disk, whatever the host's own
// code page (the Windows suites run with 1251, where 0xD6 is not Ö); a name
// Windows-1252 cannot hold is listed with '?' in its place.
TEST(PlatformFind, NamesAreWindows1252InsideAndUnicodeOnDisk) {
  temp_drive drive;
  { open_handle made("C:\\SM\xD6R.TXT", read_write, 0, create_new); }
  EXPECT_TRUE(fs::exists(drive.c() / velmora_test::utf8_path("SM\xC3\x96R.TXT")));
  open_handle again("C:\\sm\xF6r.txt", sys::access_read, sys::share_read, open_existing);
  EXPECT_TRUE(again.ok()) << "the name is matched ignoring its case";
  drive.write("\xD0\x96.TXT", ""); // Ж: not in Windows-1252
  EXPECT_EQ(sorted_names("C:\\*.TXT"), (list{"?.TXT", "SM\xD6R.TXT"}));
}

// --- drives ------------------------------------------------------------------

TEST(PlatformDrive, ATestDriveIsFixedAndHasRoom) {
  temp_drive drive;
  auto& p = backend();
  EXPECT_EQ(p.get_drive_type("C:\\"), sys::drive_type::fixed);
  EXPECT_EQ(p.get_drive_type("c:\\"), sys::drive_type::fixed);
  std::uint32_t per_cluster = 0, sector = 0, free_clusters = 0, total = 0;
  ASSERT_TRUE(p.get_disk_free_space("c:\\", &per_cluster, &sector, &free_clusters, &total));
  EXPECT_GT(per_cluster, 0u);
  EXPECT_GT(sector, 0u);
  EXPECT_GT(total, 0u);
  EXPECT_LE(free_clusters, total);
}

// --- the process -------------------------------------------------------------

TEST(PlatformProcess, ModuleFileNameIsInDriveFormAndIsCutToSize) {
  auto& p = backend();
  char full[4096] = {};
  const std::uint32_t length = p.module_file_name(full, sizeof full);
  ASSERT_GT(length, 3u);
  EXPECT_EQ(std::strlen(full), length);
  EXPECT_EQ(full[1], ':');
  EXPECT_EQ(full[2], '\\');

  char cut[6];
  std::memset(cut, 'x', sizeof cut);
  EXPECT_EQ(p.module_file_name(cut, sizeof cut), 5u);
  EXPECT_EQ(std::string(cut), std::string(full, 5));
}

TEST(PlatformProcess, WinExecTellsWhyAProgramDidNotStart) {
  temp_drive drive;
  drive.write("junk.exe", "no program at all\n");
  struct exec_case {
    const char* command_line;
    std::uint32_t result;
  };
  for (const auto& c : {exec_case{"C:\\none.exe", 2}, exec_case{"C:\\junk.exe", 11}})
    EXPECT_EQ(backend().win_exec(c.command_line, sys::show_normal), c.result) << c.command_line;
}

TEST(PlatformProcess, ProfileFallbackIsCutToSize) {
  char out[5];
  EXPECT_EQ(backend().profile_string("velmora-no-such-section", "key", "fallback", out, sizeof out),
            4u);
  EXPECT_STREQ(out, "fall");
  EXPECT_EQ(backend().profile_string("velmora-no-such-section", "key", nullptr, out, sizeof out),
            0u);
  EXPECT_STREQ(out, "");
}

// --- text --------------------------------------------------------------------

TEST(PlatformText, CharUpperFollowsWindows1252) {
  // a, ä, š, ÿ, ß, µ, ÷
  char text[] = "a\xE4\x9A\xFF\xDF\xB5\xF7";
  EXPECT_EQ(backend().char_upper(text, 7), 7u);
  EXPECT_EQ(std::string(text), "A\xC4\x8A\x9F\xDF\xB5\xF7");
}

TEST(PlatformText, HostTextIsUtf8AndCopiesAreCutToSize) {
  char out[4];
  EXPECT_FALSE(backend().host_text_to_system("abcdef", out, sizeof out));
  EXPECT_STREQ(out, "abc");
  EXPECT_TRUE(backend().host_text_to_system("\xC3\xA4"
                                            "bc",
                                            out, sizeof out));
  EXPECT_STREQ(out, "\xE4"
                    "bc");
  EXPECT_FALSE(backend().host_text_to_system("\xD0\x96", out, sizeof out)); // Ж
  EXPECT_STREQ(out, "?");
  EXPECT_FALSE(backend().system_text_to_host("a\xE4zz", out, sizeof out));
  EXPECT_STREQ(out, "a\xC3\xA4");
}

} // namespace
