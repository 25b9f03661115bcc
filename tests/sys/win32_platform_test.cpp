// The Win32 backend on Windows: sharing, I/O edges, listings, times, paths.
#include "sys/platform/win32/win32_api.h"

#include "sys/file_layer.h"
#include "sys/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Set in the environment of the copy of this program that the win_exec test
// starts: the copy writes "started" to the file it names and ends at once.
constexpr const char* probe_mark_variable = "VELMORA_WIN32_TEST_PROBE_MARK";

[[maybe_unused]] const bool started_as_probe = [] {
  if (const char* mark = std::getenv(probe_mark_variable)) {
    std::ofstream(mark) << "started";
    std::exit(0);
  }
  return false;
}();

sys::platform& backend() {
  return sys::native_platform();
}

constexpr std::uint32_t read_write = sys::access_read | sys::access_write;
constexpr std::uint32_t share_all = sys::share_read | sys::share_write;

// A fresh directory under the temporary directory, removed with what it holds.
class temp_dir {
public:
  temp_dir() {
    std::random_device rd;
    std::mt19937_64 rng(rd());
    for (;;) {
      std::ostringstream name;
      name << "velmora-win32-" << std::hex << rng();
      path_ = fs::temp_directory_path() / name.str();
      if (fs::create_directory(path_))
        return;
    }
  }
  ~temp_dir() {
    // A program started from here may still hold its file for a moment.
    for (int attempt = 0; attempt < 50; ++attempt) {
      std::error_code ec;
      fs::remove_all(path_, ec);
      if (!ec)
        return;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;

  const fs::path& path() const { return path_; }
  // The drive-form path of name inside.
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
  fs::path path_;
};

void write_file(const fs::path& p, const std::string& contents) {
  std::ofstream(p, std::ios::binary) << contents;
}

// An open of create_file, closed when the test ends however it ends.
class open_handle {
public:
  open_handle(const std::string& path, std::uint32_t access, std::uint32_t share,
              sys::disposition how)
      : value_(backend().create_file(path.c_str(), access, share, how, 0)),
        error_(value_ == sys::invalid_handle_value ? backend().last_error() : 0) {}
  ~open_handle() {
    if (ok())
      backend().close_handle(value_);
  }
  open_handle(const open_handle&) = delete;
  open_handle& operator=(const open_handle&) = delete;

  bool ok() const { return value_ != sys::invalid_handle_value; }
  sys::native_handle get() const { return value_; }
  std::uint32_t error() const { return error_; } // last_error of a failed open

private:
  sys::native_handle value_;
  std::uint32_t error_;
};

std::uint32_t write_text(sys::native_handle h, const std::string& text) {
  std::uint32_t done = 0;
  EXPECT_TRUE(backend().write_file(h, text.data(), static_cast<std::uint32_t>(text.size()), &done));
  return done;
}

// --- files -----------------------------------------------------------------

TEST(Win32File, SecondOpenOfAnUnsharedFileIsASharingViolation) {
  temp_dir dir;
  const std::string path = dir / "locked.bin";
  {
    open_handle first(path, read_write, 0, sys::disposition::create_always);
    ASSERT_TRUE(first.ok());
    open_handle second(path, sys::access_read, share_all, sys::disposition::open_existing);
    EXPECT_FALSE(second.ok());
    EXPECT_EQ(second.error(), sys::error::sharing_violation);
  }
  open_handle after(path, sys::access_read, 0, sys::disposition::open_existing);
  EXPECT_TRUE(after.ok());
}

TEST(Win32File, ReadersSharingReadShutOutAWriter) {
  temp_dir dir;
  const std::string path = dir / "shared.bin";
  write_file(path, "x");
  open_handle one(path, sys::access_read, sys::share_read, sys::disposition::open_existing);
  open_handle two(path, sys::access_read, sys::share_read, sys::disposition::open_existing);
  ASSERT_TRUE(one.ok());
  EXPECT_TRUE(two.ok());
  open_handle writer(path, sys::access_write, share_all, sys::disposition::open_existing);
  EXPECT_EQ(writer.error(), sys::error::sharing_violation);
}

TEST(Win32File, CreateNewOnAnExistingFileAndOpenOfAMissingOne) {
  temp_dir dir;
  write_file(dir.path() / "there.txt", "");
  open_handle again(dir / "THERE.TXT", sys::access_write, 0, sys::disposition::create_new);
  EXPECT_EQ(again.error(), sys::error::file_exists);
  open_handle missing(dir / "none.txt", sys::access_read, 0, sys::disposition::open_existing);
  EXPECT_EQ(missing.error(), sys::error::file_not_found);
  open_handle no_dir(dir / "none\\x.txt", sys::access_read, 0, sys::disposition::open_existing);
  EXPECT_EQ(no_dir.error(), sys::error::path_not_found);
}

// Below a directory: an existing file is emptied in place only when it has
// no other hard link; other refusals keep their own errors.
TEST(Win32File, CreateBelowEmptiesOnlyAFileWithoutOtherLinks) {
  temp_dir dir;
  const std::string base = dir.path().string();
  write_file(dir.path() / "one.txt", "old");
  write_file(dir.path() / "kept.txt", "keep");
  ASSERT_TRUE(::CreateHardLinkA((dir / "linked.txt").c_str(), (dir / "kept.txt").c_str(), nullptr));
  struct below_case {
    const char* relative;
    sys::disposition how;
    std::uint32_t error;
  };
  for (const auto& c :
       {below_case{"ONE.TXT", sys::disposition::create_always, 0},
        below_case{"linked.txt", sys::disposition::create_always, sys::error::too_many_links},
        below_case{"one.txt", sys::disposition::create_new, sys::error::file_exists},
        below_case{"none\\x.txt", sys::disposition::create_always, sys::error::path_not_found},
        below_case{"..\\x.txt", sys::disposition::create_always, sys::error::invalid_name}}) {
    const sys::native_handle h =
        backend().create_file_below(base.c_str(), c.relative, read_write, 0, c.how, 0);
    EXPECT_EQ(h == sys::invalid_handle_value ? backend().last_error() : 0u, c.error) << c.relative;
    if (h != sys::invalid_handle_value)
      backend().close_handle(h);
  }
  EXPECT_EQ(fs::file_size(dir.path() / "one.txt"), 0u);
  EXPECT_EQ(fs::file_size(dir.path() / "kept.txt"), 4u);
  EXPECT_TRUE(backend().create_directory_below(base.c_str(), "sub"));
  EXPECT_FALSE(backend().create_directory_below(base.c_str(), "SUB"));
  EXPECT_EQ(backend().last_error(), sys::error::already_exists);
}

TEST(Win32File, ReadAtTheEndGivesZeroBytes) {
  temp_dir dir;
  open_handle h(dir / "data.bin", read_write, 0, sys::disposition::create_always);
  ASSERT_TRUE(h.ok());
  EXPECT_EQ(write_text(h.get(), "hello"), 5u);
  ASSERT_EQ(backend().set_file_pointer(h.get(), 0, sys::move_method::begin), 0u);
  char buffer[16] = {};
  std::uint32_t done = 99;
  ASSERT_TRUE(backend().read_file(h.get(), buffer, sizeof buffer, &done));
  EXPECT_EQ(std::string(buffer, done), "hello");
  done = 99;
  EXPECT_TRUE(backend().read_file(h.get(), buffer, sizeof buffer, &done));
  EXPECT_EQ(done, 0u);
}

TEST(Win32File, FailedReadAndWriteReportNothingDoneAndAccessDenied) {
  temp_dir dir;
  write_file(dir.path() / "data.bin", "abc");
  char buffer[4];
  std::uint32_t done = 99;
  {
    open_handle w(dir / "data.bin", sys::access_write, 0, sys::disposition::open_existing);
    ASSERT_TRUE(w.ok());
    EXPECT_FALSE(backend().read_file(w.get(), buffer, sizeof buffer, &done));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(backend().last_error(), sys::error::access_denied);
  }
  open_handle r(dir / "data.bin", sys::access_read, 0, sys::disposition::open_existing);
  ASSERT_TRUE(r.ok());
  done = 99;
  EXPECT_FALSE(backend().write_file(r.get(), "z", 1, &done));
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(backend().last_error(), sys::error::access_denied);
}

TEST(Win32File, MovesFromTheEndGoForwardAndAWriteThereExtendsTheFile) {
  temp_dir dir;
  write_file(dir.path() / "ten.bin", "0123456789");
  open_handle h(dir / "ten.bin", read_write, 0, sys::disposition::open_existing);
  ASSERT_TRUE(h.ok());
  EXPECT_EQ(backend().set_file_pointer(h.get(), 0, sys::move_method::end), 10u);
  EXPECT_EQ(backend().set_file_pointer(h.get(), 3, sys::move_method::end), 13u);
  EXPECT_EQ(write_text(h.get(), "!"), 1u);
  EXPECT_EQ(backend().set_file_pointer(h.get(), 2, sys::move_method::current), 16u);
  EXPECT_EQ(backend().set_file_pointer(h.get(), 4, sys::move_method::begin), 4u);
}

TEST(Win32File, DistancesOf2To31AndMoreMoveForwardNotBack) {
  temp_dir dir;
  open_handle h(dir / "sparse.bin", read_write, 0, sys::disposition::create_always);
  ASSERT_TRUE(h.ok());
  // As a signed 32-bit move this would be negative and refused.
  EXPECT_EQ(backend().set_file_pointer(h.get(), 0x80000000u, sys::move_method::begin), 0x80000000u);
  EXPECT_EQ(backend().set_file_pointer(h.get(), 0x80000000u, sys::move_method::current), 0u)
      << "position 2^32: its low half is 0";

  // A position whose low half is the failure value is told apart by
  // last_error, which the move itself clears.
  EXPECT_FALSE(backend().close_handle(sys::invalid_handle_value));
  ASSERT_NE(backend().last_error(), sys::error::success);
  EXPECT_EQ(backend().set_file_pointer(h.get(), 0xFFFFFFFFu, sys::move_method::begin),
            sys::invalid_set_file_pointer);
  EXPECT_EQ(backend().last_error(), sys::error::success);
}

TEST(Win32File, OnlyHandlesOpenedHereAreAccepted) {
  temp_dir dir;
  // -1 is also the process's own pseudo-handle, which CloseHandle accepts.
  EXPECT_FALSE(backend().close_handle(sys::invalid_handle_value));
  EXPECT_EQ(backend().last_error(), sys::error::invalid_handle);

  const sys::native_handle h = backend().create_file((dir / "once.bin").c_str(), read_write, 0,
                                                     sys::disposition::create_always, 0);
  ASSERT_NE(h, sys::invalid_handle_value);
  EXPECT_FALSE(backend().find_close(h)) << "a file handle is no search";
  EXPECT_TRUE(backend().close_handle(h));
  EXPECT_FALSE(backend().close_handle(h));
  EXPECT_EQ(backend().last_error(), sys::error::invalid_handle);

  char buffer[4];
  std::uint32_t done = 99;
  EXPECT_FALSE(backend().read_file(h, buffer, sizeof buffer, &done));
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(backend().last_error(), sys::error::invalid_handle);
  EXPECT_EQ(backend().set_file_pointer(h, 0, sys::move_method::begin),
            sys::invalid_set_file_pointer);
  EXPECT_EQ(backend().last_error(), sys::error::invalid_handle);
}

TEST(Win32File, DeviceNamesAreRefused) {
  temp_dir dir;
  // In any directory NUL names the null device, not a file.
  open_handle device(dir / "NUL", sys::access_write, share_all, sys::disposition::create_always);
  EXPECT_FALSE(device.ok());
  EXPECT_EQ(device.error(), sys::error::access_denied);
  EXPECT_EQ(backend().open_write_stream((dir / "NUL").c_str()), nullptr);
}

TEST(Win32File, StreamsWriteAndReadBackAndReportTheOpenError) {
  temp_dir dir;
  const std::string path = dir / "stream.bin";
  std::FILE* out = backend().open_write_stream(path.c_str());
  ASSERT_NE(out, nullptr);
  EXPECT_GE(std::fputs("line\n", out), 0);
  std::fclose(out);

  std::FILE* in = backend().open_read_stream(path.c_str());
  ASSERT_NE(in, nullptr);
  char buffer[16] = {};
  EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, in), 5u) << "binary: no CR added";
  std::fclose(in);

