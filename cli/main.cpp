// velmora-pack: builds installers, payload archives and ZIP files, and
// unpacks, lists and checks them.
#include "cli/commands.h"
#include "cli/host.h"
#include "cli/options.h"

#include <cstdio>
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
  const cli::option_spec& options;
};

const command commands[] = {
    {"build", "build a payload archive or an installer from a directory tree",
     cli::run_build_command, cli::build_options},
    {"extract", "unpack an installer or a payload archive into a directory",
     cli::run_extract_command, cli::extract_options},
    {"list", "list what an installer or payload archive holds", cli::run_list_command,
     cli::inspect_options},
    {"test", "decode and check every record of an installer or payload archive",
     cli::run_test_command, cli::inspect_options},
    {"zip", "pack a directory tree into a standard ZIP file", cli::run_zip_command,
     cli::zip_options},
    {"engine", "run one raw engine command", cli::run_engine_command, cli::engine_options},
    {"help", "show this help, or a command's (help COMMAND)", nullptr, cli::inspect_options},
};

void print_usage(std::FILE* out) {
  std::fprintf(out, "Usage: velmora-pack COMMAND [OPTION]... [ARGUMENT]...\n\nCommands:\n");
  for (const auto& c : commands)
    std::fprintf(out, "  %-8s %s\n", c.name, c.summary);
  std::fprintf(out, "\nOptions of every command, before or after its arguments:\n"
                    "  -h, --help   show the command's help\n"
                    "  -q, --quiet  no progress bar\n"
                    "  --version    show the version\n"
                    "  --           end of the options: every later argument is an argument\n"
                    "\nExit codes: 0 success, 1 the work failed, 2 usage error.\n");
}

const command* find_command(const std::string& name) {
  for (const auto& c : commands)
    if (name == c.name)
      return &c;
  return nullptr;
}

int unknown_command(const std::string& name) {
  std::fprintf(stderr, "velmora-pack: unknown command '%s'\nTry 'velmora-pack --help'.\n",
               name.c_str());
  return 2;
}

// The help of the command named, or the program's: what --help prints.
int show_help(const std::string& name) {
  if (name.empty() || name == "help") {
    print_usage(stdout);
    return 0;
  }
  const command* c = find_command(name);
  return c ? c->run({"--help"}) : unknown_command(name);
}

// The command line in the host's text, UTF-8: the program's name first.
int run(const std::vector<std::string>& argv) {
  try {
    if (argv.size() < 2) {
      print_usage(stderr);
      return 2;
    }
    const std::string& name = argv[1];
    const cli::arguments args(argv.begin() + 2, argv.end());
    if (name == "--help" || name == "-h")
      return show_help("");
    if (name == "--version") {
      std::printf("%s\n", version);
      return 0;
    }
    const command* c = find_command(name);
    if (!c)
      return unknown_command(name);
    // --help and --version may stand anywhere among a command's options.
    const std::string asked = cli::help_or_version(args, c->options.with_value);
    if (asked == "--version") {
      std::printf("%s\n", version);
      return 0;
    }
    if (c->run == nullptr) { // help [COMMAND]
      const auto opts = cli::parse_options(args, c->options);
      if (!opts.error.empty() || opts.positional.size() > 1)
        return cli::usage_error("help",
                                opts.error.empty() ? "takes at most one COMMAND" : opts.error);
      return show_help(opts.positional.empty() ? "" : opts.positional[0]);
    }
    if (asked == "--help")
      return show_help(name);
    return c->run(args);
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
      args.push_back(cli::host_path_text(std::filesystem::path(argv[i])));
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
