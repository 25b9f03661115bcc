// A wrapping test backend: forwards to another backend and injects faults.
#include "tests/support/fault_platform.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace velmora_test {

void fault_platform::fail(op k, int nth, std::uint32_t error, bool persistent) {
  auto& f = faults_[static_cast<int>(k)];
  f.countdown = nth - 1;
  f.error = error;
  f.persistent = persistent;
  f.firing = false;
}

void fault_platform::clear_faults() {
  for (auto& f : faults_)
    f = fault{};
}

int fault_platform::free_space_queries(char letter) const {
  auto it = free_space_queries_.find(static_cast<char>(std::toupper(letter)));
  return it == free_space_queries_.end() ? 0 : it->second;
}

bool fault_platform::should_fail(op k) {
  ++calls_[static_cast<int>(k)];
  own_error_ = false;
  auto& f = faults_[static_cast<int>(k)];
  if (!f.firing) {
    if (f.countdown < 0)
      return false;
    if (f.countdown > 0) {
      --f.countdown;
      return false;
    }
    f.countdown = -1;
    f.firing = f.persistent;
  }
  ++fired_;
  own_error_ = true;
  error_ = f.error;
  return true;
}

sys::native_handle fault_platform::to_base(sys::native_handle h) const {
  auto it = open_.find(h);
  return it == open_.end() ? h : it->second;
}

sys::native_handle fault_platform::create_file(const char* path, std::uint32_t access,
                                               std::uint32_t share, sys::disposition how,
                                               std::uint32_t attributes) {
  paths_.emplace_back(path);
  if (should_fail(op::create_file))
    return sys::invalid_handle_value;
  return track(base_.create_file(path, access, share, how, attributes));
}

namespace {

std::string joined(const char* base, const char* relative) {
  std::string path(base);
  if (!path.empty() && path.back() != '\\')
    path += '\\';
  return path + relative;
}

} // namespace

sys::native_handle fault_platform::create_file_below(const char* base, const char* relative,
                                                     std::uint32_t access, std::uint32_t share,
                                                     sys::disposition how,
                                                     std::uint32_t attributes) {
  paths_.push_back(joined(base, relative));
  if (should_fail(op::create_file_below))
    return sys::invalid_handle_value;
  return track(base_.create_file_below(base, relative, access, share, how, attributes));
}

bool fault_platform::create_directory_below(const char* base, const char* relative) {
  paths_.push_back(joined(base, relative));
  if (should_fail(op::create_directory_below))
    return false;
  return base_.create_directory_below(base, relative);
}

bool fault_platform::remove_tree_below(const char* base, const char* relative) {
  paths_.push_back(joined(base, relative));
  if (should_fail(op::remove_tree_below))
    return false;
  return base_.remove_tree_below(base, relative);
}

sys::native_handle fault_platform::track(sys::native_handle h) {
  if (h == sys::invalid_handle_value)
    return h;
  sys::native_handle shown = h;
  if (shifted_opens_ != 0) {
    shown = h + handle_offset_;
    if (shifted_opens_ > 0)
      --shifted_opens_;
  }
  open_[shown] = h;
  return shown;
}

bool fault_platform::read_file(sys::native_handle handle, void* buffer, std::uint32_t count,
                               std::uint32_t* done) {
  if (should_fail(op::read_file)) {
    *done = 0;
    return false;
  }
  return base_.read_file(to_base(handle), buffer, count, done);
}

bool fault_platform::write_file(sys::native_handle handle, const void* buffer, std::uint32_t count,
                                std::uint32_t* done) {
  if (should_fail(op::write_file)) {
    *done = 0;
    return false;
  }
  return base_.write_file(to_base(handle), buffer, count, done);
}

std::uint32_t fault_platform::set_file_pointer(sys::native_handle handle, std::uint32_t distance,
                                               sys::move_method method) {
  if (should_fail(op::set_file_pointer))
    return sys::invalid_set_file_pointer;
  return base_.set_file_pointer(to_base(handle), distance, method);
}

bool fault_platform::close_handle(sys::native_handle handle) {
  const bool failing = should_fail(op::close_handle);
  // An injected close failure still frees the real handle.
  const bool ok = base_.close_handle(to_base(handle));
  open_.erase(handle);
  return ok && !failing;
}

bool fault_platform::get_file_information(sys::native_handle handle, sys::file_information* out) {
  if (should_fail(op::get_file_information))
    return false;
  return base_.get_file_information(to_base(handle), out);
}

