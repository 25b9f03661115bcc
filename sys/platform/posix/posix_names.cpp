// Case-insensitive name lookups, the remembered names of directories, and the
// directory held open between creates below one base.
#include "sys/platform/posix/posix_names.h"

#include "sys/cp1252.h"
#include "sys/platform/posix/posix_path.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <list>
#include <memory>
#include <unordered_map>

namespace sys::posix {

namespace {

// Listings are read this much per system call.
constexpr std::size_t listing_piece_bytes = 128 * 1024;

// At most this many directories and names are remembered; the directory used
// least recently is let go first.
constexpr std::size_t max_directories = 64;
constexpr std::size_t max_names = 250000;

// One timestamp tick. Modification times come from the kernel's coarse clock,
// which moves in steps of at most 10 ms; a file system whose times are whole
// seconds (FAT: two) moves in steps of seconds.
constexpr std::int64_t fine_tick_ns = 20'000'000;
constexpr std::int64_t coarse_tick_ns = 2'000'000'000;
constexpr std::int64_t ns_per_second = 1'000'000'000;

std::int64_t nanoseconds(const timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * ns_per_second + t.tv_nsec;
}

bool same_time(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

mode_t type_of(unsigned char d_type) {
  switch (d_type) {
  case DT_REG:
    return S_IFREG;
  case DT_DIR:
    return S_IFDIR;
  case DT_LNK:
    return S_IFLNK;
  case DT_FIFO:
    return S_IFIFO;
  case DT_CHR:
    return S_IFCHR;
  case DT_BLK:
    return S_IFBLK;
  case DT_SOCK:
    return S_IFSOCK;
  default:
    return 0;
  }
}

// The names of one directory as last read, by their Windows-1252 upper case.
struct known_directory {
  struct names_of_key {
    std::string smallest; // the smallest name on disk in byte order
    mode_t type = 0;      // its type, as the listing told it
    bool several = false; // more than one name on disk has this upper case
  };

  dev_t device = 0;
  ino_t inode = 0;
  // The directory's modification and change times when its names were
  // known: the change time as well, since the modification time may be set
  // back (tar, rsync and cp -a do) and the change time may not.
  timespec modified{};
  timespec changed{};
  bool trusted = false; // whether the names may answer a later lookup

  bool same_times(const struct stat& st) const {
    return same_time(modified, st.st_mtim) && same_time(changed, st.st_ctim);
  }
  void take_times(const struct stat& st) {
    modified = st.st_mtim;
    changed = st.st_ctim;
  }
  std::unordered_map<std::string, names_of_key> by_upper;

  void add(std::string_view native, mode_t type) {
    auto [at, added] = by_upper.try_emplace(upper_cp1252(utf8_to_cp1252(native)));
    if (added || native < at->second.smallest) {
      at->second.several = !added;
      at->second.smallest = native;
      at->second.type = type;
    } else if (native != at->second.smallest) {
      at->second.several = true;
    }
  }
};

class name_cache {
public:
  entry_match find(int dir, const std::string& dir_path, std::string_view component,
                   const struct stat* dir_status);
  void note_created(int dir, const std::string& name, mode_t type);
  void clear() {
    directories_.clear();
    names_ = 0;
  }

private:
  // The remembered directory of status st, moved to the front, when its
  // names may answer now; otherwise nullptr (and a stale one is let go).
  known_directory* usable(const struct stat& st);
  // Reads the directory open as fd (status st) and remembers its names.
  known_directory* read(int fd, const struct stat& st);
  void drop(std::list<known_directory>::iterator at) {
    names_ -= at->by_upper.size();
    directories_.erase(at);
  }

  std::list<known_directory> directories_; // most recently used first
  std::size_t names_ = 0;
};

known_directory* name_cache::usable(const struct stat& st) {
  for (auto at = directories_.begin(); at != directories_.end(); ++at) {
    if (at->device != st.st_dev || at->inode != st.st_ino)
      continue;
    if (!at->trusted || !at->same_times(st)) {
      drop(at);
      return nullptr;
    }
    directories_.splice(directories_.begin(), directories_, at);
    return &directories_.front();
  }
  return nullptr;
}

known_directory* name_cache::read(int fd, const struct stat& st) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  known_directory listed;
  listed.device = st.st_dev;
  listed.inode = st.st_ino;
  listed.take_times(st);
  // The change time tells the file system's granularity: no one can set it.
  const std::int64_t tick = st.st_ctim.tv_nsec == 0 ? coarse_tick_ns : fine_tick_ns;
  const std::int64_t last_change = std::max(nanoseconds(st.st_mtim), nanoseconds(st.st_ctim));
  listed.trusted = nanoseconds(now) - last_change >= tick;
  const int failed = read_names(
      fd, [&](std::string_view name, unsigned char d_type) { listed.add(name, type_of(d_type)); });
  if (failed != 0)
    return nullptr;
  while (!directories_.empty() &&
         (directories_.size() >= max_directories || names_ + listed.by_upper.size() > max_names))
    drop(std::prev(directories_.end()));
  names_ += listed.by_upper.size();
  directories_.push_front(std::move(listed));
  return &directories_.front();
}

entry_match name_cache::find(int dir, const std::string& dir_path, std::string_view component,
                             const struct stat* dir_status) {
  entry_match match;
  match.name = cp1252_to_utf8(component);
  const std::string base = dir_path.empty() ? std::string("/") : dir_path;
  struct stat st {};
  if (dir < 0) {
    // Paths: the exact name is looked at first, which spares reading large
    // directories that change often (such as /tmp) when names are exact.
    const std::string exact = dir_path + "/" + match.name;
    if (::lstat(exact.c_str(), &st) == 0) {
      match.exists = true;
      match.type = st.st_mode & S_IFMT;
      return match;
    }
    if (errno != ENOENT || ::stat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      return match;
  } else if (dir_status) {
    st = *dir_status;
  } else if (::fstat(dir, &st) != 0) {
    return match;
  }

  known_directory* known = usable(st);
  if (!known) {
    unique_fd opened;
    int fd = dir;
    if (dir < 0) {
      opened.reset(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (!opened || ::fstat(opened.get(), &st) != 0)
        return match;
      fd = opened.get();
    }
    known = read(fd, st);
    if (!known)
      return match;
  }
  const auto at = known->by_upper.find(upper_cp1252(component));
  if (at == known->by_upper.end())
    return match;
  const auto& found = at->second;
  match.exists = true;
  if (found.several) {
    // The exact name goes before the smallest one when both are there.
    struct stat exact {};
    const bool there = dir >= 0
                           ? ::fstatat(dir, match.name.c_str(), &exact, AT_SYMLINK_NOFOLLOW) == 0
                           : ::lstat((dir_path + "/" + match.name).c_str(), &exact) == 0;
    if (there) {
      match.type = exact.st_mode & S_IFMT;
      return match;
    }
  }
  match.name = found.smallest;
  match.type = found.type;
  return match;
}

void name_cache::note_created(int dir, const std::string& name, mode_t type) {
  struct stat st {};
  if (::fstat(dir, &st) != 0) {
    clear();
    return;
  }
  for (auto& known : directories_) {
    if (known.device != st.st_dev || known.inode != st.st_ino)
      continue;
    const std::size_t before = known.by_upper.size();
    known.add(name, type);
    names_ += known.by_upper.size() - before;
    known.take_times(st);
    known.trusted = true;
    break;
  }
  if (type != S_IFDIR)
    return;
  // The new directory is empty: remembered so, without being read.
  struct stat made {};
  if (::fstatat(dir, name.c_str(), &made, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(made.st_mode))
    return;
  if (directories_.size() >= max_directories)
    drop(std::prev(directories_.end()));
  known_directory empty;
  empty.device = made.st_dev;
  empty.inode = made.st_ino;
  empty.take_times(made);
  empty.trusted = true;
  directories_.push_front(std::move(empty));
}

name_cache& cache() {
  static name_cache instance;
  return instance;
}

} // namespace

entry_match find_entry(int dir, const std::string& dir_path, std::string_view component,
                       const struct stat* dir_status) {
  return cache().find(dir, dir_path, component, dir_status);
}

void note_created(int dir, const std::string& name, mode_t type) {
  cache().note_created(dir, name, type);
}

void forget_names() {
  cache().clear();
  held_below().forget();
  held_by_path().forget();
}

int read_names(int dir, const std::function<void(std::string_view, unsigned char)>& visit) {
  if (::lseek(dir, 0, SEEK_SET) < 0)
    return errno;
  const std::unique_ptr<char[]> piece(new char[listing_piece_bytes]);
  for (;;) {
    const ssize_t n = ::getdents64(dir, piece.get(), listing_piece_bytes);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return errno;
    }
    if (n == 0)
      return 0;
    for (ssize_t at = 0; at < n;) {
      const auto* entry = reinterpret_cast<const dirent64*>(piece.get() + at);
      at += entry->d_reclen;
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..")
        visit(name, entry->d_type);
    }
  }
}

bool held_directory::leads_here(struct stat& st) const {
  if (no_links_from_ >= native_.size()) {
    if (::stat(native_.c_str(), &st) != 0)
      return false;
  } else {
    // Each component from no_links_from_ on is looked at without following
    // it: a directory moved away and a link to it put in its place must not
    // lead there.
    for (std::size_t at = native_.find('/', no_links_from_); at != std::string::npos;
         at = native_.find('/', at + 1)) {
      if (::lstat(native_.substr(0, at).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    }
    if (::lstat(native_.c_str(), &st) != 0)
      return false;
  }
  return st.st_dev == device_ && st.st_ino == inode_;
}

int held_directory::serve(const std::string& key, struct stat& st) {
  if (key.empty() || !dir_ || key != key_)
    return -1;
  if (leads_here(st))
    return dir_.get();
  forget();
  return -1;
}

int held_directory::hold(std::string key, std::string native, unique_fd dir, const struct stat& st,
                         std::size_t no_links_from) {
  key_ = std::move(key);
  native_ = std::move(native);
  no_links_from_ = no_links_from;
  dir_ = std::move(dir);
  device_ = st.st_dev;
  inode_ = st.st_ino;
  return dir_.get();
}

void held_directory::forget() {
  key_.clear();
  native_.clear();
  no_links_from_ = links_followed;
  dir_.reset();
}

held_directory& held_below() {
  static held_directory held;
  return held;
}

held_directory& held_by_path() {
  static held_directory held;
  return held;
}

std::string held_key(std::string_view drive_path, std::string_view below) {
  if (!has_drive_prefix(drive_path))
    return {};
  const char* map = std::getenv(drive_map_variable);
  const char* home = std::getenv("HOME");
  std::string key = map ? map : "";
  key += '\0';
  key += home ? home : "";
  key += '\0';
  key += drive_path;
  key += '\0';
  key += below;
  return key;
}

} // namespace sys::posix
