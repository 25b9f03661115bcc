// Files and directories through the POSIX backend: opens, sharing and I/O.
#include "sys/platform.h"
#include "tests/support/temp_drive.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using velmora_test::temp_drive;

sys::platform& backend() {
  return sys::native_platform();
}

constexpr std::uint32_t read_write = sys::access_read | sys::access_write;
constexpr std::uint32_t share_all = sys::share_read | sys::share_write;

// An open of create_file, closed when the test ends however it ends.
class open_handle {
public:
  open_handle(const char* path, std::uint32_t access, std::uint32_t share, sys::disposition how)
      : value_(backend().create_file(path, access, share, how, 0)),
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

std::string read_all(sys::native_handle h) {
  std::string out;
  char buffer[7]; // small, so a read takes several rounds
  std::uint32_t done = 0;
  while (backend().read_file(h, buffer, sizeof buffer, &done) && done != 0)
    out.append(buffer, done);
  return out;
}

TEST(PosixFileOpen, Dispositions) {
  temp_drive drive;
  {
    open_handle created("C:\\new.bin", sys::access_write, 0, sys::disposition::create_new);
    ASSERT_TRUE(created.ok());
  }
  EXPECT_TRUE(fs::exists(drive.c() / "new.bin"));
  open_handle again("C:\\NEW.BIN", sys::access_write, 0, sys::disposition::create_new);
  EXPECT_EQ(again.error(), sys::error::file_exists);

  drive.write("old.txt", "old contents");
  {
    open_handle emptied("C:\\OLD.TXT", sys::access_write, 0, sys::disposition::create_always);
    ASSERT_TRUE(emptied.ok());
  }
  EXPECT_EQ(fs::file_size(drive.c() / "old.txt"), 0u);
  EXPECT_FALSE(fs::exists(drive.c() / "OLD.TXT")); // the existing name was reused

  {
    open_handle fresh("C:\\fresh.txt", sys::access_write, 0, sys::disposition::create_always);
    ASSERT_TRUE(fresh.ok());
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(fs::status(drive.c() / "fresh.txt").permissions(),
            static_cast<fs::perms>(0666 & ~mask));

  open_handle missing("C:\\missing.txt", sys::access_read, 0, sys::disposition::open_existing);
  EXPECT_EQ(missing.error(), sys::error::file_not_found);
  open_handle no_dir("C:\\nodir\\x.txt", sys::access_read, 0, sys::disposition::open_existing);
  EXPECT_EQ(no_dir.error(), sys::error::path_not_found);
  open_handle no_dir_create("C:\\nodir\\x.txt", sys::access_write, 0,
                            sys::disposition::create_always);
  EXPECT_EQ(no_dir_create.error(), sys::error::path_not_found);
  open_handle unmapped("Q:\\x.txt", sys::access_write, 0, sys::disposition::create_always);
  EXPECT_EQ(unmapped.error(), sys::error::path_not_found);
}

TEST(PosixFileOpen, ReadOnlyAttributeMakesAReadOnlyFileYetAWritableHandle) {
  temp_drive drive;
  const sys::native_handle h = backend().create_file(
      "C:\\ro.txt", sys::access_write, 0, sys::disposition::create_new, sys::attribute_read_only);
  ASSERT_NE(h, sys::invalid_handle_value);
  std::uint32_t done = 0;
  EXPECT_TRUE(backend().write_file(h, "ok", 2, &done));
  backend().close_handle(h);
  EXPECT_EQ(fs::status(drive.c() / "ro.txt").permissions() & fs::perms::owner_write,
            fs::perms::none);
}

TEST(PosixFileOpen, RefusesDirectoriesAndFifosWithoutBlocking) {
  temp_drive drive;
  fs::create_directory(drive.c() / "dir");
  ASSERT_EQ(::mkfifo((drive.c() / "pipe").c_str(), 0600), 0);
  for (auto how : {sys::disposition::open_existing, sys::disposition::create_always}) {
    open_handle dir("C:\\DIR", read_write, 0, how);
    EXPECT_EQ(dir.error(), sys::error::access_denied);
    open_handle fifo("C:\\pipe", sys::access_read, 0, how);
    EXPECT_EQ(fifo.error(), sys::error::access_denied);
  }
  EXPECT_EQ(backend().open_read_stream("C:\\pipe"), nullptr);
  EXPECT_EQ(backend().last_error(), sys::error::access_denied);
  EXPECT_EQ(backend().open_read_stream("C:\\dir"), nullptr);
}

TEST(PosixFileSharing, WindowsRulesBetweenOpens) {
  temp_drive drive;
  drive.write("f.txt", "keep me");
  using sys::disposition;
  {
    open_handle first("C:\\f.txt", sys::access_read, sys::share_read, disposition::open_existing);
    open_handle second("C:\\F.TXT", sys::access_read, sys::share_read, disposition::open_existing);
    EXPECT_TRUE(first.ok());
    EXPECT_TRUE(second.ok());
    // Asks for write, which the held opens do not share.
    open_handle writer("C:\\f.txt", read_write, share_all, disposition::open_existing);
    EXPECT_EQ(writer.error(), sys::error::sharing_violation);
    // Shares nothing, yet the held opens read.
    open_handle exclusive("C:\\f.txt", sys::access_read, 0, disposition::open_existing);
    EXPECT_EQ(exclusive.error(), sys::error::sharing_violation);
    open_handle truncating("C:\\f.txt", sys::access_write, 0, disposition::create_always);
    EXPECT_EQ(truncating.error(), sys::error::sharing_violation);
  }
  EXPECT_EQ(temp_drive::read(drive.c() / "f.txt"), "keep me");
  {
    open_handle writer("C:\\f.txt", sys::access_write, share_all, disposition::open_existing);
    ASSERT_TRUE(writer.ok());
    // The new open shares read only, but the held one writes.
    open_handle reader("C:\\f.txt", sys::access_read, sys::share_read, disposition::open_existing);
    EXPECT_EQ(reader.error(), sys::error::sharing_violation);
    open_handle sharing_reader("C:\\f.txt", sys::access_read, share_all,
                               disposition::open_existing);
    EXPECT_TRUE(sharing_reader.ok());
  }
  // All closed: an exclusive open is fine again.
  open_handle exclusive("C:\\f.txt", read_write, 0, disposition::open_existing);
  EXPECT_TRUE(exclusive.ok());
}

TEST(PosixFileIo, WriteSeekAndReadBack) {
  temp_drive drive;
  auto& p = backend();
  open_handle f("C:\\data.bin", read_write, 0, sys::disposition::create_new);
  ASSERT_TRUE(f.ok());
  std::uint32_t done = 0;
  ASSERT_TRUE(p.write_file(f.get(), "0123456789", 10, &done));
  EXPECT_EQ(done, 10u);

  EXPECT_EQ(p.set_file_pointer(f.get(), 0, sys::move_method::end), 10u);
  char c = 0;
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
  EXPECT_EQ(temp_drive::read(drive.c() / "data.bin"), std::string("0123456789\0\0!", 13));
}

TEST(PosixFileIo, PositionWhoseLowHalfLooksLikeFailure) {
  temp_drive drive;
  auto& p = backend();
  open_handle f("C:\\big.bin", read_write, 0, sys::disposition::create_new);
  ASSERT_TRUE(f.ok());
  EXPECT_FALSE(p.close_handle(-1)); // leaves an error behind
  EXPECT_EQ(p.set_file_pointer(f.get(), 0xFFFFFFFFu, sys::move_method::begin), 0xFFFFFFFFu);
  EXPECT_EQ(p.last_error(), sys::error::success);
  // Past 4 GiB only the low half comes back.
  EXPECT_EQ(p.set_file_pointer(f.get(), 3, sys::move_method::current), 2u);
}

// Lowers the process's file size limit, and ignores the signal past it, so
// that writes fail as on a full disk; restores both afterwards.
class scoped_file_size_limit {
public:
  explicit scoped_file_size_limit(rlim_t bytes) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &old_action_);
    ::getrlimit(RLIMIT_FSIZE, &old_limit_);
    struct rlimit limit = old_limit_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~scoped_file_size_limit() {
    ::setrlimit(RLIMIT_FSIZE, &old_limit_);
    ::sigaction(SIGXFSZ, &old_action_, nullptr);
  }
  scoped_file_size_limit(const scoped_file_size_limit&) = delete;
  scoped_file_size_limit& operator=(const scoped_file_size_limit&) = delete;

private:
  struct sigaction old_action_ {};
  struct rlimit old_limit_ {};
};

TEST(PosixFileIo, FullDiskStopsAWriteAndTellsWhatWasWritten) {
  temp_drive drive;
  open_handle f("C:\\full.bin", sys::access_write, 0, sys::disposition::create_new);
  ASSERT_TRUE(f.ok());
  std::uint32_t done = 0;
  bool written = true;
  std::uint32_t error = 0;
  {
    scoped_file_size_limit limit(10);
    written = backend().write_file(f.get(), "0123456789abcdef", 16, &done);
    error = backend().last_error();
  }
  EXPECT_FALSE(written);
  EXPECT_EQ(done, 10u);
  EXPECT_EQ(error, sys::error::disk_full);
  EXPECT_EQ(temp_drive::read(drive.c() / "full.bin"), "0123456789");
}

TEST(PosixFileIo, AccessIsEnforcedPerHandle) {
  temp_drive drive;
  drive.write("f.txt", "abc");
  auto& p = backend();
  char buffer[4];
  std::uint32_t done = 99;
  {
    open_handle writer("C:\\f.txt", sys::access_write, 0, sys::disposition::open_existing);
    ASSERT_TRUE(writer.ok());
    EXPECT_FALSE(p.read_file(writer.get(), buffer, sizeof buffer, &done));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(p.last_error(), sys::error::access_denied);
  }
  open_handle reader("C:\\f.txt", sys::access_read, 0, sys::disposition::open_existing);
  ASSERT_TRUE(reader.ok());
  EXPECT_FALSE(p.write_file(reader.get(), "x", 1, &done));
  EXPECT_EQ(p.last_error(), sys::error::access_denied);
  EXPECT_EQ(temp_drive::read(drive.c() / "f.txt"), "abc");
}

TEST(PosixFileIo, UnknownHandlesAreRefusedUntouched) {
  temp_drive drive;
  auto& p = backend();
  // 0, 1 and 2 are the process's standard streams: never read or closed here.
  for (const sys::native_handle h :
       {sys::native_handle{0}, sys::native_handle{1}, sys::native_handle{2}, sys::native_handle{-1},
        sys::native_handle{-2}, sys::native_handle{0x7FFFFFFF}}) {
    char c = 0;
    std::uint32_t done = 7;
    EXPECT_FALSE(p.read_file(h, &c, 1, &done)) << h;
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(p.last_error(), sys::error::invalid_handle);
    EXPECT_FALSE(p.write_file(h, "x", 1, &done)) << h;
    EXPECT_EQ(p.last_error(), sys::error::invalid_handle);
    EXPECT_EQ(p.set_file_pointer(h, 0, sys::move_method::begin), sys::invalid_set_file_pointer);
    EXPECT_EQ(p.last_error(), sys::error::invalid_handle);
    EXPECT_FALSE(p.close_handle(h)) << h;
    EXPECT_EQ(p.last_error(), sys::error::invalid_handle);
  }
  EXPECT_NE(::fcntl(1, F_GETFD), -1); // standard output is still open

  const sys::native_handle h =
      p.create_file("C:\\x", sys::access_read, 0, sys::disposition::create_new, 0);
  ASSERT_NE(h, sys::invalid_handle_value);
  EXPECT_TRUE(p.close_handle(h));
  EXPECT_FALSE(p.close_handle(h));
  EXPECT_EQ(p.last_error(), sys::error::invalid_handle);
}

TEST(PosixFileStream, OpensForBufferedReading) {
  temp_drive drive;
  drive.write("Dir/List.txt", "line\n");
  std::FILE* f = backend().open_read_stream("C:\\dir\\list.TXT");
  ASSERT_NE(f, nullptr);
  char line[16] = {};
  EXPECT_NE(std::fgets(line, sizeof line, f), nullptr);
  EXPECT_STREQ(line, "line\n");
  std::fclose(f);
  EXPECT_EQ(backend().open_read_stream("C:\\dir\\none.txt"), nullptr);
  EXPECT_EQ(backend().last_error(), sys::error::file_not_found);
}

TEST(PosixDirectory, CreateAndRemove) {
  temp_drive drive;
  auto& p = backend();
  EXPECT_TRUE(p.create_directory("C:\\NewDir"));
  EXPECT_TRUE(fs::is_directory(drive.c() / "NewDir"));
  EXPECT_FALSE(p.create_directory("C:\\newdir"));
  EXPECT_EQ(p.last_error(), sys::error::already_exists);
  drive.write("file", "");
  EXPECT_FALSE(p.create_directory("C:\\FILE"));
  EXPECT_EQ(p.last_error(), sys::error::already_exists);
  EXPECT_FALSE(p.create_directory("C:\\no\\such"));
  EXPECT_EQ(p.last_error(), sys::error::path_not_found);

  drive.write("NewDir/inside", "");
  EXPECT_FALSE(p.remove_directory("C:\\newdir"));
  EXPECT_EQ(p.last_error(), sys::error::dir_not_empty);
  fs::remove(drive.c() / "NewDir" / "inside");
  EXPECT_TRUE(p.remove_directory("C:\\newdir"));
  EXPECT_FALSE(fs::exists(drive.c() / "NewDir"));
  EXPECT_FALSE(p.remove_directory("C:\\newdir"));
  EXPECT_EQ(p.last_error(), sys::error::file_not_found);
}

TEST(PosixDirectory, RemovingATreeNeverFollowsItsLinks) {
  temp_drive drive;
  auto& p = backend();
  drive.write("KEEP/precious.txt", "kept");
  drive.write("TREE/SUB/DEEP/file.txt", "x");
  drive.write("TREE/top.txt", "y");
  fs::create_directory_symlink(drive.c() / "KEEP", drive.c() / "TREE" / "SUB" / "dirlink");
  fs::create_symlink(drive.c() / "KEEP" / "precious.txt", drive.c() / "TREE" / "filelink");
  fs::create_symlink("nowhere", drive.c() / "TREE" / "broken");
  fs::create_directory_symlink(drive.c() / "KEEP", drive.c() / "LINKED");

  EXPECT_FALSE(p.remove_tree_below("C:\\", "LINKED\\precious.txt"));
  EXPECT_EQ(p.last_error(), sys::error::stopped_on_symlink);
  EXPECT_TRUE(p.remove_tree_below("C:\\", "tree"));
  EXPECT_FALSE(fs::exists(drive.c() / "TREE"));
  EXPECT_EQ(velmora_test::temp_drive::read(drive.c() / "KEEP" / "precious.txt"), "kept");
  EXPECT_FALSE(p.remove_tree_below("C:\\", "TREE"));
  EXPECT_EQ(p.last_error(), sys::error::file_not_found);
}

} // namespace
