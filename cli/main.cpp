// velmora-pack: builds installers, payload archives and ZIP files, and
// unpacks, lists and checks them.
#include "cli/commands.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

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

// The command line in the host's text, UTF-8: the program's name first.
int run(const std::vector<std::string>& argv) {
  try {
    const std::size_t argc = argv.size();
    if (argc < 2) {
      print_usage(stderr);
      return 2;
    }
    const char* name = argv[1].c_str();
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
        return c.run(cli::arguments(argv.begin() + 2, argv.end()));
    std::fprintf(stderr, "velmora-pack: unknown command '%s'\nTry 'velmora-pack --help'.\n", name);
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmora-pack: %s\n", e.what());
    return 1;
  }
}

} // namespace

#ifdef _WIN32
// Windows hands the arguments over as UTF-16 here (linked with -municode):
// the narrow ones would be in the ANSI code page, with '?' for every letter it
// lacks. They go on as UTF-8, the host text of the platform layer.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  try {
    for (int i = 0; i < argc; ++i) {
      const std::u8string text = std::filesystem::path(argv[i]).u8string();
      args.emplace_back(text.begin(), text.end());
    }
  } catch (const std::exception&) {
    std::fprintf(stderr, "velmora-pack: an argument is not valid UTF-16\n");
    return 2;
  }
  return run(args);
}
#else
int main(int argc, char** argv) {
  return run(std::vector<std::string>(argv, argv + argc));
}
#endif
