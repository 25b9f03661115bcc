// The process: its program's path, starting programs, and local DOS times.
#include "sys/platform/posix/posix_path.h"
#include "sys/platform/posix/posix_platform.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>

extern char** environ;

namespace sys::posix {

namespace {

constexpr const char* own_program_link = "/proc/self/exe";
constexpr std::size_t first_link_buffer = 256;
constexpr std::size_t max_native_path = 1 << 16;

// WinExec's results.
constexpr std::uint32_t exec_started = 33; // any value above 31 means success
constexpr std::uint32_t exec_file_not_found = 2;
constexpr std::uint32_t exec_path_not_found = 3;
constexpr std::uint32_t exec_bad_format = 11;

// The exit status of the intermediate child: whether the program started.
constexpr int child_spawned = 0;
constexpr int child_spawn_failed = 1;

constexpr int first_dos_year = 1980;
constexpr int last_dos_year = 2107;

// The target of the symbolic link at link, or "" when it cannot be read.
std::string read_link(const char* link) {
  std::string buffer(first_link_buffer, '\0');
  while (buffer.size() <= max_native_path) {
    const ssize_t n = ::readlink(link, buffer.data(), buffer.size());
    if (n < 0)
      return {};
    if (static_cast<std::size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(n));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
  return {};
}

// Spawn attributes that reset the signal mask and every signal's handling
// for the new program; destroyed with the object.
class spawn_attributes {
public:
  spawn_attributes() {
    initialised_ = ::posix_spawnattr_init(&value_) == 0;
    if (!initialised_)
      return;
    sigset_t no_signals;
    sigset_t all_signals;
    sigemptyset(&no_signals);
    sigfillset(&all_signals);
    ready_ =
        ::posix_spawnattr_setsigmask(&value_, &no_signals) == 0 &&
        ::posix_spawnattr_setsigdefault(&value_, &all_signals) == 0 &&
        ::posix_spawnattr_setflags(&value_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
  }
  ~spawn_attributes() {
    if (initialised_)
      ::posix_spawnattr_destroy(&value_);
  }
  spawn_attributes(const spawn_attributes&) = delete;
  spawn_attributes& operator=(const spawn_attributes&) = delete;

  bool ready() const { return ready_; }
  const posix_spawnattr_t* get() const { return &value_; }

private:
  posix_spawnattr_t value_;
  bool initialised_ = false;
  bool ready_ = false;
};

// Starts program in a grandchild: the child spawns it and exits at once, so
// the caller reaps the child now and the program, orphaned, leaves no zombie.
// Returns whether the program was started.
bool spawn_detached(const std::string& program) {
  // Prepared before forking: the child only spawns and exits.
  std::string argv0 = program;
  char* argv[] = {argv0.data(), nullptr};
  const spawn_attributes attributes;
  if (!attributes.ready())
    return false;

  const pid_t child = ::fork();
  if (child == 0) {
    pid_t grandchild = 0;
    const int result =
        ::posix_spawn(&grandchild, program.c_str(), nullptr, attributes.get(), argv, environ);
    ::_exit(result == 0 ? child_spawned : child_spawn_failed);
  }
  if (child < 0)
    return false;
  int status = 0;
  pid_t waited = 0;
  do {
    waited = ::waitpid(child, &status, 0);
  } while (waited < 0 && errno == EINTR);
  if (waited < 0)
    return errno == ECHILD; // children are reaped elsewhere: assume it started
  return WIFEXITED(status) && WEXITSTATUS(status) == child_spawned;
}

} // namespace

std::uint32_t platform::module_file_name(char* out, std::uint32_t size) {
  if (out && size != 0)
    out[0] = '\0';
  return guarded(std::uint32_t{0}, [&]() -> std::uint32_t {
    if (!out || size == 0)
      return fail(error::invalid_parameter, std::uint32_t{0});
    const std::string program = read_link(own_program_link);
    if (program.empty())
      return fail(error::file_not_found, std::uint32_t{0});
    std::string drive_form;
    if (const auto code = native_to_drive_path(program, drive_form); code != error::success)
      return fail(code, std::uint32_t{0});
    const std::size_t length = std::min<std::size_t>(drive_form.size(), size - 1);
    drive_form.copy(out, length);
    out[length] = '\0';
    return static_cast<std::uint32_t>(length);
  });
}

std::uint32_t platform::win_exec(const char* command_line, std::uint32_t /*show*/) {
  return guarded(std::uint32_t{0}, [&]() -> std::uint32_t {
    if (!command_line)
      return fail(error::invalid_parameter, exec_file_not_found);
    std::string native;
    if (const auto code = resolve_drive_path(command_line, native); code != error::success)
      return fail(code, code == error::path_not_found ? exec_path_not_found : exec_file_not_found);
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0) {
      const std::uint32_t code = error_from_errno(errno, failed_op::open, native);
      return fail(code, code == error::path_not_found ? exec_path_not_found : exec_file_not_found);
    }
    if (!S_ISREG(st.st_mode))
      return fail(error::access_denied, exec_bad_format);
    // Archives carry no file modes: an unpacked program may lack its owner's
    // execute bit, which it gets here.
    if (!(st.st_mode & S_IXUSR) && ::chmod(native.c_str(), (st.st_mode & 07777) | S_IXUSR) != 0)
      return fail(error_from_errno(errno, failed_op::other), exec_bad_format);
    if (!spawn_detached(native))
      return fail(error::gen_failure, exec_bad_format);
    return exec_started;
  });
}

bool platform::file_time_to_local_dos(std::uint64_t file_time, std::uint16_t* dos_date,
                                      std::uint16_t* dos_time) {
  const auto seconds = static_cast<std::int64_t>(file_time / file_time_units_per_second) -
                       unix_epoch_file_time / file_time_units_per_second;
  const auto t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (!dos_date || !dos_time || !::localtime_r(&t, &local))
    return fail(error::invalid_parameter, false);
  const int year = local.tm_year + 1900;
  if (year < first_dos_year || year > last_dos_year)
    return fail(error::invalid_parameter, false);
  *dos_date = static_cast<std::uint16_t>(((year - first_dos_year) << 9) |
                                         ((local.tm_mon + 1) << 5) | local.tm_mday);
  *dos_time =
      static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
  return true;
}

} // namespace sys::posix
