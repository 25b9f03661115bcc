// What velmora-pack's commands share: messages and help.
#include "cli/commands.h"

#include <cstdio>

namespace cli {

int usage_error(const std::string& command, const std::string& message) {
  std::fprintf(stderr, "velmora-pack %s: %s\nTry 'velmora-pack %s --help'.\n", command.c_str(),
               message.c_str(), command.c_str());
  return 2;
}

int work_error(const std::string& message) {
  std::fprintf(stderr, "velmora-pack: %s\n", message.c_str());
  return 1;
}

void print_help(const char* text) { std::fputs(text, stdout); }

} // namespace cli