  EXPECT_EQ(backend().open_read_stream((dir / "none.bin").c_str()), nullptr);
  EXPECT_EQ(backend().last_error(), sys::error::file_not_found);
  EXPECT_EQ(backend().open_write_stream((dir / "none\\x.bin").c_str()), nullptr);
  EXPECT_EQ(backend().last_error(), sys::error::path_not_found);
}

// The file layer keeps handles in 16 bits: Windows' handle values must fit.
TEST(Win32File, TheFileLayerWorksOverThisBackend) {
  temp_dir dir;
  const std::string path = dir / "LAYER.TXT";
  const sys::file_handle h = sys::file_open(path.c_str(), sys::open_mode::create);
  ASSERT_GE(h, 0);
  EXPECT_EQ(sys::file_write(h, "abcdef", 6), 6);
  EXPECT_EQ(sys::file_seek(h, 2, sys::seek_from::start), 2);
  char buffer[8] = {};
  EXPECT_EQ(sys::file_read(h, buffer, sizeof buffer), 4);
  EXPECT_EQ(std::string(buffer, 4), "cdef");
  EXPECT_EQ(sys::file_read(h, buffer, sizeof buffer), 0);
  EXPECT_EQ(sys::file_close(h), 0);
  const sys::file_handle again = sys::file_open(path.c_str(), sys::open_mode::read_exclusive);
  EXPECT_GE(again, 0) << "the close gave the file back";
  sys::file_close(again);
}

