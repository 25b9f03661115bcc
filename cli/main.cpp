// velmora-pack: builds installers, payload archives and ZIP files, and
// unpacks, lists and checks them.
#include "cli/commands.h"

#include <cstdio>
#include <cstring>
#include <exception>

namespace {

constexpr const char* version = "velmora-pack 0.1.0";

struct command {
  const char* name;
  const char* summary;
  int (*run)(const cli::arguments&);
};

constexpr command commands[] = {
    {"build", "build a payload archive or an installer from a directory tree",
     cli::run_build_command},
    {"extract", "unpack an installer or a payload archive into a directory",
     cli::run_extract_command},
    {"list", "list what an installer or payload archive holds", cli::run_list_command},
    {"test", "decode and check every record of an installer or payload archive",
     cli::run_test_command},
    {"zip", "pack a directory tree into a standard ZIP file", cli::run_zip_command},
    {"engine", "run one raw engine command", cli::run_engine_command},
};

void print_usage(std::FILE* out) {
  std::fprintf(out, "Usage: velmora-pack COMMAND [OPTION]... [ARGUMENT]...\n\nCommands:\n");
  for (const auto& c : commands)
    std::fprintf(out, "  %-8s %s\n", c.name, c.summary);
  std::fprintf(out, "\nOptions:\n  --help     show this help, or a command's with COMMAND "
                    "--help\n  --version  show the version\n");
}

} // namespace

int main(int argc, char** argv) {
  try {
    if (argc < 2) {
      print_usage(stderr);
      return 2;
    }
    const char* name = argv[1];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0) {
      print_usage(stdout);
      return 0;
    }
    if (std::strcmp(name, "--version") == 0) {
      std::printf("%s\n", version);
      return 0;
    }
    for (const auto& c : commands)
      if (std::strcmp(name, c.name) == 0)
        return c.run(cli::arguments(argv + 2, argv + argc));
    std::fprintf(stderr, "velmora-pack: unknown command '%s'\nTry 'velmora-pack --help'.\n", name);
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmora-pack: %s\n", e.what());
    return 1;
  }
}
