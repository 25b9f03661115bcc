// Between the host's paths and texts and the engine's drive-form
// Windows-1252 ones, and the engine's failure reports in words.
#pragma once

#include "archive/run_archive_command.h"
#include "sys/platform.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace cli {

// A host path (UTF-8, as the arguments are on every host) as std::filesystem
// takes it. From a plain string, std::filesystem on Windows would read the
// bytes in the runtime's locale instead.
std::filesystem::path host_fs_path(const std::string& host);
// The other way: a path as host text (UTF-8), for messages and the engine.
std::string host_path_text(const std::filesystem::path& path);

// A host path (relative or absolute) in drive form. A trailing separator
// keeps a trailing backslash. False, with a message in *error, when no drive
// holds it or it is too long.
bool drive_path(const std::string& host, std::string* out, std::string* error);

// A command-line argument as the engine takes it: a native absolute path
// (starting with '/') is turned into drive form; anything else, such as
// C:\DIR\***, only changes encoding.
bool engine_argument(const std::string& arg, std::string* out, std::string* error);

// System text (Windows-1252) for people to read.
std::string host_text(const char* system_text);

// A Win32 error number in words ("access denied").
std::string error_words(std::uint32_t error);

// What an engine call's failure report says, for people: the path in host
// form where it can be had, and the reason in words; "" for an empty report.
std::string describe_failure(const archive::failure_report& report);

} // namespace cli