// --- directories -----------------------------------------------------------

TEST(Win32Directory, CreateAndRemoveReportWhyNot) {
  temp_dir dir;
  const std::string sub = dir / "sub";
  EXPECT_TRUE(backend().create_directory(sub.c_str()));
  EXPECT_FALSE(backend().create_directory(sub.c_str()));
  EXPECT_EQ(backend().last_error(), sys::error::already_exists);
  EXPECT_FALSE(backend().create_directory((dir / "none\\sub").c_str()));
  EXPECT_EQ(backend().last_error(), sys::error::path_not_found);

  write_file(dir.path() / "sub" / "f", "");
  EXPECT_FALSE(backend().remove_directory(sub.c_str()));
  EXPECT_EQ(backend().last_error(), sys::error::dir_not_empty);
  fs::remove(dir.path() / "sub" / "f");
  EXPECT_TRUE(backend().remove_directory(sub.c_str()));
  EXPECT_FALSE(backend().remove_directory(sub.c_str()));
  EXPECT_EQ(backend().last_error(), sys::error::file_not_found);
}

// --- listings --------------------------------------------------------------

std::vector<sys::find_data> entries(const std::string& pattern) {
  std::vector<sys::find_data> out;
  sys::find_data data;
  const sys::native_handle h = backend().find_first_file(pattern.c_str(), &data);
  if (h == sys::invalid_handle_value)
    return out;
  do
    out.push_back(data);
  while (backend().find_next_file(h, &data));
  EXPECT_EQ(backend().last_error(), sys::error::no_more_files);
  EXPECT_TRUE(backend().find_close(h));
  EXPECT_FALSE(backend().find_close(h));
  return out;
}

