// The engine benchmark: times the archive engine on real directories and files,
// in-process, with a steady clock. bench/run drives it; each mode can also be
// run by hand.
//
//   engine_bench build CORPUS_DIR OUT_ARCHIVE  payload archive of CORPUS_DIR and
//                                              all its subdirectories ("PU")
//   engine_bench extract ARCHIVE DEST_DIR      unpacks ARCHIVE (a payload archive
//                                              or an installer) below DEST_DIR ("PI")
//   engine_bench floor ARCHIVE                 reads every record of ARCHIVE and
//                                              decodes each chunk into memory:
//                                              extraction without any file written
//   engine_bench scan FILE                     the marker scan alone, to its end
//   engine_bench noop                          nothing: the process baseline
//
// On success a mode prints one line, "MODE seconds=S" and figures of its own as
// NAME=VALUE pairs, and exits 0; on failure it says why on stderr and exits 1.
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

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "engine_bench: %s\n", why.c_str());
  std::exit(1);
}

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

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
void run_engine(const std::string& source, std::string spec, const char* command) {
  std::vector<char> writable(spec.begin(), spec.end());
  writable.resize(writable.size() + 8, '\0'); // the engine may rewrite in place
  std::uint8_t result[archive::result_block_bytes] = {};
  const int code = archive::run_archive_command(source.c_str(), writable.data(), command, result);
  if (code != archive::status::success)
    fail(std::string("engine command ") + command + " on " + source + " answered status " +
         std::to_string(code));
}

int mode_build(const char* corpus, const char* out_archive) {
  if (!fs::is_directory(corpus))
    fail(std::string(corpus) + " is not a directory");
  const drive_path source = on_drive('S', corpus);
  const drive_path archive_file = on_drive('A', out_archive);
  map_drives({{'S', source.parent}, {'A', archive_file.parent}});

  const auto start = clock_type::now();
  run_engine(archive_file.text, source.text + "\\***", "PU");
  const double s = seconds_since(start);
  std::printf("build seconds=%.6f archive_bytes=%ju\n", s,
              static_cast<std::uintmax_t>(fs::file_size(out_archive)));
  return 0;
}

int mode_extract(const char* archive_native, const char* dest) {
  const drive_path archive_file = on_drive('A', archive_native);
  const drive_path target = on_drive('D', dest);
  if (!fs::is_directory(target.parent))
    fail(target.parent.string() + " is not a directory");
  map_drives({{'A', archive_file.parent}, {'D', target.parent}});

  const auto start = clock_type::now();
  run_engine(archive_file.text, target.text + "\\", "PI ");
  std::printf("extract seconds=%.6f\n", seconds_since(start));
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

  const auto start = clock_type::now();
  sys::scoped_file file(open_on_drive(archive_native));
  archive::payload_reader reader(file.get(), read_buffer.data(), sys::max_transfer_bytes);
  archive::chunk_decoder decoder;
  if (!reader.find_marker())
    fail(std::string("no marker in ") + archive_native);
  std::uint8_t after_marker[4] = {};
  reader.read(after_marker, 4); // strip length, empty end-of-file record
  for (;;) {
    archive::record_header h;
    const int got = reader.read_header(&h);
    if (got == 0 || (got > 0 && h.type == archive::record::end_of_archive))
      break;
    if (got < archive::record_header_bytes)
      fail("a record header is cut short");
    if (h.type == archive::record::end_of_file)
      continue;
    if (h.type != archive::record::file_name && h.type != archive::record::chunk)
      fail("unknown record type " + std::to_string(h.type));
    if (h.length > sys::max_transfer_bytes || reader.read(payload.data(), h.length) != h.length)
      fail("a record is cut short");
    if (h.type == archive::record::file_name) {
      ++files;
      continue;
    }
    std::uint32_t length = 0;
    if (decoder.decode(payload.data(), h.length, decoded.data(), archive::decoded_capacity,
                       &length) != 0)
      fail("a chunk does not decode");
    decoded_total += length;
    ++chunks;
  }
  file.reset();
  const double s = seconds_since(start);
  std::printf("floor seconds=%.6f files=%ju chunks=%ju decoded_bytes=%ju\n", s,
              static_cast<std::uintmax_t>(files), static_cast<std::uintmax_t>(chunks),
              static_cast<std::uintmax_t>(decoded_total));
  return 0;
}

int mode_scan(const char* native) {
  std::vector<std::uint8_t> read_buffer(sys::max_transfer_bytes);
  const auto start = clock_type::now();
  sys::scoped_file file(open_on_drive(native));
  archive::payload_reader reader(file.get(), read_buffer.data(), sys::max_transfer_bytes);
  const bool found = reader.find_marker();
  const std::uint32_t position = reader.position();
  file.reset();
  const double s = seconds_since(start);
  std::printf("scan seconds=%.6f found=%d position=%u\n", s, found ? 1 : 0, position);
  return 0;
}

void usage() {
  std::fprintf(stderr, "usage: engine_bench build CORPUS_DIR OUT_ARCHIVE\n"
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
      return mode_build(argv[2], argv[3]);
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
