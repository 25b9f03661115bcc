// Files: opening with Windows' sharing rules, reading, writing and seeking.
#include "sys/platform/posix/posix_path.h"
#include "sys/platform/posix/posix_platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace sys::posix {

static_assert(sizeof(off_t) >= 8, "file offsets must reach past 4 GiB");

namespace {

// The most one read or write system call is asked to move.
constexpr std::size_t max_io_chunk = std::size_t{1} << 30;

constexpr mode_t new_file_mode = 0666;
constexpr mode_t new_read_only_file_mode = 0444;

constexpr int open_extra_flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// Takes the descriptor of an open that succeeded: only a regular file is
// kept (anything else is refused with access_denied). O_NONBLOCK stays set,
// which regular files ignore.
void take_regular(opened_file& result, int fd) {
  result.fd.reset(fd);
  if (::fstat(fd, &result.status) != 0)
    result.error = error_from_errno(errno, failed_op::open);
  else if (!S_ISREG(result.status.st_mode))
    result.error = error::access_denied;
  if (result.error != error::success)
    result.fd.reset();
}

int open_retrying(int dir, const char* name, int flags, mode_t mode) {
  int fd = -1;
  do {
    fd = ::openat(dir, name, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Opens native (name in the directory open as dir, or native itself when dir
// is AT_FDCWD) with flags, links followed. Anything but a regular file is
// refused with access_denied without being opened, so that a fifo or a
// device is never opened (which could block or act on the device): last, the
// lookup of native's last component, tells what is there; a link, or an
// entry the lookup could not tell, is looked at first.
opened_file open_regular(int dir, const std::string& native, const entry_match& last, int flags,
                         mode_t mode) {
  opened_file result;
  const char* name = dir == AT_FDCWD ? native.c_str() : last.name.c_str();
  int extra = open_extra_flags;
  if (!(flags & O_EXCL)) {
    const bool told = !last.name.empty() && (!last.exists || last.type != 0);
    if (!told || last.type == S_IFLNK) {
      struct stat st {};
      if (::fstatat(dir, name, &st, 0) == 0) {
        if (!S_ISREG(st.st_mode)) {
          result.error = error::access_denied;
          return result;
        }
      } else if (errno != ENOENT || !(flags & O_CREAT)) {
        result.error = error_from_errno(errno, failed_op::open, native);
        return result;
      }
    } else if (last.exists && last.type != S_IFREG) {
      result.error = error::access_denied;
      return result;
    } else if (!last.exists && !(flags & O_CREAT)) {
      result.error = error_from_errno(ENOENT, failed_op::open, native);
      return result;
    } else {
      extra |= O_NOFOLLOW; // a regular file, or nothing, as looked up
    }
  }
  const int fd = open_retrying(dir, name, flags | extra, mode);
  if (fd < 0) {
    if (errno == ELOOP && (extra & O_NOFOLLOW)) {
      entry_match again = last; // made a link since: looked at again
      again.type = 0;
      return open_regular(dir, native, again, flags, mode);
    }
    result.error = error_from_errno(errno, failed_op::open, native);
    return result;
  }
  take_regular(result, fd);
  return result;
}

// As open_regular, for the entry last of the directory open as dir, and
// without following a link there: a link (to anything, or dangling) is
// refused with stopped_on_symlink before anything is opened or created. A file
// that did not exist is made with O_EXCL (result.created), so nothing that
// appeared in its place since the lookup is opened instead.
opened_file open_regular_at(int dir, const entry_match& last, int flags, mode_t mode) {
  opened_file result;
  const char* name = last.name.c_str();
  bool exists = last.exists;
  mode_t type = last.type;
  if (exists && type == 0) {
    struct stat st {};
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      type = st.st_mode & S_IFMT;
    } else if (errno == ENOENT) {
      exists = false;
    } else {
      result.error = error_from_errno(errno, failed_op::open);
      return result;
    }
  }
  if (exists && type == S_IFLNK) {
    result.error = error::stopped_on_symlink;
    return result;
  }
  if (exists && type != S_IFREG) {
    result.error = error::access_denied;
    return result;
  }
  if (!exists && !(flags & O_CREAT)) {
    result.error = error::file_not_found;
    return result;
  }
  const int create_new = exists ? 0 : O_EXCL;
  const int fd = open_retrying(dir, name, flags | create_new | O_NOFOLLOW | open_extra_flags, mode);
  if (fd < 0) {
    if (errno == EEXIST && create_new && !(flags & O_EXCL)) {
      entry_match again = last; // made since the lookup: looked at again
      again.exists = true;
      again.type = 0;
      return open_regular_at(dir, again, flags, mode);
    }
    // ELOOP: replaced by a link since it was looked at.
    result.error = errno == ELOOP    ? error::stopped_on_symlink
                   : errno == ENOENT ? error::file_not_found
                                     : error_from_errno(errno, failed_op::open);
    return result;
  }
  result.created = create_new != 0;
  take_regular(result, fd);
  return result;
}

// The open(2) flags of an access and a disposition; -1 for an unknown
// disposition.
int open_flags(std::uint32_t access, disposition how) {
  const bool reads = access & access_read;
  // Emptying a file needs a writable descriptor, whatever the caller asked;
  // write_file still follows the recorded access.
  const bool writes = (access & access_write) || how == disposition::create_always;
  int flags = writes ? (reads ? O_RDWR : O_WRONLY) : O_RDONLY;
  switch (how) {
  case disposition::create_new:
    return flags | O_CREAT | O_EXCL;
  case disposition::create_always:
    return flags | O_CREAT;
  case disposition::open_existing:
    return flags;
  default:
    return -1;
  }
}

mode_t new_mode(std::uint32_t attributes) {
  return (attributes & attribute_read_only) ? new_read_only_file_mode : new_file_mode;
}

// The size and times of the file open as fd; false with errno set.
bool information_of(int fd, file_information* out) {
  struct stat st {};
  if (::fstat(fd, &st) != 0)
    return false;
  out->size = static_cast<std::uint64_t>(st.st_size);
  out->last_write_time = file_time_of(st.st_mtim);
  out->change_time = file_time_of(st.st_ctim);
  return true;
}

} // namespace

platform::open_file* platform::lookup(native_handle handle) {
  if (handle >= 0 && handle <= INT_MAX) {
    if (const auto it = files_.find(static_cast<int>(handle)); it != files_.end())
      return &it->second;
  }
  last_error_ = error::invalid_handle;
  return nullptr;
}

platform::open_file* platform::transfer_file(native_handle handle, std::uint32_t access,
                                             const void* buffer, std::uint32_t count,
                                             std::uint32_t* done) {
  if (done)
    *done = 0;
  open_file* file = lookup(handle);
  if (!file)
    return nullptr;
  if (!(file->access & access))
    return fail<open_file*>(error::access_denied, nullptr);
  if (!buffer && count != 0)
    return fail<open_file*>(error::invalid_parameter, nullptr);
  return file;
}

bool platform::sharing_conflict(dev_t device, ino_t inode, std::uint32_t access,
                                std::uint32_t share) const {
  const bool reads = access & access_read;
  const bool writes = access & access_write;
  for (const auto& [fd, held] : files_) {
    if (held.device != device || held.inode != inode)
      continue;
    if ((reads && !(held.share & share_read)) || (writes && !(held.share & share_write)))
      return true;
    if (((held.access & access_read) && !(share & share_read)) ||
        ((held.access & access_write) && !(share & share_write)))
      return true;
  }
  return false;
}

native_handle platform::create_file(const char* path, std::uint32_t access, std::uint32_t share,
                                    disposition how, std::uint32_t attributes) {
  return guarded(invalid_handle_value, [&] {
    if (!path)
      return fail(error::invalid_parameter, invalid_handle_value);
    int dir = AT_FDCWD;
    std::string native;
    entry_match last;
    if (const auto code = locate_file(path, dir, native, last); code != error::success)
      return fail(code, invalid_handle_value);
    return open_file_at(dir, native, last, access, share, how, attributes);
  });
}

native_handle platform::create_file_below(const char* base, const char* relative,
                                          std::uint32_t access, std::uint32_t share,
                                          disposition how, std::uint32_t attributes) {
  return guarded(invalid_handle_value, [&] {
    const int flags = open_flags(access, how);
    if (flags < 0)
      return fail(error::invalid_parameter, invalid_handle_value);
    below_path place;
    if (const auto code = walk_below(base, relative, place); code != error::success)
      return fail(code, invalid_handle_value);
    opened_file file = open_regular_at(place.dir, place.last, flags, new_mode(attributes));
    if (file.error != error::success)
      return fail(file.error, invalid_handle_value);
    if (file.created)
      note_created(place.dir, place.last.name, S_IFREG);
    // A file with other names would be changed under those names too.
    const bool in_place = (access & access_write) || how == disposition::create_always;
    if (in_place && file.status.st_nlink > 1)
      return fail(error::too_many_links, invalid_handle_value);
    return adopt(std::move(file), access, share, how);
  });
}

native_handle platform::open_file_at(int dir, const std::string& native, const entry_match& last,
                                     std::uint32_t access, std::uint32_t share, disposition how,
                                     std::uint32_t attributes) {
  const int flags = open_flags(access, how);
  if (flags < 0)
    return fail(error::invalid_parameter, invalid_handle_value);
  opened_file file = open_regular(dir, native, last, flags, new_mode(attributes));
  if (file.error != error::success)
    return fail(file.error, invalid_handle_value);
  return adopt(std::move(file), access, share, how);
}

native_handle platform::adopt(opened_file&& file, std::uint32_t access, std::uint32_t share,
                              disposition how) {
  // Checked before anything changes, so a refused create_always leaves the
  // file as it was.
  if (sharing_conflict(file.status.st_dev, file.status.st_ino, access, share))
    return fail(error::sharing_violation, invalid_handle_value);
  if (how == disposition::create_always && file.status.st_size != 0 &&
      ::ftruncate(file.fd.get(), 0) != 0)
    return fail(error_from_errno(errno, failed_op::write), invalid_handle_value);

  const int fd = file.fd.get();
  auto [it, inserted] = files_.try_emplace(fd);
  if (!inserted) {
    // A stale entry: its descriptor was closed behind this table's back and
    // the number reused. Forget it without closing the new descriptor.
    (void)it->second.fd.release();
  }
  it->second = open_file{std::move(file.fd), file.status.st_dev, file.status.st_ino, access, share};
  return static_cast<native_handle>(fd);
}

bool platform::read_file(native_handle handle, void* buffer, std::uint32_t count,
                         std::uint32_t* done) {
  return guarded(false, [&] {
    open_file* file = transfer_file(handle, access_read, buffer, count, done);
    if (!file)
      return false;
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::uint32_t total = 0;
    while (total < count) {
      const std::size_t chunk = std::min<std::size_t>(count - total, max_io_chunk);
      const ssize_t n = ::read(file->fd.get(), bytes + total, chunk);
      if (n < 0) {
        if (errno == EINTR)
          continue;
        return fail(error_from_errno(errno, failed_op::read), false);
      }
      if (n == 0)
        break;
      total += static_cast<std::uint32_t>(n);
    }
    if (done)
      *done = total;
    return true;
  });
}

bool platform::write_file(native_handle handle, const void* buffer, std::uint32_t count,
                          std::uint32_t* done) {
  return guarded(false, [&] {
    open_file* file = transfer_file(handle, access_write, buffer, count, done);
    if (!file)
      return false;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::uint32_t total = 0;
    while (total < count) {
      const std::size_t chunk = std::min<std::size_t>(count - total, max_io_chunk);
      const ssize_t n = ::write(file->fd.get(), bytes + total, chunk);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0) {
        const std::uint32_t code =
            n < 0 ? error_from_errno(errno, failed_op::write) : error::write_fault;
        if (done)
          *done = total;
        return fail(code, false);
      }
      total += static_cast<std::uint32_t>(n);
    }
    if (done)
      *done = total;
    return true;
  });
}

std::uint32_t platform::set_file_pointer(native_handle handle, std::uint32_t distance,
                                         move_method method) {
  open_file* file = lookup(handle);
  if (!file)
    return invalid_set_file_pointer;
  int whence = SEEK_SET;
  switch (method) {
  case move_method::begin:
    whence = SEEK_SET;
    break;
  case move_method::current:
    whence = SEEK_CUR;
    break;
  case move_method::end:
    whence = SEEK_END;
    break;
  default:
    return fail(error::invalid_parameter, invalid_set_file_pointer);
  }
  const off_t position = ::lseek(file->fd.get(), static_cast<off_t>(distance), whence);
  if (position < 0)
    return fail(error_from_errno(errno, failed_op::other), invalid_set_file_pointer);
  const auto low = static_cast<std::uint32_t>(static_cast<std::uint64_t>(position));
  if (low == invalid_set_file_pointer)
    last_error_ = error::success; // tells this position from a failure
  return low;
}

bool platform::close_handle(native_handle handle) {
  if (!lookup(handle))
    return false;
  const auto it = files_.find(static_cast<int>(handle));
  const int fd = it->second.fd.release();
  files_.erase(it);
  // The descriptor is gone whatever close reports; a late write error is told.
  if (::close(fd) != 0 && errno != EINTR)
    return fail(error_from_errno(errno, failed_op::write), false);
  return true;
}

bool platform::get_file_information(native_handle handle, file_information* out) {
  open_file* file = lookup(handle);
  if (!file)
    return false;
  file_information info;
  if (!information_of(file->fd.get(), &info))
    return fail(error_from_errno(errno, failed_op::other), false);
  if (out)
    *out = info;
  return true;
}

bool platform::set_end_of_file(native_handle handle) {
  open_file* file = lookup(handle);
  if (!file)
    return false;
  if (!(file->access & access_write))
    return fail(error::access_denied, false);
  const off_t here = ::lseek(file->fd.get(), 0, SEEK_CUR);
  if (here < 0 || ::ftruncate(file->fd.get(), here) != 0)
    return fail(error_from_errno(errno, failed_op::write), false);
  return true;
}

namespace {

// A stdio stream over a regular file opened_file with flags; fdopen mode `mode`.
std::FILE* stream_over(const std::string& native, const entry_match& last, int flags,
                       const char* mode, std::uint32_t* error) {
  opened_file file = open_regular(AT_FDCWD, native, last, flags, 0666);
  if (file.error != error::success) {
    *error = file.error;
    return nullptr;
  }
  std::FILE* stream = ::fdopen(file.fd.get(), mode);
  if (!stream) {
    *error = error_from_errno(errno, failed_op::open);
    return nullptr;
  }
  (void)file.fd.release(); // the stream owns it now
  return stream;
}

} // namespace

std::FILE* platform::open_stream(const char* path, int flags, const char* mode) {
  return guarded<std::FILE*>(nullptr, [&]() -> std::FILE* {
    if (!path)
      return fail<std::FILE*>(error::invalid_parameter, nullptr);
    std::string native;
    entry_match last;
    if (const auto code = resolve_drive_path(path, native, &last); code != error::success)
      return fail<std::FILE*>(code, nullptr);
    std::uint32_t code = error::success;
    std::FILE* stream = stream_over(native, last, flags, mode, &code);
    return stream ? stream : fail<std::FILE*>(code, nullptr);
  });
}

std::FILE* platform::open_write_stream(const char* path) {
  return open_stream(path, O_WRONLY | O_CREAT | O_TRUNC, "wb");
}

std::FILE* platform::open_read_stream(const char* path) {
  return open_stream(path, O_RDONLY, "rb");
}

} // namespace sys::posix

namespace sys {

int seek_stream(std::FILE* stream, std::int64_t offset, int origin) {
  return ::fseeko(stream, static_cast<off_t>(offset), origin) == 0 ? 0 : -1;
}

std::int64_t tell_stream(std::FILE* stream) {
  return static_cast<std::int64_t>(::ftello(stream));
}

bool stream_information(std::FILE* stream, file_information* out) {
  return posix::information_of(::fileno(stream), out);
}

} // namespace sys
