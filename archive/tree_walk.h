// The directory traversal shared by archive building and ZIP packaging.
#pragma once

#include "archive/engine_call.h"

namespace archive {

// Longest file path a walk forms (directory prefix and entry name), and
// longest directory spec it lists: what the platform takes as a path.
inline constexpr int max_file_path_chars = 255;

// The length of spec's directory part, up to and including its last
// backslash (0 when it has none): what a file's path shares with its slot.
int directory_prefix_length(const char* spec, int length);

// Called for each file with its path (the directory prefix of its slot and
// the entry name, NUL-terminated) and the scanner's size of it. Returns 0 to go
// on, or a status that ends the walk. It must not start a directory scan.
using file_visitor = int (*)(const char* path, std::uint32_t size, void* context);

// Visits the files matching the call's source spec, slot by slot: the files of
// the source spec's directory in listing order, then (when the recursion flag
// is set) those of each subdirectory in the order the subdirectories were
// found, deeper levels last. Directories whose names begin with '.' are never
// entered. Every other entry is visited or ends the walk: returns 0, the
// visitor's status, or failure_status (with the call's failure report filled)
// when a directory cannot be listed, an entry cannot be used (a link that
// leads nowhere or round in a circle), two entries of a directory have one
// name as Windows compares names, a path or a subdirectory's spec is longer
// than 255 characters, or the tree has more directories than the slot table
// holds.
int walk_tree(engine_call& call, file_visitor visit, void* context, int failure_status);

} // namespace archive
