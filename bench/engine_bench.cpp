// The engine benchmark: times the archive engine on real directories and files,
// in-process, with a steady clock. bench/run drives it; each mode can also be
// run by hand.
//
//   engine_bench build [--jobs N] CORPUS_DIR OUT_ARCHIVE
//                                              payload archive of CORPUS_DIR and
//                                              all its subdirectories ("PU"),
//                                              compressed on N threads (default:
//                                              one per processor)
//   engine_bench extract ARCHIVE DEST_DIR      unpacks ARCHIVE (a payload archive
//                                              or an installer) below DEST_DIR ("PI")
//   engine_bench floor ARCHIVE                 reads every record of ARCHIVE and
//                                              decodes each chunk into memory:
//                                              extraction without any file written
//   engine_bench scan FILE                     the marker scan alone, to its end
//   engine_bench noop                          nothing: the process baseline
//
// On success a mode prints one line, "MODE seconds=S cpu_seconds=C" (wall-clock
// and processor time of the work itself) and figures of its own as NAME=VALUE
// pairs, and exits 0; on failure it says why on stderr and exits 1.
//
// The engine takes drive-form paths. The program maps drives onto the native
// directories it is given (through VELMORA_DRIVES, which the engine reads at
// every call): S: the corpus's parent, A: the archive's directory, D: the
// destination's parent.
#include "archive/chunk_codec.h"
#include "archive/format.h"
#include "archive/payload_reader.h"
#include "archive/run_archive_command.h"
#include "sys/file_layer.h"

#include <time.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "engine_bench: %s\n", why.c_str());
  std::exit(1);
}

// The process's processor time (user and system), in seconds.
double cpu_seconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A stopwatch for one mode's work: wall-clock and processor time.
class stopwatch {
public:
  stopwatch() : wall_start_(clock_type::now()), cpu_start_(cpu_seconds()) {}
  // Prints "MODE seconds=S cpu_seconds=C" (no line end).
  void print(const char* mode) const {
    const double wall = std::chrono::duration<double>(clock_type::now() - wall_start_).count();
    std::printf("%s seconds=%.6f cpu_seconds=%.6f", mode, wall, cpu_seconds() - cpu_start_);
  }

private:
  clock_type::time_point wall_start_;
  double cpu_start_;
};

// The absolute, normalised form of a native path, without a trailing slash.
fs::path absolute_path(const char* native) {
  fs::path p = fs::absolute(native).lexically_normal();
  if (!p.has_filename() && p.has_parent_path() && p != p.root_path())
    p = p.parent_path();
  return p;
}

// A path component the engine takes as it stands: printable ASCII, none of
// the characters Windows refuses in names.
std::string drive_component(const fs::path& name) {
  const std::string s = name.string();
  if (s.empty() || s == "." || s == "..")
    fail("a path needs a named last component: '" + s + "'");
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u > 126 || std::strchr("<>:\"|?*\\", c) != nullptr)
      fail("'" + s + "' is not a name the engine can be given");
  }
  return s;
}

struct drive {
  char letter;
  fs::path dir;
};

void map_drives(const std::vector<drive>& drives) {
  std::string value;
  for (const auto& d : drives) {
    if (!value.empty())
      value += ';';
    value += d.letter;
    value += '=';
    value += d.dir.string();
  }
  if (::setenv("VELMORA_DRIVES", value.c_str(), 1) != 0)
    fail("cannot set VELMORA_DRIVES");
}

// "X:\NAME" for a native file or directory, its parent mapped as drive X.
struct drive_path {
  fs::path parent;
  std::string text;
};

drive_path on_drive(char letter, const char* native) {
  const fs::path p = absolute_path(native);
  return {p.parent_path(), std::string{letter, ':', '\\'} + drive_component(p.filename())};
}

// Runs one engine command and fails unless it succeeds.
void run_engine(const std::string& source, const std::string& pattern, const char* command,
                archive::engine_options options = {}) {
  std::vector<char> writable(pattern.begin(), pattern.end());
  writable.resize(writable.size() + 8, '\0'); // the engine may rewrite in place
  std::uint8_t result[archive::result_block_bytes] = {};
  const int code = archive::run_archive_command(source.c_str(), writable.data(), command, result,
                                                {}, nullptr, options);
  if (code != archive::status::success)
    fail(std::string("engine command ") + command + " on " + source + " answered status " +
         std::to_string(code));
}

int mode_build(const char* corpus, const char* out_archive, unsigned jobs) {
  if (!fs::is_directory(corpus))
    fail(std::string(corpus) + " is not a directory");
  const drive_path source = on_drive('S', corpus);
  const drive_path archive_file = on_drive('A', out_archive);
  map_drives({{'S', source.parent}, {'A', archive_file.parent}});

  const stopwatch watch;
  run_engine(archive_file.text, source.text + "\\***", "PU", {.jobs = jobs});
  watch.print("build");
  std::printf(" archive_bytes=%ju jobs=%u\n",
              static_cast<std::uintmax_t>(fs::file_size(out_archive)), jobs);
  return 0;
}

