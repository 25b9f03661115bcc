// What velmora-pack's commands share: messages and help.
#include "cli/commands.h"

#include "cli/host.h"
#include "cli/status_text.h"
#include "sys/cp1252.h"

#include <cstdio>
#include <system_error>

namespace fs = std::filesystem;

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

void print_help(const char* text) {
  std::fputs(text, stdout);
}

int parse_command(const std::string& command, const char* help, const arguments& args,
                  const option_spec& spec, parsed_options* opts) {
  *opts = parse_options(args, spec);
  if (!opts->error.empty())
    return usage_error(command, opts->error);
  if (opts->has("--help")) {
    print_help(help);
    return 0;
  }
  return -1;
}

std::uint64_t tree_bytes(const fs::path& dir) {
  std::uint64_t total = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (it->is_directory(ec) && it->path().filename().string().rfind('.', 0) == 0) {
      it.disable_recursion_pending();
      continue;
    }
    if (it->is_regular_file(ec))
      total += it->file_size(ec);
  }
  return total;
}

std::string not_a_file(const fs::path& path) {
  std::error_code ec;
  if (fs::is_regular_file(path, ec))
    return "";
  if (fs::is_directory(path, ec))
    return "is a directory";
  return fs::exists(path, ec) ? "not a regular file" : "no such file";
}

std::string error_code_words(const std::error_code& ec) {
  if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted)
    return "permission denied";
  if (ec == std::errc::not_a_directory)
    return "not a directory";
  if (ec == std::errc::is_a_directory)
    return "is a directory";
  if (ec == std::errc::no_such_file_or_directory)
    return "no such file or directory";
  if (ec == std::errc::file_exists)
    return "already exists";
  if (ec == std::errc::directory_not_empty)
    return "a directory that is not empty";
  if (ec == std::errc::no_space_on_device)
    return "disk full";
  return ec.message();
}

bool path_inside(const fs::path& file, const fs::path& dir) {
  const fs::path f = fs::weakly_canonical(file);
  const fs::path d = fs::weakly_canonical(dir);
  auto fi = f.begin();
  for (auto di = d.begin(); di != d.end(); ++di, ++fi)
    if (fi == f.end() || *fi != *di)
      return false;
  return true;
}

namespace {

std::string upper_system_text(std::string text) {
  for (char& c : text)
    c = static_cast<char>(sys::cp1252_upper(static_cast<unsigned char>(c)));
  return text;
}

} // namespace

int prepare_tree_output(const fs::path& dir, const fs::path& out, tree_output* job) {
  std::error_code ec;
  if (!fs::exists(dir, ec))
    return work_error(dir.string() + ": no such directory");
  if (!fs::is_directory(dir, ec))
    return work_error(dir.string() + ": not a directory");
  if (fs::is_directory(out, ec))
    return work_error(out.string() + ": is a directory; -o names the file to write");
  // The finished output is renamed over OUT: a device or a pipe there (such
  // as /dev/null) would be replaced by a regular file, not written to.
  const fs::file_status out_status = fs::symlink_status(out, ec);
  if (fs::exists(out_status) && !fs::is_regular_file(out_status) && !fs::is_symlink(out_status))
    return work_error(out.string() + ": not a regular file; -o names the file to write");
  const std::string inside = out.string() + ": the output must not lie inside " + dir.string();
  if (path_inside(out, dir))
    return work_error(inside);
  job->partial = out;
  job->partial += ".partial";
  std::string error;
  if (!drive_path((dir / "").string(), &job->spec, &error) ||
      !drive_path(job->partial.string(), &job->target, &error))
    return work_error(error);
  // The engine matches names without regard to case: so does this check.
  if (upper_system_text(job->target).starts_with(upper_system_text(job->spec)))
    return work_error(inside);
  job->spec += "***";
  // A stale temporary file, or a link planted under its name, is removed, not
  // written through.
  fs::remove(job->partial, ec);
  if (job->spec.size() > max_engine_spec)
    return work_error(dir.string() + ": in drive form (" + host_text(job->spec.c_str()) +
                      ") it has " + std::to_string(job->spec.size() - 3) +
                      " characters; a directory to pack may have at most " +
                      std::to_string(max_engine_spec - 3));
  if (job->target.size() > max_engine_path)
    return work_error(job->partial.string() + ": in drive form it has " +
                      std::to_string(job->target.size()) + " characters; at most " +
                      std::to_string(max_engine_path));
  const int prefix = static_cast<int>(job->spec.size()) - 3; // up to DIR's last backslash
  job->path_room = static_cast<int>(max_engine_path) - prefix;
  job->name_room = 250 - prefix;
  return -1;
}

std::string tree_failure(const engine_outcome& outcome, const tree_output& job) {
  if (outcome.report.reason == archive::failure_reason::path_too_long)
    return outcome.failure + "; paths below the directory have room for " +
           std::to_string(job.path_room) + " characters";
  if (outcome.report.reason == archive::failure_reason::name_too_long)
    return outcome.failure + "; names below the directory have room for " +
           std::to_string(job.name_room) + " characters";
  return outcome.failure;
}

engine_outcome run_recorded(const std::string& source, const std::string& spec,
                            const std::string& command, archive::progress_hook hook,
                            archive::engine_options options) {
  std::vector<char> spec_text(spec.begin(), spec.end());
  spec_text.push_back('\0');
  std::uint8_t result[archive::result_block_bytes];
  engine_outcome outcome;
  // The paths come from the host's own names: used exactly, never folded.
  options.exact = true;
  outcome.code = archive::run_archive_command(source.c_str(), spec_text.data(), command.c_str(),
                                              result, hook, &outcome.report, options);
  if (outcome.code == archive::status::success)
    return outcome;
  outcome.failure = describe_failure(outcome.report);
  if (outcome.report.reason == archive::failure_reason::damaged)
    outcome.failure = status_text(outcome.code) + std::string(": ") + outcome.failure;
  return outcome;
}

std::string failure_text(const engine_outcome& outcome) {
  return outcome.failure.empty() ? std::string(status_text(outcome.code)) : outcome.failure;
}

int publish_output(const engine_outcome& outcome, const fs::path& partial, const fs::path& out,
                   const std::string& what, bool quiet, bool executable) {
  std::error_code ec;
  if (outcome.code != archive::status::success) {
    fs::remove(partial, ec);
    return work_error(what + " failed: " + failure_text(outcome));
  }
  sys::platform& host = sys::current_platform();
  if (executable && !host.make_executable(partial.string().c_str())) {
    const std::uint32_t error = host.last_error();
    fs::remove(partial, ec);
    return work_error(partial.string() + ": cannot make it executable (" + error_words(error) +
                      ")");
  }
  fs::rename(partial, out, ec);
  if (ec) {
    // The reason is taken before the removal, which sets ec again.
    const std::string why = error_code_words(ec);
    fs::remove(partial, ec);
    return work_error(out.string() + ": cannot write (" + why + ")");
  }
  if (!quiet)
    std::printf("%s: %llu bytes\n", out.string().c_str(),
                static_cast<unsigned long long>(fs::file_size(out, ec)));
  return 0;
}

} // namespace cli
