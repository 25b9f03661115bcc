// velmora-pack zip: a standard ZIP file of a directory tree.
#include "archive/run_archive_command.h"
#include "cli/commands.h"
#include "cli/host.h"
#include "cli/options.h"
#include "cli/progress_bar.h"
#include "sys/forwarding_platform.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace cli {

namespace {

constexpr const char* help =
    "Usage: velmora-pack zip -o OUT.zip [--quiet] DIR\n"
    "\n"
    "Packs DIR and all its subdirectories (directories whose names begin with '.' are\n"
    "left out) into a standard ZIP file: entries deflated at level 9, named by their\n"
    "path below DIR with '/' separators, in capitals as every name the packager\n"
    "stores (readme.txt becomes README.TXT), in UTF-8 and flagged so where a name is\n"
    "not plain ASCII; marked as made on Unix, regular files of mode 0644, so that\n"
    "unzip, 7-Zip, bsdtar and Python read those names as UTF-8; dated with the\n"
    "files' local modification times. OUT is written under a temporary name and\n"
    "replaced only when packing succeeds.\n"
    "\n"
    "  -o OUT.zip  the ZIP file to write\n"
    "  --quiet     no progress bar\n"
    "\n"
    "Environment:\n"
    "  SOURCE_DATE_EPOCH  a whole number of seconds since 1970-01-01 00:00 UTC; when\n"
    "                     set, entry dates are the files' times in UTC, and a file\n"
    "                     newer than it gets its date, so the ZIP file is the same in\n"
    "                     every time zone (reproducible builds)\n";

// Moves the bar by the size of each source file as packing opens it.
class opened_bytes final : public sys::forwarding_platform {
public:
  explicit opened_bytes(progress_bar& bar)
      : forwarding_platform(sys::current_platform()), bar_(bar),
        previous_(sys::set_platform(this)) {}
  ~opened_bytes() override { sys::set_platform(previous_); }
  opened_bytes(const opened_bytes&) = delete;
  opened_bytes& operator=(const opened_bytes&) = delete;

  std::FILE* open_read_stream(const char* path) override {
    bar_.update(done_);
    std::FILE* f = base().open_read_stream(path);
    if (f && std::fseek(f, 0, SEEK_END) == 0) {
      done_ += static_cast<std::uint64_t>(std::ftell(f));
      std::rewind(f);
    }
    return f;
  }

private:
  progress_bar& bar_;
  sys::platform* previous_;
  std::uint64_t done_ = 0;
};

// The value of SOURCE_DATE_EPOCH: digits only, a number of seconds.
bool parse_epoch(const char* text, std::int64_t* seconds) {
  const char* end = text + std::strlen(text);
  if (text == end || *text < '0' || *text > '9')
    return false;
  const auto [stop, error] = std::from_chars(text, end, *seconds);
  return error == std::errc{} && stop == end;
}

} // namespace

int run_zip_command(const arguments& args) {
  parsed_options opts;
  if (const int code = parse_command("zip", help, args, zip_options, &opts); code >= 0)
    return code;
  if (opts.positional.size() != 1 || !opts.value("-o"))
    return usage_error("zip", "needs -o OUT.zip and exactly one DIR");
  std::int64_t date_limit = -1;
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
      epoch && !parse_epoch(epoch, &date_limit))
    return usage_error("zip", "SOURCE_DATE_EPOCH must be a whole number of seconds since "
                              "1970-01-01 00:00 UTC, not '" +
                                  std::string(epoch) + "'");
  const fs::path dir = host_fs_path(opts.positional[0]);
  const fs::path out = host_fs_path(*opts.value("-o"));
  tree_output job;
  if (const int failed = prepare_tree_output(dir, out, &job); failed >= 0)
    return failed;

  engine_outcome outcome;
  {
    const bool show = progress_bar::will_draw(!opts.has("--quiet"));
    const std::uint64_t total = show ? tree_bytes(dir) : 0;
    progress_bar bar("zipping", total, show);
    opened_bytes counter(bar);
    outcome = run_recorded(job.target, job.spec, "ZIP", {}, {.zip_date_limit = date_limit});
    bar.update(total);
  }
  outcome.failure = tree_failure(outcome, job);
  return publish_output(outcome, job.partial, out, "zip of " + dir.string(), opts.has("--quiet"));
}

} // namespace cli
