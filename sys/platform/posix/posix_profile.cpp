// The user's profile: a UTF-8 INI file read afresh at each lookup.
#include "sys/cp1252.h"
#include "sys/platform/posix/posix_path.h"
#include "sys/platform/posix/posix_platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace sys::posix {

namespace {

constexpr const char* profile_variable = "VELMORA_PROFILE";
constexpr const char* profile_below_config = "/velmora/win.ini";
// More than any profile holds; a larger file is read only this far.
constexpr std::size_t max_profile_bytes = std::size_t{1} << 20;
constexpr std::size_t read_chunk_bytes = 4096;
constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";

// The profile's native path: $VELMORA_PROFILE, else
// ${XDG_CONFIG_HOME:-$HOME/.config}/velmora/win.ini; "" when there is none.
std::string profile_path() {
  if (const char* named = std::getenv(profile_variable); named && *named)
    return named;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
    return std::string(config) + profile_below_config;
  if (const char* home = std::getenv("HOME"); home && *home)
    return std::string(home) + "/.config" + profile_below_config;
  return {};
}

// The file's bytes, or nothing when it cannot be read.
std::optional<std::string> read_profile(const std::string& path) {
  if (path.empty())
    return std::nullopt;
  int raw = -1;
  do {
    raw = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (raw < 0 && errno == EINTR);
  unique_fd fd(raw);
  struct stat st {};
  if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
    return std::nullopt;
  std::string text;
  char chunk[read_chunk_bytes];
  while (text.size() < max_profile_bytes) {
    const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    text.append(chunk, static_cast<std::size_t>(n));
  }
  return text;
}

std::string_view trim_blanks(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos)
    return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// name (UTF-8, from the file) equals wanted (Windows-1252) ignoring case.
bool same_name(std::string_view name, std::string_view wanted) {
  return upper_cp1252(utf8_to_cp1252(trim_blanks(name))) == upper_cp1252(trim_blanks(wanted));
}

// The value of key in the first section named section, if it has one.
std::optional<std::string_view> find_value(std::string_view text, std::string_view section,
                                           std::string_view key) {
  if (text.starts_with(utf8_bom))
    text.remove_prefix(utf8_bom.size());
  bool in_section = false;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    line = trim_blanks(line);
    if (line.empty() || line.front() == ';' || line.front() == '#')
      continue;
    if (line.front() == '[') {
      if (in_section)
        return std::nullopt; // only the first section of that name counts
      const auto close = line.find(']');
      in_section = close != std::string_view::npos && same_name(line.substr(1, close - 1), section);
      continue;
    }
    const auto equals = line.find('=');
    if (!in_section || equals == std::string_view::npos || !same_name(line.substr(0, equals), key))
      continue;
    std::string_view value = trim_blanks(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    return value;
  }
  return std::nullopt;
}

} // namespace

std::uint32_t platform::profile_string(const char* section, const char* key, const char* fallback,
                                       char* out, std::uint32_t size) {
  return guarded(std::uint32_t{0}, [&]() -> std::uint32_t {
    if (!out || size == 0)
      return 0;
    out[0] = '\0';
    std::string value = fallback ? fallback : "";
    if (section && key) {
      if (const auto text = read_profile(profile_path())) {
        if (const auto found = find_value(*text, section, key))
          value = utf8_to_cp1252(*found);
      }
    }
    const std::size_t length = std::min<std::size_t>(value.size(), size - 1);
    value.copy(out, length);
    out[length] = '\0';
    return static_cast<std::uint32_t>(length);
  });
}

} // namespace sys::posix
