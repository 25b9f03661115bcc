// A platform backend that hands every call to another backend: the base of
// backends that watch or change a few calls and leave the rest alone.
#pragma once

#include "sys/platform.h"

namespace sys {

class forwarding_platform : public platform {
public:
  explicit forwarding_platform(platform& base) : base_(base) {}

  native_handle create_file(const char* path, std::uint32_t access, std::uint32_t share,
                            disposition how, std::uint32_t attributes) override {
    return base_.create_file(path, access, share, how, attributes);
  }
  native_handle create_file_below(const char* base_dir, const char* relative, std::uint32_t access,
                                  std::uint32_t share, disposition how,
                                  std::uint32_t attributes) override {
    return base_.create_file_below(base_dir, relative, access, share, how, attributes);
  }
  bool read_file(native_handle handle, void* buffer, std::uint32_t count,
                 std::uint32_t* done) override {
    return base_.read_file(handle, buffer, count, done);
  }
  bool write_file(native_handle handle, const void* buffer, std::uint32_t count,
                  std::uint32_t* done) override {
    return base_.write_file(handle, buffer, count, done);
  }
  std::uint32_t set_file_pointer(native_handle handle, std::uint32_t distance,
                                 move_method method) override {
    return base_.set_file_pointer(handle, distance, method);
  }
  bool close_handle(native_handle handle) override { return base_.close_handle(handle); }
  bool get_file_information(native_handle handle, file_information* out) override {
    return base_.get_file_information(handle, out);
  }
  bool set_end_of_file(native_handle handle) override { return base_.set_end_of_file(handle); }
  std::uint32_t last_error() override { return base_.last_error(); }
  bool create_directory(const char* path) override { return base_.create_directory(path); }
  bool create_directory_below(const char* base_dir, const char* relative) override {
    return base_.create_directory_below(base_dir, relative);
  }
  bool remove_tree_below(const char* base_dir, const char* relative) override {
    return base_.remove_tree_below(base_dir, relative);
  }
  bool remove_directory(const char* path) override { return base_.remove_directory(path); }
  native_handle find_first_file(const char* pattern, find_data* out) override {
    return base_.find_first_file(pattern, out);
  }
  bool find_next_file(native_handle find, find_data* out) override {
    return base_.find_next_file(find, out);
  }
  bool find_close(native_handle find) override { return base_.find_close(find); }
  std::uint32_t char_upper(char* text, std::uint32_t length) override {
    return base_.char_upper(text, length);
  }
  drive_type get_drive_type(const char* root) override { return base_.get_drive_type(root); }
  bool get_disk_free_space(const char* root, std::uint32_t* sectors_per_cluster,
                           std::uint32_t* bytes_per_sector, std::uint32_t* free_clusters,
                           std::uint32_t* total_clusters) override {
    return base_.get_disk_free_space(root, sectors_per_cluster, bytes_per_sector, free_clusters,
                                     total_clusters);
  }
  std::uint32_t module_file_name(char* out, std::uint32_t size) override {
    return base_.module_file_name(out, size);
  }
  std::uint32_t win_exec(const char* command_line, std::uint32_t show) override {
    return base_.win_exec(command_line, show);
  }
  std::uint32_t profile_string(const char* section, const char* key, const char* fallback,
                               char* out, std::uint32_t size) override {
    return base_.profile_string(section, key, fallback, out, size);
  }
  bool file_time_to_local_dos(std::uint64_t file_time, std::uint16_t* dos_date,
                              std::uint16_t* dos_time) override {
    return base_.file_time_to_local_dos(file_time, dos_date, dos_time);
  }
  std::FILE* open_read_stream(const char* path) override { return base_.open_read_stream(path); }
  std::FILE* open_write_stream(const char* path) override { return base_.open_write_stream(path); }
  bool host_to_drive_path(const char* host_path, char* out, std::uint32_t size) override {
    return base_.host_to_drive_path(host_path, out, size);
  }
  bool drive_to_host_path(const char* drive_path, char* out, std::uint32_t size) override {
    return base_.drive_to_host_path(drive_path, out, size);
  }
  bool host_text_to_system(const char* text, char* out, std::uint32_t size) override {
    return base_.host_text_to_system(text, out, size);
  }
  bool system_text_to_host(const char* text, char* out, std::uint32_t size) override {
    return base_.system_text_to_host(text, out, size);
  }
  bool is_terminal(int stream) override { return base_.is_terminal(stream); }
  bool make_executable(const char* host_path) override { return base_.make_executable(host_path); }

protected:
  platform& base() { return base_; }

private:
  platform& base_;
};

} // namespace sys
