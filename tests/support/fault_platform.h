// A test backend that wraps another platform backend, forwards every call, and
// can fail chosen calls, shift handle values, script drives and count handles.
#pragma once

#include "sys/forwarding_platform.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace velmora_test {

// The kinds of platform calls a fault can be aimed at.
enum class op {
  create_file,
  read_file,
  write_file,
  set_file_pointer,
  close_handle,
  get_file_information,
  set_end_of_file,
  create_directory,
  remove_directory,
  find_first_file,
  find_next_file,
  open_read_stream,
  open_write_stream,
  create_file_below,
  create_directory_below,
  remove_tree_below,
  count_
};

class fault_platform final : public sys::forwarding_platform {
public:
  explicit fault_platform(sys::platform& base = sys::current_platform())
      : forwarding_platform(base), base_(base) {}

  // Fails the nth next call (1 = the very next) of kind k with platform error
  // `error`; with persistent, that call and every later one of the kind fail.
  // A failed close still frees the real handle.
  void fail(op k, int nth, std::uint32_t error, bool persistent = false);
  void clear_faults();
  // Faults that have fired so far.
  int faults_fired() const { return fired_; }

  // Adds offset to the handles of the next `opens` successful create_file
  // calls (every later one when opens is -1), and takes it off again on the way
  // back, to produce handle values the file layer must refuse.
  void set_handle_offset(std::intptr_t offset, int opens = -1) {
    handle_offset_ = offset;
    shifted_opens_ = opens;
  }

  // A scripted drive, answered instead of the base backend's.
  struct drive {
    sys::drive_type type = sys::drive_type::fixed;
    bool readable = true;
    std::uint32_t sectors_per_cluster = 8;
    std::uint32_t bytes_per_sector = 512;
    std::uint32_t free_clusters = 0;
    std::uint32_t total_clusters = 0;
  };
  void set_drive(char letter, const drive& d) { drives_[letter] = d; }
  // How often the medium of a drive was asked for its free space.
  int free_space_queries(char letter) const;

  // Answers every find_first_file with these entries (in order) instead of the
  // base backend's listing; an empty list means "nothing matches".
  void script_listing(std::vector<sys::find_data> entries);

  // Answers module_file_name with this path (drive form) from now on.
  void set_module_file_name(const std::string& path) { module_path_ = path; }
  // Records win_exec calls instead of starting anything.
  void record_launches() { record_launches_ = true; }
  const std::vector<std::string>& launches() const { return launches_; }

  // Paths as create_file, create_directory and remove_directory received them
  // (for the _below calls, base and relative joined by a backslash).
  const std::vector<std::string>& paths_seen() const { return paths_; }
  // Files opened through create_file and not closed yet.
  int open_files() const { return static_cast<int>(open_.size()); }
  int calls(op k) const { return calls_[static_cast<int>(k)]; }

  sys::native_handle create_file(const char* path, std::uint32_t access, std::uint32_t share,
                                 sys::disposition how, std::uint32_t attributes) override;
  sys::native_handle create_file_below(const char* base, const char* relative, std::uint32_t access,
                                       std::uint32_t share, sys::disposition how,
                                       std::uint32_t attributes) override;
  bool read_file(sys::native_handle handle, void* buffer, std::uint32_t count,
                 std::uint32_t* done) override;
  bool write_file(sys::native_handle handle, const void* buffer, std::uint32_t count,
                  std::uint32_t* done) override;
  std::uint32_t set_file_pointer(sys::native_handle handle, std::uint32_t distance,
                                 sys::move_method method) override;
  bool close_handle(sys::native_handle handle) override;
  bool get_file_information(sys::native_handle handle, sys::file_information* out) override;
  bool set_end_of_file(sys::native_handle handle) override;
  std::uint32_t last_error() override;
  bool create_directory(const char* path) override;
  bool create_directory_below(const char* base, const char* relative) override;
  bool remove_tree_below(const char* base, const char* relative) override;
  bool remove_directory(const char* path) override;
  sys::native_handle find_first_file(const char* pattern, sys::find_data* out) override;
  bool find_next_file(sys::native_handle find, sys::find_data* out) override;
  bool find_close(sys::native_handle find) override;
  sys::drive_type get_drive_type(const char* root) override;
  bool get_disk_free_space(const char* root, std::uint32_t* sectors_per_cluster,
                           std::uint32_t* bytes_per_sector, std::uint32_t* free_clusters,
                           std::uint32_t* total_clusters) override;
  std::FILE* open_read_stream(const char* path) override;
  std::uint32_t module_file_name(char* out, std::uint32_t size) override;
  std::uint32_t win_exec(const char* command_line, std::uint32_t show) override;
  std::FILE* open_write_stream(const char* path) override;

private:
  // Counts the call and says whether it is to fail (then last_error is set).
  bool should_fail(op k);
  sys::native_handle to_base(sys::native_handle h) const;
  // Records a successful open of the base backend and returns the handle shown.
  sys::native_handle track(sys::native_handle h);

  struct fault {
    int countdown = -1; // calls still to pass before the fault fires; -1 none
    std::uint32_t error = 0;
    bool persistent = false;
    bool firing = false;
  };

  sys::platform& base_;
  std::array<fault, static_cast<int>(op::count_)> faults_{};
  std::array<int, static_cast<int>(op::count_)> calls_{};
  int fired_ = 0;
  std::intptr_t handle_offset_ = 0;
  int shifted_opens_ = -1;
  std::map<char, drive> drives_;
  std::map<char, int> free_space_queries_;
  std::vector<std::string> paths_;
  std::map<sys::native_handle, sys::native_handle> open_; // as shown -> base handle
  bool scripted_ = false;
  std::string module_path_;
  bool record_launches_ = false;
  std::vector<std::string> launches_;
  std::vector<sys::find_data> listing_;
  std::size_t listing_next_ = 0;
  bool own_error_ = false;
  std::uint32_t error_ = 0;
};

// A fixed drive of 1 KiB clusters, kb of them free.
inline fault_platform::drive drive_with_free_kb(std::uint32_t kb) {
  fault_platform::drive d;
  d.sectors_per_cluster = 2;
  d.bytes_per_sector = 512;
  d.free_clusters = kb;
  return d;
}

// Installs a backend for a scope and puts the previous one back.
class scoped_platform {
public:
  explicit scoped_platform(sys::platform& p) : previous_(sys::set_platform(&p)) {}
  ~scoped_platform() { sys::set_platform(previous_); }
  scoped_platform(const scoped_platform&) = delete;
  scoped_platform& operator=(const scoped_platform&) = delete;

private:
  sys::platform* previous_;
};

} // namespace velmora_test