std::uint64_t file_time_now() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
}

TEST(Win32Find, ADirectoryListsItsDotEntriesFirstThenItsFile) {
  temp_dir dir;
  fs::create_directory(dir.path() / "list");
  write_file(dir.path() / "list" / "data.bin", "abc");
  const auto found = entries(dir / "list\\*.*");
  ASSERT_EQ(found.size(), 3u);
  EXPECT_STREQ(found[0].long_name, ".");
  EXPECT_STREQ(found[1].long_name, "..");
  EXPECT_TRUE(found[0].attributes & sys::attribute_directory);
  EXPECT_TRUE(found[1].attributes & sys::attribute_directory);

  const sys::find_data& file = found[2];
  EXPECT_STREQ(file.long_name, "data.bin");
  EXPECT_STREQ(file.short_name, "") << "an 8.3 name has no alias";
  EXPECT_FALSE(file.attributes & sys::attribute_directory);
  EXPECT_EQ(file.size_high, 0u);
  EXPECT_EQ(file.size_low, 3u);
  constexpr std::uint64_t minute = 60ull * 10000000ull;
  EXPECT_LT(file.last_write_time, file_time_now() + minute);
  EXPECT_GT(file.last_write_time, file_time_now() - 10 * minute);
}

TEST(Win32Find, LongNamesArriveWholeAndAliasesFitTheirField) {
  temp_dir dir;
  const std::string name = "a rather long name for a file.text";
  write_file(dir.path() / name, "");
  const auto found = entries(dir / "*.text");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].long_name, name);
  // Whether an alias exists depends on the volume (8.3 names may be off).
  EXPECT_LT(strnlen(found[0].short_name, sizeof found[0].short_name), sizeof found[0].short_name);
}

