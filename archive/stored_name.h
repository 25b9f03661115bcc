// From a stored name to the path it unpacks to below the target directory.
#pragma once

#include <array>
#include <cstdint>

namespace archive {

// Room for an output path: 255 characters and a NUL.
inline constexpr int output_path_bytes = 256;
// The longest target directory text taken; a longer one is refused.
inline constexpr int max_target_chars = 250;

struct output_path {
  std::array<char, output_path_bytes> text{}; // NUL-terminated, drive form
  int length = 0;
  // text[0..base_length) is the directory the output lies below: the target
  // text up to and including its last backslash (0 when it has none). The
  // rest, from text[base_length], is the part below it, whose components are
  // never followed if they are links.
  int base_length = 0;
  // text[0..directory_ends[k]) names the k-th directory to create, in order.
  std::array<int, output_path_bytes / 2> directory_ends{};
  int directories = 0;
};

// Why make_output_path refused a stored name.
enum class path_refusal {
  none,
  unsafe_name, // a component or the file name could leave the target directory
  too_long,    // the target exceeds 250 characters, or the path 255
};

// Builds the output path of a stored name: the target text (at most 250
// characters, taken as given), then the stored name's directory components
// between index strip + 1 and its last backslash (searched from the end down
// to index 1), each followed by one backslash, then the characters behind
// that backslash. Refuses with unsafe_name when a component or the file name
// is empty, is made of dots and blanks only (".."), or holds a colon, a slash
// or a control character (a leading backslash gives an empty component), and
// with too_long when the target exceeds 250 characters or the path would not
// fit in 255. out is complete only when none is returned. Nothing is created
// here.
path_refusal make_output_path(const char* target, const std::uint8_t* name, int name_length,
                              int strip, output_path& out);

} // namespace archive
