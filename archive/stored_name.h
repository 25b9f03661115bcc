// From a stored name to the path it unpacks to below the target directory.
#pragma once

#include <array>
#include <cstdint>

namespace archive {

// Room for an output path: 255 characters and a NUL.
inline constexpr int output_path_bytes = 256;
// The target directory text is taken up to this many characters.
inline constexpr int max_target_chars = 250;

struct output_path {
  std::array<char, output_path_bytes> text{}; // NUL-terminated
  int length = 0;
  // text[0..directory_ends[k]) names the k-th directory to create, in order.
  std::array<int, output_path_bytes / 2> directory_ends{};
  int directories = 0;
};

// Builds the output path of a stored name: the target text (at most 250
// characters), then the stored name's directory components between index
// strip + 1 and its last backslash (searched from the end down to index 1),
// each followed by one backslash, then the characters behind that backslash.
// Returns 0, or status 'p' when a component or the file name is empty, is
// made of dots and blanks only (".."), or holds a colon, a slash or a control
// character (a leading backslash gives an empty component), or when the path
// would not fit in 255 characters. Nothing is created here.
int make_output_path(const char* target, const std::uint8_t* name, int name_length, int strip,
                     output_path& out);

} // namespace archive
