// velmora-pack's commands. Each takes its arguments (after the command's
// name) and returns the process exit code: 0 success, 1 the work failed,
// 2 usage error. Messages go to standard error, one line each, naming the
// path and the reason.
#pragma once

#include "archive/payload_inspect.h"
#include "archive/run_archive_command.h"
#include "cli/options.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace cli {

using arguments = std::vector<std::string>;

int run_engine_command(const arguments& args);
int run_build_command(const arguments& args);
int run_extract_command(const arguments& args);
int run_list_command(const arguments& args);
int run_test_command(const arguments& args);
int run_zip_command(const arguments& args);

// The options of each command beyond those every command takes
// (common_flags: --help, --quiet, --version).
inline const option_spec build_options{{}, {"-o", "--stub", "--stem", "--jobs"}};
inline const option_spec extract_options{};
inline const option_spec inspect_options{}; // list and test
inline const option_spec zip_options{{}, {"-o"}};
inline const option_spec engine_options{{}, {"--stub", "--trailer"}};

// The stub that build --stub ARG names: ARG is one of the names "linux",
// "win32" and "win64", found in share/velmora/stubs/ beside the program's bin
// directory (velmora-setup, velmora-setup-win32.exe, velmora-setup-win64.exe)
// and then, when the program runs from a build tree, in
// build/<name>/bin/ (velmora-setup, velmora-setup.exe); anything else is a
// path, given back as it is. False, with a message naming where it looked in
// *error, when a name is found nowhere.
bool find_stub(const std::string& arg, std::string* path, std::string* error);

// Shared by the commands.
int usage_error(const std::string& command, const std::string& message);
int work_error(const std::string& message);
void print_help(const char* text);

// Parses a command's arguments by its options spec into *opts. Returns -1
// when the command goes on with them; else the exit code, after the usage
// message for arguments not understood (2) or the help text for --help (0).
int parse_command(const std::string& command, const char* help, const arguments& args,
                  const option_spec& spec, parsed_options* opts);

// The bytes a tree walk of dir reads: its files, outside dot directories.
std::uint64_t tree_bytes(const std::filesystem::path& dir);

// Why path cannot be read as a file: "no such file" or "not a regular file";
// "" when it is one.
std::string not_a_file(const std::filesystem::path& path);

// Why a path named as an error message says it: "is a directory", "not a
// directory", "permission denied", or the system's words.
std::string error_code_words(const std::error_code& ec);

// Whether file lies inside dir (both may be relative, file may not exist).
bool path_inside(const std::filesystem::path& file, const std::filesystem::path& dir);

// What packing the tree DIR into OUT hands the engine: the source spec of DIR
// and all its subdirectories ("...\***"), and the drive path of OUT's
// temporary name (partial), which publish_output moves to OUT.
struct tree_output {
  std::filesystem::path partial;
  std::string spec;
  std::string target;
  // Characters left below DIR for a file's path (255 in all), and for its
  // stored name (250 in all).
  int path_room = 0;
  int name_room = 0;
};

// A source spec (with its "***") has at most this many characters.
inline constexpr std::size_t max_engine_spec = 200;
// A path the engine opens or creates has at most this many.
inline constexpr std::size_t max_engine_path = 255;

// Checks that dir is a directory and out lies outside it, and fills *job.
// Returns -1, or the exit code after the one-line message it printed.
int prepare_tree_output(const std::filesystem::path& dir, const std::filesystem::path& out,
                        tree_output* job);

// One engine call: the status, the engine's report of what failed, and that
// report in words ("" on success).
struct engine_outcome {
  int code = 0;
  std::string failure;
  archive::failure_report report;
};

// The failure of packing a tree, with the room left below DIR where a path
// or a name was too long.
std::string tree_failure(const engine_outcome& outcome, const tree_output& job);
// Runs the engine on paths of the host's own names (options.exact is set),
// with the rest of options (a build's job count and stored prefix, ZIP dates).
engine_outcome run_recorded(const std::string& source, const std::string& spec,
                            const std::string& command, archive::progress_hook hook = {},
                            archive::engine_options options = {});

// What failed, in words: the report's words, else the status's.
std::string failure_text(const engine_outcome& outcome);

// The whole-archive check of `test`: every chunk decoded, every record checked
// (archive::inspect_payload), nothing written. With print, each problem is
// printed as `test` prints it.
struct archive_check {
  int code = 0; // inspect_payload's status: 0 when the walk reached the end
  archive::payload_summary summary;
  int problems = 0;
  // What stops an extraction, for one line: the problem the walk stopped at,
  // else the first stored name extraction refuses ("" for neither).
  std::string fatal;
  // The longest stored name below the strip (characters behind the root's
  // backslash), for the path limits of a target directory.
  std::size_t longest_rest = 0;
  std::string longest_name; // that stored name, in host text
};
archive_check check_archive(const std::string& source, bool print);

// Finishes an output written under a temporary name: after success moves
// partial to out (and reports out's size unless quiet), after failure removes
// partial and reports what (e.g. "build of DIR") failed and why. An
// executable output (an installer) gets a program's permissions before it is
// moved (platform::make_executable). Returns the exit code.
int publish_output(const engine_outcome& outcome, const std::filesystem::path& partial,
                   const std::filesystem::path& out, const std::string& what, bool quiet,
                   bool executable = false);

} // namespace cli
