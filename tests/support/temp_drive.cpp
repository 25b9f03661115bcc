// Test fixture support: environment overrides and temporary mapped drives.
#include "tests/support/temp_drive.h"

#include "sys/platform.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace velmora_test {

namespace {

void set_env(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value ? value : "");
#else
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
#endif
}

std::filesystem::path make_temp_root() {
  std::random_device rd;
  std::mt19937_64 rng(rd());
  for (;;) {
    std::ostringstream name;
    name << "velmora-test-" << std::hex << rng();
    auto p = std::filesystem::temp_directory_path() / name.str();
    if (std::filesystem::create_directory(p))
      return p;
  }
}

} // namespace

std::filesystem::path utf8_path(const std::string& utf8) {
  const std::u8string text(utf8.begin(), utf8.end());
  return std::filesystem::path(text).make_preferred();
}

std::string platform_short_name(const std::string& drive_path) {
  sys::find_data found;
  sys::platform& p = sys::current_platform();
  const sys::native_handle find = p.find_first_file(drive_path.c_str(), &found);
  if (find == sys::invalid_handle_value)
    return {};
  p.find_close(find);
  return static_cast<unsigned char>(found.short_name[0]) >= 33 ? found.short_name : "";
}

scoped_env::scoped_env(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) {
    had_value_ = true;
    old_value_ = old;
  }
  set_env(name, value);
}

scoped_env::~scoped_env() {
  set_env(name_.c_str(), had_value_ ? old_value_.c_str() : nullptr);
}

temp_drive::temp_drive() : root_(make_temp_root()) {
  std::filesystem::create_directory(c());
  std::filesystem::create_directory(d());
  drives_ = map_test_drives(c(), d());
}

temp_drive::~temp_drive() {
  drives_.reset();
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

std::filesystem::path temp_drive::write(const std::string& relative_to_c,
                                        const std::string& bytes) const {
  auto p = c() / utf8_path(relative_to_c);
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out << bytes;
  return p;
}

std::string temp_drive::read(const std::filesystem::path& native) {
  std::ifstream in(native, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace velmora_test