bool fault_platform::set_end_of_file(sys::native_handle handle) {
  if (should_fail(op::set_end_of_file))
    return false;
  return base_.set_end_of_file(to_base(handle));
}

std::uint32_t fault_platform::last_error() {
  return own_error_ ? error_ : base_.last_error();
}

bool fault_platform::create_directory(const char* path) {
  paths_.emplace_back(path);
  if (should_fail(op::create_directory))
    return false;
  return base_.create_directory(path);
}

bool fault_platform::remove_directory(const char* path) {
  paths_.emplace_back(path);
  if (should_fail(op::remove_directory))
    return false;
  return base_.remove_directory(path);
}

// The handle of a scripted listing; the base backend never sees it.
constexpr sys::native_handle scripted_find = 0x5C5C5C;

void fault_platform::script_listing(std::vector<sys::find_data> entries) {
  scripted_ = true;
  listing_ = std::move(entries);
  listing_next_ = 0;
}

sys::native_handle fault_platform::find_first_file(const char* pattern, sys::find_data* out) {
  paths_.emplace_back(pattern);
  if (should_fail(op::find_first_file))
    return sys::invalid_handle_value;
  if (!scripted_)
    return base_.find_first_file(pattern, out);
  listing_next_ = 0;
  if (listing_.empty()) {
    own_error_ = true;
    error_ = sys::error::file_not_found;
    return sys::invalid_handle_value;
  }
  *out = listing_[listing_next_++];
  return scripted_find;
}

bool fault_platform::find_next_file(sys::native_handle find, sys::find_data* out) {
  if (should_fail(op::find_next_file))
    return false;
  if (find != scripted_find)
    return base_.find_next_file(find, out);
  if (listing_next_ >= listing_.size()) {
    own_error_ = true;
    error_ = sys::error::no_more_files;
    return false;
  }
  *out = listing_[listing_next_++];
  return true;
}

bool fault_platform::find_close(sys::native_handle find) {
  own_error_ = false;
  return find == scripted_find || base_.find_close(find);
}

sys::drive_type fault_platform::get_drive_type(const char* root) {
  own_error_ = false;
  auto it = drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(root[0]))));
  return it == drives_.end() ? base_.get_drive_type(root) : it->second.type;
}

bool fault_platform::get_disk_free_space(const char* root, std::uint32_t* sectors_per_cluster,
                                         std::uint32_t* bytes_per_sector,
                                         std::uint32_t* free_clusters,
                                         std::uint32_t* total_clusters) {
  own_error_ = false;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(root[0])));
  ++free_space_queries_[letter];
  auto it = drives_.find(letter);
  if (it == drives_.end())
    return base_.get_disk_free_space(root, sectors_per_cluster, bytes_per_sector, free_clusters,
                                     total_clusters);
  if (!it->second.readable || it->second.type == sys::drive_type::no_root_dir) {
    own_error_ = true;
    error_ = sys::error::path_not_found;
    return false;
  }
  *sectors_per_cluster = it->second.sectors_per_cluster;
  *bytes_per_sector = it->second.bytes_per_sector;
  *free_clusters = it->second.free_clusters;
  *total_clusters = it->second.total_clusters;
  return true;
}

std::FILE* fault_platform::open_read_stream(const char* path) {
  paths_.emplace_back(path);
  if (should_fail(op::open_read_stream))
    return nullptr;
  return base_.open_read_stream(path);
}

} // namespace velmora_test

namespace velmora_test {

std::FILE* fault_platform::open_write_stream(const char* path) {
  paths_.emplace_back(path);
  if (should_fail(op::open_write_stream))
    return nullptr;
  return base_.open_write_stream(path);
}

} // namespace velmora_test

namespace velmora_test {

std::uint32_t fault_platform::module_file_name(char* out, std::uint32_t size) {
  if (module_path_.empty())
    return base_.module_file_name(out, size);
  if (size == 0)
    return 0;
  const std::size_t n = std::min<std::size_t>(module_path_.size(), size - 1);
  std::memcpy(out, module_path_.data(), n);
  out[n] = '\0';
  return static_cast<std::uint32_t>(n);
}

std::uint32_t fault_platform::win_exec(const char* command_line, std::uint32_t show) {
  if (!record_launches_)
    return base_.win_exec(command_line, show);
  launches_.emplace_back(command_line);
  return 33;
}

} // namespace velmora_test
