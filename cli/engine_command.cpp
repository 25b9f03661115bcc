// velmora-pack engine: one raw call of the archive engine.
#include "archive/run_archive_command.h"
#include "cli/commands.h"
#include "cli/host.h"
#include "cli/options.h"

#include <cstdio>
#include <vector>

namespace cli {

namespace {

constexpr const char* help =
    "Usage: velmora-pack engine SOURCE SPEC COMMAND [--stub STUB --trailer TEN]\n"
    "\n"
    "Calls the archive engine once and prints the status as the result block's five\n"
    "characters; the exit code is the status code (0 success).\n"
    "\n"
    "SOURCE, SPEC and STUB are drive-form paths (C:\\DIR\\***, C:\\QXA0000A\\) or native\n"
    "absolute paths, which are turned into drive form (a trailing '/' stays a trailing\n"
    "backslash). With COMMAND PUA or PVA, --stub and --trailer (exactly ten bytes) are\n"
    "required. PB and PC work on ZIPORG.TXT, ZIPIN.TXT and ZIPUT.TXT in the working\n"
    "directory.\n";

} // namespace

int run_engine_command(const arguments& args) {
  parsed_options opts;
  if (const int code = parse_command("engine", help, args, engine_options, &opts); code >= 0)
    return code;
  if (opts.positional.size() != 3)
    return usage_error("engine", "needs SOURCE, SPEC and COMMAND");

  std::string source, spec, error;
  if (!engine_argument(opts.positional[0], &source, &error) ||
      !engine_argument(opts.positional[1], &spec, &error))
    return usage_error("engine", error);

  std::string command = opts.positional[2];
  if (command == "PUA" || command == "PVA") {
    const std::string* stub = opts.value("--stub");
    const std::string* trailer = opts.value("--trailer");
    if (!stub || !trailer)
      return usage_error("engine", command + " needs --stub STUB and --trailer TEN");
    if (trailer->size() != 10)
      return usage_error("engine", "--trailer must be exactly ten bytes");
    std::string stub_path;
    if (!engine_argument(*stub, &stub_path, &error))
      return usage_error("engine", error);
    command += stub_path;
    command += '\0';
    command += *trailer;
  } else if (opts.value("--stub") || opts.value("--trailer")) {
    return usage_error("engine", "--stub and --trailer belong to PUA and PVA");
  }

  std::vector<char> spec_text(spec.begin(), spec.end());
  spec_text.push_back('\0');
  std::uint8_t result[archive::result_block_bytes];
  const int code =
      archive::run_archive_command(source.c_str(), spec_text.data(), command.c_str(), result);
  std::fwrite(result + 3, 1, 5, stdout);
  std::fputc('\n', stdout);
  return code;
}

} // namespace cli
