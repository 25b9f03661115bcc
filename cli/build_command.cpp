// velmora-pack build: a payload archive, or a whole installer, from a tree.
#include "archive/format.h"
#include "archive/run_archive_command.h"
#include "cli/commands.h"
#include "cli/host.h"
#include "cli/options.h"
#include "cli/progress_bar.h"

#include <charconv>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace cli {

namespace {

constexpr const char* help =
    "Usage: velmora-pack build [-o OUT] [--stub STUB [--stem STEM]] [--jobs N] [--quiet] DIR\n"
    "\n"
    "Builds a payload archive of DIR and all its subdirectories (directories whose\n"
    "names begin with '.' are left out). With --stub, OUT is a whole installer: a copy\n"
    "of STUB (the velmora-setup program), the archive, and a trailer whose first seven\n"
    "bytes, STEM (default QXA0000), name the directory the installer proposes. The\n"
    "installer is written executable, and to a length that is a multiple of 8 (zero\n"
    "bytes behind the stub), so that signing it with Authenticode pads nothing.\n"
    "\n"
    "  -o OUT       the file to write (default: payload.bin, or setup.exe with --stub);\n"
    "               it is written under a temporary name and replaces OUT only when the\n"
    "               build succeeds\n"
    "  --stub STUB  the installer program to put in front of the archive: a path, or\n"
    "               linux, win32 (the release stub) or win64, the stubs installed in\n"
    "               ../share/velmora/stubs/ beside the program or built in its\n"
    "               build tree (the stub of its own build beside it, the others in\n"
    "               build/<name>/bin/; write ./win32 for a file of that name)\n"
    "  --stem STEM  seven characters for the proposed directory name\n"
    "  --jobs N     compress on N threads (default: one per processor), N from 1\n"
    "               to 1024, of which at most 32 are used; the output is the same\n"
    "               for every N (the Windows program compresses on one thread)\n"
    "  --quiet      no progress bar\n"
    "\n"
    "Names are stored in capitals, each as S:\\ followed by its path below DIR, so the\n"
    "same tree gives the same bytes wherever it lies. A file's path may have at most\n"
    "255 characters, its stored name (S:\\ included) at most 250.\n";

// Every name is stored under this drive-form directory, whatever the path of
// DIR: the same tree gives the same archive wherever it lies, and the archive
// does not show where it was built. The installer strips it (strip length 2).
constexpr const char* stored_prefix = "S:\\";

// The largest --jobs taken: beyond every processor count in sight, so a
// larger one is a slip. The engine uses at most max_build_jobs threads.
constexpr unsigned max_jobs_option = 1024;

// The value of --jobs: a whole number from 1 to max_jobs_option, digits only.
bool parse_jobs(const std::string& text, unsigned* jobs) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, *jobs);
  return error == std::errc{} && stop == end && *jobs >= 1 && *jobs <= max_jobs_option;
}

} // namespace

int run_build_command(const arguments& args) {
  parsed_options opts;
  if (const int code = parse_command("build", help, args, build_options, &opts); code >= 0)
    return code;
  if (opts.positional.size() != 1)
    return usage_error("build", "needs exactly one DIR");
  const std::string* stub = opts.value("--stub");
  const std::string stem = opts.value("--stem") ? *opts.value("--stem") : "QXA0000";
  if (opts.value("--stem") && !stub)
    return usage_error("build", "--stem belongs to --stub");
  if (stem.size() != archive::stem_bytes || !archive::is_usable_stem(stem.c_str()))
    return usage_error("build", "--stem must be seven characters usable in a directory name");
  unsigned jobs = archive::default_build_jobs();
  if (const std::string* value = opts.value("--jobs"); value && !parse_jobs(*value, &jobs))
    return usage_error("build", "--jobs takes a whole number from 1 to " +
                                    std::to_string(max_jobs_option) + ", not '" + *value + "'");

  std::string named_stub, lookup_error;
  if (stub && !find_stub(*stub, &named_stub, &lookup_error))
    return work_error(lookup_error);
  if (stub)
    stub = &named_stub;

  const fs::path dir = host_fs_path(opts.positional[0]);
  const fs::path out = host_fs_path(
      opts.value("-o") ? *opts.value("-o") : std::string(stub ? "setup.exe" : "payload.bin"));
  tree_output job;
  if (const int failed = prepare_tree_output(dir, out, &job); failed >= 0)
    return failed;
  job.name_room = archive::max_stored_name - static_cast<int>(std::strlen(stored_prefix));
  std::string stub_path, error;
  if (stub && !drive_path(*stub, &stub_path, &error))
    return work_error(error);
  // The engine finds the stub path's end within the command's first 200
  // characters, behind the three of the command itself.
  if (stub && stub_path.size() > max_engine_spec - 4)
    return work_error(*stub + ": in drive form it has " + std::to_string(stub_path.size()) +
                      " characters; a stub's path may have at most " +
                      std::to_string(max_engine_spec - 4));
  std::error_code ec;

  if (stub && fs::exists(out, ec) && fs::equivalent(host_fs_path(*stub), out, ec))
    return work_error(out.string() + ": the output would replace its own stub " + *stub);

  std::string command = stub ? "PVA" : "PV";
  const bool show = progress_bar::will_draw(!opts.has("--quiet"));
  std::uint64_t total = show ? tree_bytes(dir) : 0;
  if (stub) {
    if (const std::string why = not_a_file(host_fs_path(*stub)); !why.empty())
      return work_error(*stub + ": " + why + " (the stub)");
    total += fs::file_size(host_fs_path(*stub), ec);
    std::string trailer = stem;
    trailer.append(3, '\0');
    command += stub_path;
    command += '\0';
    command += trailer;
  }

  engine_outcome outcome;
  {
    progress_bar bar("building", total, show);
    outcome = run_recorded(job.target, job.spec, command, {progress_bar::on_consumed, &bar},
                           {.jobs = jobs, .stored_prefix = stored_prefix});
  }
  outcome.failure = tree_failure(outcome, job);
  return publish_output(outcome, job.partial, out, "build of " + dir.string(), opts.has("--quiet"),
                        stub != nullptr);
}

} // namespace cli