TEST(Win32Find, NamesAreWindows1252WhateverTheAnsiCodePage) {
  // This suite runs with the ANSI code page 1251, where 0xD6 is not Ö.
  temp_dir dir;
  const std::string made = dir.path().string() + "\\SM\xD6R.TXT";
  { open_handle file(made, read_write, 0, sys::disposition::create_new); }
  EXPECT_TRUE(fs::exists(dir.path() / std::u8string(u8"SM\u00D6R.TXT")));
  write_file(dir.path() / std::u8string(u8"\u0416.TXT"), ""); // Ж: not in Windows-1252
  std::vector<std::string> names;
  for (const auto& e : entries(dir.path().string() + "\\*.TXT"))
    names.emplace_back(e.long_name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"?.TXT", "SM\xD6R.TXT"}));
}

TEST(Win32Find, MissingDirectoryAndNoMatchAreToldApart) {
  temp_dir dir;
  sys::find_data data;
  EXPECT_EQ(backend().find_first_file((dir / "none\\*.*").c_str(), &data),
            sys::invalid_handle_value);
  EXPECT_EQ(backend().last_error(), sys::error::path_not_found);
  EXPECT_EQ(backend().find_first_file((dir / "*.none").c_str(), &data), sys::invalid_handle_value);
  EXPECT_EQ(backend().last_error(), sys::error::file_not_found);
  EXPECT_FALSE(backend().find_next_file(sys::invalid_handle_value, &data));
  EXPECT_EQ(backend().last_error(), sys::error::invalid_handle);
}

// --- times -----------------------------------------------------------------

std::uint64_t utc_file_time_of_local(WORD year, WORD month, WORD day, WORD hour, WORD minute,
                                     WORD second) {
  WORD date = static_cast<WORD>(((year - 1980) << 9) | (month << 5) | day);
  WORD time = static_cast<WORD>((hour << 11) | (minute << 5) | (second / 2));
  FILETIME local{};
  FILETIME utc{};
  EXPECT_TRUE(::DosDateTimeToFileTime(date, time, &local));
  EXPECT_TRUE(::LocalFileTimeToFileTime(&local, &utc));
  return (std::uint64_t{utc.dwHighDateTime} << 32) | utc.dwLowDateTime;
}

