// What only the POSIX backend does with files and directories: modes on
// disk, special files, full disks, standard streams and links in a tree.
#include "sys/platform.h"
#include "tests/support/platform_probe.h"
#include "tests/support/temp_drive.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using velmora_test::backend;
using velmora_test::open_handle;
using velmora_test::temp_drive;

TEST(PosixFileOpen, NewFilesTakeTheUmaskAndAnUnmappedDriveIsNoPath) {
  temp_drive drive;
  {
    open_handle fresh("C:\\fresh.txt", sys::access_write, 0, sys::disposition::create_always);
    ASSERT_TRUE(fresh.ok());
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(fs::status(drive.c() / "fresh.txt").permissions(),
            static_cast<fs::perms>(0666 & ~mask));
  open_handle unmapped("Q:\\x.txt", sys::access_write, 0, sys::disposition::create_always);
  EXPECT_EQ(unmapped.error(), sys::error::path_not_found);
}

TEST(PosixFileOpen, RefusesFifosWithoutBlocking) {
  temp_drive drive;
  ASSERT_EQ(::mkfifo((drive.c() / "pipe").c_str(), 0600), 0);
  for (auto how : {sys::disposition::open_existing, sys::disposition::create_always}) {
    open_handle fifo("C:\\pipe", sys::access_read, 0, how);
    EXPECT_EQ(fifo.error(), sys::error::access_denied);
  }
  EXPECT_EQ(backend().open_read_stream("C:\\pipe"), nullptr);
  EXPECT_EQ(backend().last_error(), sys::error::access_denied);
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

// The process's standard streams are descriptors 0, 1 and 2, which the
// backend never opened: refusing them leaves them open.
TEST(PosixFileIo, StandardStreamsAreNeverClosed) {
  for (const sys::native_handle h : {0, 1, 2}) {
    EXPECT_FALSE(backend().close_handle(h)) << h;
    EXPECT_EQ(backend().last_error(), sys::error::invalid_handle);
    EXPECT_NE(::fcntl(static_cast<int>(h), F_GETFD), -1) << h;
  }
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
