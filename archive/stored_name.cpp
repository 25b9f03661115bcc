// From a stored name to the path it unpacks to below the target directory.
#include "archive/stored_name.h"

#include "sys/platform.h"

#include <cstring>

namespace archive {

namespace {

// A component that stays inside its directory on every platform.
bool is_safe_component(const std::uint8_t* p, int n) {
  return n > 0 && sys::is_plain_name(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n));
}

bool append(output_path& out, const std::uint8_t* p, int n) {
  if (out.length + n > output_path_bytes - 1)
    return false;
  std::memcpy(out.text.data() + out.length, p, static_cast<std::size_t>(n));
  out.length += n;
  return true;
}

} // namespace

path_refusal make_output_path(const char* target, const std::uint8_t* name, int name_length,
                              int strip, output_path& out) {
  out = output_path{};
  const int target_length = static_cast<int>(strnlen(target, max_target_chars + 1));
  if (target_length > max_target_chars)
    return path_refusal::too_long;
  append(out, reinterpret_cast<const std::uint8_t*>(target), target_length);
  for (int i = target_length - 1; i >= 0; --i)
    if (target[i] == '\\') {
      out.base_length = i + 1;
      break;
    }

  int last = 0; // the last backslash, searched from the end down to index 1
  for (int i = name_length - 1; i >= 1; --i)
    if (name[i] == '\\') {
      last = i;
      break;
    }

  if (last > strip) {
    int start = strip + 1;
    for (int i = start; i <= last; ++i) {
      if (name[i] != '\\')
        continue;
      const int n = i - start;
      if (!is_safe_component(name + start, n))
        return path_refusal::unsafe_name;
      if (!append(out, name + start, n))
        return path_refusal::too_long;
      if (out.directories < static_cast<int>(out.directory_ends.size()))
        out.directory_ends[static_cast<std::size_t>(out.directories++)] = out.length;
      const std::uint8_t backslash = '\\';
      if (!append(out, &backslash, 1))
        return path_refusal::too_long;
      start = i + 1;
    }
  }
  const int file_start = last + 1;
  const int file_length = name_length - file_start;
  if (!is_safe_component(name + file_start, file_length))
    return path_refusal::unsafe_name;
  if (!append(out, name + file_start, file_length))
    return path_refusal::too_long;
  out.text[static_cast<std::size_t>(out.length)] = '\0';
  return path_refusal::none;
}

} // namespace archive
