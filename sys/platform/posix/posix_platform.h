// The POSIX backend of the platform seam: Win32 file calls imitated on POSIX.
#pragma once

#include "sys/platform/platform_backend.h"
#include "sys/platform/posix/posix_handle.h"
#include "sys/platform/posix/posix_names.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sys::posix {

// FILETIME of the Unix epoch, and FILETIME's units (100 ns) in a second.
inline constexpr std::int64_t unix_epoch_file_time = 116444736000000000;
inline constexpr std::int64_t file_time_units_per_second = 10000000;

// A time of the file system as a FILETIME (0 for times before 1601).
std::uint64_t file_time_of(const struct timespec& t);

// What a failing native call was doing, where one errno means different things.
enum class failed_op { open, make_dir, remove_dir, read, write, other };

// The Win32 error number for errno value e. native, when given, is the path the
// call worked on: a missing file then tells file_not_found from path_not_found
// by whether its parent directory exists.
std::uint32_t error_from_errno(int e, failed_op op, const std::string& native = {});

// A descriptor of a regular file, its status, or why there is none.
struct opened_file {
  unique_fd fd;
  struct stat status {};
  std::uint32_t error = error::success;
  bool created = false; // made by this open
};

// One entry of a listing, kept small: directories are listed whole, and
// may hold tens of thousands of entries.
struct listed_entry {
  std::string name; // Windows-1252
  // The name on disk, when Windows-1252 cannot spell it (rare: kept apart).
  std::unique_ptr<std::string> native;
  std::uint64_t size = 0;
  std::uint64_t last_write_time = 0;
  std::uint32_t attributes = 0;
  std::uint32_t error = 0;
};

class platform final : public sys::platform_backend {
public:
  platform() = default;
  platform(const platform&) = delete;
  platform& operator=(const platform&) = delete;

  native_handle create_file(const char* path, std::uint32_t access, std::uint32_t share,
                            disposition how, std::uint32_t attributes) override;
  native_handle create_file_below(const char* base, const char* relative, std::uint32_t access,
                                  std::uint32_t share, disposition how,
                                  std::uint32_t attributes) override;
  bool read_file(native_handle handle, void* buffer, std::uint32_t count,
                 std::uint32_t* done) override;
  bool write_file(native_handle handle, const void* buffer, std::uint32_t count,
                  std::uint32_t* done) override;
  std::uint32_t set_file_pointer(native_handle handle, std::uint32_t distance,
                                 move_method method) override;
  bool close_handle(native_handle handle) override;
  bool get_file_information(native_handle handle, file_information* out) override;
  bool set_end_of_file(native_handle handle) override;

  bool create_directory(const char* path) override;
  bool create_directory_below(const char* base, const char* relative) override;
  bool remove_tree_below(const char* base, const char* relative) override;
  bool remove_directory(const char* path) override;

  native_handle find_first_file(const char* pattern, find_data* out) override;
  bool find_next_file(native_handle find, find_data* out) override;
  bool find_close(native_handle find) override;

  std::uint32_t char_upper(char* text, std::uint32_t length) override;

  drive_type get_drive_type(const char* root) override;
  bool get_disk_free_space(const char* root, std::uint32_t* sectors_per_cluster,
                           std::uint32_t* bytes_per_sector, std::uint32_t* free_clusters,
                           std::uint32_t* total_clusters) override;

  std::uint32_t module_file_name(char* out, std::uint32_t size) override;
  std::uint32_t win_exec(const char* command_line, std::uint32_t show) override;
  std::uint32_t profile_string(const char* section, const char* key, const char* fallback,
                               char* out, std::uint32_t size) override;
  bool file_time_to_local_dos(std::uint64_t file_time, std::uint16_t* dos_date,
                              std::uint16_t* dos_time) override;
  std::FILE* open_read_stream(const char* path) override;
  std::FILE* open_write_stream(const char* path) override;

  bool host_to_drive_path(const char* host_path, char* out, std::uint32_t size) override;
  bool drive_to_host_path(const char* drive_path, char* out, std::uint32_t size) override;
  bool host_text_to_system(const char* text, char* out, std::uint32_t size) override;
  bool system_text_to_host(const char* text, char* out, std::uint32_t size) override;
  bool is_terminal(int stream) override;
  bool make_executable(const char* host_path) override;

private:
  // One open of create_file; the descriptor is also its handle value.
  struct open_file {
    unique_fd fd;
    dev_t device = 0;
    ino_t inode = 0;
    std::uint32_t access = 0;
    std::uint32_t share = 0;
  };

  // The entries of one listing, taken whole at find_first_file.
  struct listing {
    std::deque<listed_entry> entries;
    std::size_t next = 0;
  };

  // Find handles count up from here: above every descriptor Linux hands out
  // (fs.nr_open stays below 2^30), so they never equal an open file's handle.
  static constexpr native_handle first_find_handle = 0x40000000;

  // The open file of handle, or nullptr (last_error: invalid_handle).
  open_file* lookup(native_handle handle);
  // The open file of handle for read_file (access_read) or write_file
  // (access_write), after setting *done (when given) to 0; nullptr, with
  // last_error set, for an unknown handle (invalid_handle), one not opened for
  // access (access_denied) or no buffer for a count above 0 (invalid_parameter).
  open_file* transfer_file(native_handle handle, std::uint32_t access, const void* buffer,
                           std::uint32_t count, std::uint32_t* done);

  // Whether a new open (access, share) of device/inode clashes with one held.
  bool sharing_conflict(dev_t device, ino_t inode, std::uint32_t access, std::uint32_t share) const;

  // Opens native: last.name in the directory open as dir, or native itself
  // when dir is AT_FDCWD.
  native_handle open_file_at(int dir, const std::string& native, const entry_match& last,
                             std::uint32_t access, std::uint32_t share, disposition how,
                             std::uint32_t attributes);
  // Takes a regular file opened for (access, share) into the table, after the
  // sharing check and, for create_always, emptying it; the file is dropped
  // (closed, unchanged) when the check refuses it.
  native_handle adopt(opened_file&& file, std::uint32_t access, std::uint32_t share,
                      disposition how);
  native_handle start_listing(const char* pattern, find_data* out);
  // A buffered stream over the regular file at a drive path, opened with the
  // open(2) flags and the fdopen mode.
  std::FILE* open_stream(const char* path, int flags, const char* mode);

  std::map<int, open_file> files_;
  std::map<native_handle, listing> listings_;
  native_handle next_find_handle_ = first_find_handle;
};

} // namespace sys::posix