TEST(Win32Time, ALocalTimeComesBackAsItsDosDateAndTime) {
  const std::uint64_t t = utc_file_time_of_local(2021, 6, 15, 13, 45, 30);
  std::uint16_t date = 0;
  std::uint16_t time = 0;
  ASSERT_TRUE(backend().file_time_to_local_dos(t, &date, &time));
  EXPECT_EQ(date, ((2021 - 1980) << 9) | (6 << 5) | 15);
  EXPECT_EQ(time, (13 << 11) | (45 << 5) | 15);
  // An odd second is rounded down to the two-second step.
  ASSERT_TRUE(backend().file_time_to_local_dos(t + 10000000, &date, &time));
  EXPECT_EQ(time, (13 << 11) | (45 << 5) | 15);
}

TEST(Win32Time, OnlyTheYearsADosDateHoldsAreTaken) {
  std::uint16_t first_date = 0;
  std::uint16_t last_date = 0;
  std::uint16_t last_time = 0;
  std::uint16_t unused = 0;
  ASSERT_TRUE(backend().file_time_to_local_dos(utc_file_time_of_local(1980, 1, 1, 0, 0, 0),
                                               &first_date, &unused));
  EXPECT_EQ(first_date, (1 << 5) | 1);
  ASSERT_TRUE(backend().file_time_to_local_dos(utc_file_time_of_local(2107, 12, 31, 23, 59, 58),
                                               &last_date, &last_time));
  EXPECT_EQ(last_date, (127 << 9) | (12 << 5) | 31);
  EXPECT_EQ(last_time, (23 << 11) | (59 << 5) | 29);

  SYSTEMTIME st{};
  st.wMonth = 7;
  st.wDay = 1;
  FILETIME ft{};
  std::uint16_t date = 0;
  std::uint16_t time = 0;
  for (WORD year : {WORD{1979}, WORD{2108}}) {
    st.wYear = year;
    ASSERT_TRUE(::SystemTimeToFileTime(&st, &ft));
    const std::uint64_t t = (std::uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
    EXPECT_FALSE(backend().file_time_to_local_dos(t, &date, &time)) << year;
  }
}

// --- the process -----------------------------------------------------------

TEST(Win32Process, ModuleFileNameIsTheProgramInDriveFormAndIsCutToSize) {
  char full[MAX_PATH + 1] = {};
  const std::uint32_t length = backend().module_file_name(full, sizeof full);
  ASSERT_GT(length, 4u);
  EXPECT_EQ(std::strlen(full), length);
  EXPECT_EQ(full[1], ':');
  EXPECT_EQ(full[2], '\\');
  EXPECT_EQ(_stricmp(full + length - 4, ".exe"), 0);

  char cut[6];
  std::memset(cut, 'x', sizeof cut);
  EXPECT_EQ(backend().module_file_name(cut, sizeof cut), 5u);
  EXPECT_EQ(std::string(cut), std::string(full, 5));
}

TEST(Win32Process, WinExecStartsAProgramWhosePathHasABlank) {
  temp_dir dir;
  char self[MAX_PATH + 1] = {};
  ASSERT_GT(backend().module_file_name(self, sizeof self), 0u);
  fs::create_directory(dir.path() / "with blank");
  fs::copy_file(self, dir.path() / "with blank" / "probe.exe");
  // Unquoted, Windows would take this one: the text up to the blank names it.
  write_file(dir.path() / "with.exe", "not a program");
  const std::string mark = dir / "mark.txt";
  ASSERT_TRUE(::SetEnvironmentVariableA(probe_mark_variable, mark.c_str()));
  const std::uint32_t result =
      backend().win_exec((dir / "with blank\\probe.exe").c_str(), sys::show_normal);
  ::SetEnvironmentVariableA(probe_mark_variable, nullptr);
  EXPECT_GT(result, 31u);
  bool started = false;
  for (int i = 0; i < 200 && !started; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream in(mark);
    std::string text;
    started = (in >> text) && text == "started";
  }
  EXPECT_TRUE(started);

  EXPECT_LE(backend().win_exec((dir / "none.exe").c_str(), sys::show_normal), 31u);
}

TEST(Win32Process, ProfileFallbackIsCutToSize) {
  char out[5];
  EXPECT_EQ(backend().profile_string("velmora-no-such-section", "key", "fallback", out, sizeof out),
            4u);
  EXPECT_STREQ(out, "fall");
  EXPECT_EQ(backend().profile_string("velmora-no-such-section", "key", nullptr, out, sizeof out),
            0u);
  EXPECT_STREQ(out, "");
}

// --- text ------------------------------------------------------------------

TEST(Win32Text, CharUpperFollowsWindows1252) {
  // a, ä, š, ÿ, ß, µ, ÷
  char text[] = "a\xE4\x9A\xFF\xDF\xB5\xF7";
  EXPECT_EQ(backend().char_upper(text, 7), 7u);
  EXPECT_EQ(std::string(text), "A\xC4\x8A\x9F\xDF\xB5\xF7");
}

TEST(Win32Text, HostTextIsUtf8AndCopiesAreCutToSize) {
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

// --- drives and host paths -------------------------------------------------

TEST(Win32Drive, SystemDriveIsFixedAndAnUnusedLetterHasNoRoot) {
  EXPECT_EQ(backend().get_drive_type("C:\\"), sys::drive_type::fixed);
  std::uint32_t per_cluster = 0, sector = 0, free_clusters = 0, total = 0;
  ASSERT_TRUE(backend().get_disk_free_space("C:\\", &per_cluster, &sector, &free_clusters, &total));
  EXPECT_GT(per_cluster, 0u);
  EXPECT_GT(sector, 0u);
  EXPECT_GT(total, 0u);

  const DWORD used = ::GetLogicalDrives();
  for (char letter = 'B'; letter <= 'Y'; ++letter) {
    if (used & (1u << (letter - 'A')))
      continue;
    const char root[] = {letter, ':', '\\', '\0'};
    EXPECT_EQ(backend().get_drive_type(root), sys::drive_type::no_root_dir) << root;
    EXPECT_FALSE(backend().get_disk_free_space(root, &per_cluster, &sector, &free_clusters, &total))
        << root;
    break;
  }
}

TEST(Win32Path, HostPathsBecomeFullDrivePaths) {
  char out[MAX_PATH];
  ASSERT_TRUE(backend().host_to_drive_path("C:/One/Two/../Three/", out, sizeof out));
  EXPECT_STREQ(out, "C:\\One\\Three\\");
  ASSERT_TRUE(backend().host_to_drive_path("C:\\Kit\\***", out, sizeof out));
  EXPECT_STREQ(out, "C:\\Kit\\***");
  ASSERT_TRUE(backend().host_to_drive_path("C:\\Kit\\*.*", out, sizeof out));
  EXPECT_STREQ(out, "C:\\Kit\\*.*");

  char cwd[MAX_PATH];
  const DWORD n = ::GetCurrentDirectoryA(sizeof cwd, cwd);
  ASSERT_GT(n, 0u);
  std::string expected(cwd, n);
  if (expected.back() != '\\')
    expected += '\\';
  ASSERT_TRUE(backend().host_to_drive_path("sub\\", out, sizeof out));
  EXPECT_EQ(std::string(out), expected + "sub\\");

  char small[8];
  EXPECT_FALSE(backend().host_to_drive_path("C:\\a\\longer\\path", small, sizeof small));
  EXPECT_STREQ(small, "");
  EXPECT_FALSE(backend().host_to_drive_path("\\\\server\\share\\x", out, sizeof out));
  ASSERT_TRUE(backend().host_to_drive_path("C:\\K\xC3\x96K", out, sizeof out));
  EXPECT_STREQ(out, "C:\\K\xD6K");
  EXPECT_FALSE(backend().host_to_drive_path("C:\\\xD0\x96", out, sizeof out));

  EXPECT_TRUE(backend().drive_to_host_path("C:\\A\\K\xD6K", out, sizeof out));
  EXPECT_STREQ(out, "C:\\A\\K\xC3\x96K");
  EXPECT_FALSE(backend().drive_to_host_path("C:\\a\\longer\\path", small, sizeof small));
}

} // namespace