int mode_extract(const char* archive_native, const char* dest) {
  const drive_path archive_file = on_drive('A', archive_native);
  const drive_path target = on_drive('D', dest);
  if (!fs::is_directory(target.parent))
    fail(target.parent.string() + " is not a directory");
  map_drives({{'A', archive_file.parent}, {'D', target.parent}});

  const stopwatch watch;
  run_engine(archive_file.text, target.text + "\\", "PI ");
  watch.print("extract");
  std::printf("\n");
  return 0;
}

// The file through the engine's own file layer, for the floor and the scan.
sys::file_handle open_on_drive(const char* native) {
  const drive_path file = on_drive('A', native);
  map_drives({{'A', file.parent}});
  const sys::file_handle h = sys::file_open(file.text.c_str(), sys::open_mode::read_shared);
  if (h < 0)
    fail(std::string("cannot open ") + native);
  return h;
}

int mode_floor(const char* archive_native) {
  // Buffers as the extractor has them: one transfer's read buffer, room for
  // one compressed chunk and for one decoded chunk.
  std::vector<std::uint8_t> read_buffer(sys::max_transfer_bytes);
  std::vector<std::uint8_t> payload(sys::max_transfer_bytes);
  std::vector<std::uint8_t> decoded(archive::decoded_capacity);
  std::uint64_t decoded_total = 0;
  std::uint64_t chunks = 0;
  std::uint64_t files = 0;

  const stopwatch watch;
  sys::scoped_file file(open_on_drive(archive_native));
  archive::payload_reader reader(file.get(), read_buffer.data(), sys::max_transfer_bytes);
  archive::chunk_decoder decoder;
  if (!reader.find_marker())
    fail(std::string("no marker in ") + archive_native);
  std::uint8_t after_marker[4] = {};
  reader.read(after_marker, 4); // strip length, empty end-of-file record
  // Each file: its name record, then its records up to its end-of-file record,
  // read and decoded as the extractor reads them.
  for (;;) {
    archive::record_header h;
    const int got = reader.read_header(&h);
    if (got == 0 || (got > 0 && h.type == archive::record::end_of_archive))
      break;
    if (got < archive::record_header_bytes || h.type != archive::record::file_name)
      fail("not a file-name record at offset " + std::to_string(reader.position()));
    if (h.length > sys::max_transfer_bytes || reader.read(payload.data(), h.length) != h.length)
      fail("a file-name record is cut short");
    ++files;
    for (;;) {
      archive::file_record r;
      const int code =
          archive::read_file_record(reader, decoder, payload.data(), decoded.data(), &r);
      if (code != archive::status::success)
        fail("a file's records answered status " + std::to_string(code));
      if (r.end_of_file)
        break;
      decoded_total += r.decoded;
      ++chunks;
    }
  }
  file.reset();
  watch.print("floor");
  std::printf(" files=%ju chunks=%ju decoded_bytes=%ju\n", static_cast<std::uintmax_t>(files),
              static_cast<std::uintmax_t>(chunks), static_cast<std::uintmax_t>(decoded_total));
  return 0;
}

int mode_scan(const char* native) {
  std::vector<std::uint8_t> read_buffer(sys::max_transfer_bytes);
  const stopwatch watch;
  sys::scoped_file file(open_on_drive(native));
  archive::payload_reader reader(file.get(), read_buffer.data(), sys::max_transfer_bytes);
  const bool found = reader.find_marker();
  const std::uint32_t position = reader.position();
  file.reset();
  watch.print("scan");
  std::printf(" found=%d position=%u\n", found ? 1 : 0, position);
  return 0;
}

void usage() {
  std::fprintf(stderr, "usage: engine_bench build [--jobs N] CORPUS_DIR OUT_ARCHIVE\n"
                       "       engine_bench extract ARCHIVE DEST_DIR\n"
                       "       engine_bench floor ARCHIVE\n"
                       "       engine_bench scan FILE\n"
                       "       engine_bench noop\n");
  std::exit(2);
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2)
    usage();
  const std::string mode = argv[1];
  try {
    if (mode == "noop" && argc == 2)
      return 0;
    if (mode == "build" && argc == 4)
      return mode_build(argv[2], argv[3], archive::default_build_jobs());
    if (mode == "build" && argc == 6 && std::strcmp(argv[2], "--jobs") == 0) {
      const unsigned long jobs = std::strtoul(argv[3], nullptr, 10);
      if (jobs < 1 || jobs > archive::max_build_jobs)
        usage();
      return mode_build(argv[4], argv[5], static_cast<unsigned>(jobs));
    }
    if (mode == "extract" && argc == 4)
      return mode_extract(argv[2], argv[3]);
    if (mode == "floor" && argc == 3)
      return mode_floor(argv[2]);
    if (mode == "scan" && argc == 3)
      return mode_scan(argv[2]);
  } catch (const std::exception& e) {
    fail(e.what());
  }
  usage();
}
