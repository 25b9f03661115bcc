// The directory traversal shared by archive building and ZIP packaging.
#pragma once

#include "archive/engine_call.h"

namespace archive {

// Longest file path a walk forms (directory prefix and entry name).
inline constexpr int max_file_path_chars = 255;

// The length of spec's directory part, up to and including its last
// backslash (0 when it has none): what a file's path shares with its slot.
int directory_prefix_length(const char* spec, int length);

// Called for each file with its path (the directory prefix of its slot and
// the entry name, NUL-terminated) and the scanner's size of it. Returns 0 to go
// on, or a status that ends the walk. It must not start a directory scan.
using file_visitor = int (*)(const char* path, std::uint32_t size, void* context);

// Visits the files matching the call's source spec, slot by slot: the files of
// the source spec's directory in listing order, then (when the recursion flag is set)
// those of each subdirectory in the order the subdirectories were found,
// deeper levels last. Directories whose names begin with '.' are never
// entered. Returns 0, the visitor's status, or limit_status when a file path
// or a subdirectory's spec is too long or the slot table is full.
int walk_tree(engine_call& call, file_visitor visit, void* context, int limit_status);

} // namespace archive
