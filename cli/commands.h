// velmora-pack's commands. Each takes its arguments (after the command's
// name) and returns the process exit code: 0 success, 1 the work failed,
// 2 usage error. Messages go to standard error, one line each, naming the
// path and the reason.
#pragma once

#include <string>
#include <vector>

namespace cli {

using arguments = std::vector<std::string>;

int run_engine_command(const arguments& args);
int run_build_command(const arguments& args);
int run_extract_command(const arguments& args);
int run_list_command(const arguments& args);
int run_test_command(const arguments& args);

// Shared by the commands.
int usage_error(const std::string& command, const std::string& message);
int work_error(const std::string& message);
void print_help(const char* text);

} // namespace cli
