// Probes of the platform backend in use, shared by the backend suites:
// the build's own backend, an open that closes itself, and a whole listing.
#pragma once

#include "sys/platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora_test {

// The build's own backend, not the one a test may have installed in its place.
inline sys::platform& backend() {
  return sys::native_platform();
}

// An open of create_file on the backend in use, closed when the test
// ends however it ends.
class open_handle {
public:
  open_handle(const std::string& path, std::uint32_t access, std::uint32_t share,
              sys::disposition how, std::uint32_t attributes = 0)
      : value_(sys::current_platform().create_file(path.c_str(), access, share, how, attributes)),
        error_(value_ == sys::invalid_handle_value ? sys::current_platform().last_error() : 0) {}
  ~open_handle() {
    if (ok())
      sys::current_platform().close_handle(value_);
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

// Every entry pattern lists, in order; empty when find_first_file fails.
// The search ends with no_more_files, is closed once, and a second close is
// refused.
inline std::vector<sys::find_data> listing(const std::string& pattern) {
  sys::platform& p = sys::current_platform();
  std::vector<sys::find_data> out;
  sys::find_data data;
  const sys::native_handle h = p.find_first_file(pattern.c_str(), &data);
  if (h == sys::invalid_handle_value)
    return out;
  do
    out.push_back(data);
  while (p.find_next_file(h, &data));
  EXPECT_EQ(p.last_error(), sys::error::no_more_files);
  EXPECT_TRUE(p.find_close(h));
  EXPECT_FALSE(p.find_close(h));
  EXPECT_EQ(p.last_error(), sys::error::invalid_handle);
  return out;
}

} // namespace velmora_test
