// velmora-pack extract: unpacks an installer or a payload archive.
#include "archive/run_archive_command.h"
#include "archive/status_text.h"
#include "cli/commands.h"
#include "cli/host.h"
#include "cli/options.h"
#include "cli/progress_bar.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace cli {

namespace {

constexpr const char* help =
    "Usage: velmora-pack extract [--quiet] INSTALLER DIR\n"
    "\n"
    "Unpacks the payload archive of INSTALLER (an installer or a bare payload\n"
    "archive) into DIR, creating DIR and the directories it needs. Files of the same\n"
    "name are replaced. Stored names that would leave DIR are refused, and so is a\n"
    "symbolic link met below DIR, and a file there with other hard links.\n"
    "\n"
    "  --quiet  no progress bar\n";

} // namespace

int run_extract_command(const arguments& args) {
  const auto opts = parse_options(args, {{"--help", "--quiet"}, {}});
  if (!opts.error.empty())
    return usage_error("extract", opts.error);
  if (opts.has("--help")) {
    print_help(help);
    return 0;
  }
  if (opts.positional.size() != 2)
    return usage_error("extract", "needs INSTALLER and DIR");
  const fs::path installer = host_fs_path(opts.positional[0]);
  std::error_code ec;
  if (const std::string why = not_a_file(installer); !why.empty())
    return work_error(installer.string() + ": " + why);

  std::string source, target, error;
  if (!drive_path(installer.string(), &source, &error) ||
      !drive_path((host_fs_path(opts.positional[1]) / "").string(), &target, &error))
    return work_error(error);

  engine_outcome outcome;
  {
    progress_bar bar("extracting", fs::file_size(installer, ec), !opts.has("--quiet"));
    outcome = run_recorded(source, target, "PJ", {progress_bar::on_consumed, &bar});
  }
  if (outcome.code != archive::status::success)
    return work_error("extraction of " + installer.string() + " failed: " + failure_text(outcome));
  return 0;
}

} // namespace cli
