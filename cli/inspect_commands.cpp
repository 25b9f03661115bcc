// velmora-pack list and test: what an archive holds, and whether it is sound.
#include "archive/payload_inspect.h"
#include "archive/run_archive_command.h"
#include "archive/status_text.h"
#include "cli/commands.h"
#include "cli/host.h"
#include "cli/options.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace cli {

namespace {

constexpr const char* list_help =
    "Usage: velmora-pack list INSTALLER\n"
    "\n"
    "Lists the files of an installer or payload archive: size, chunk count,\n"
    "compressed size and stored name; then the strip length, the stub size, the\n"
    "archive total and the trailer.\n";

constexpr const char* test_help =
    "Usage: velmora-pack test INSTALLER\n"
    "\n"
    "Decodes every chunk of an installer or payload archive and checks every record:\n"
    "the marker, the file records, stored names that stay inside the target, the\n"
    "end-of-archive record, its total, and the trailer. Exit 0 only when all is sound.\n";

// Opens the archive argument; *source receives its drive form.
int prepare(const char* command, const char* help, const arguments& args, std::string* source,
            std::string* shown) {
  const auto opts = parse_options(args, {{"--help"}, {}});
  if (!opts.error.empty())
    return usage_error(command, opts.error);
  if (opts.has("--help")) {
    print_help(help);
    return 0;
  }
  if (opts.positional.size() != 1)
    return usage_error(command, "needs exactly one INSTALLER");
  *shown = opts.positional[0];
  std::error_code ec;
  if (!fs::is_regular_file(*shown, ec))
    return work_error(*shown + ": no such file");
  std::string error;
  if (!drive_path(*shown, source, &error))
    return work_error(error);
  return -1;
}

void print_file(const archive::inspected_file& f, void*) {
  std::printf("%12llu %7u %12llu  %s%s\n", static_cast<unsigned long long>(f.size), f.chunks,
              static_cast<unsigned long long>(f.compressed), host_text(f.name.data()).c_str(),
              f.name_safe ? "" : "  (refused: leaves the target directory)");
}

std::string printable(const std::uint8_t* bytes, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) {
    const unsigned char c = bytes[i];
    if (c >= 32 && c < 127 && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

struct problems {
  int count = 0;
  void add(const std::string& what) {
    std::printf("problem: %s\n", what.c_str());
    ++count;
  }
};

void check_file(const archive::inspected_file& f, void* context) {
  if (!f.name_safe)
    static_cast<problems*>(context)->add("stored name leaves the target directory: " +
                                         host_text(f.name.data()));
}

} // namespace

int run_list_command(const arguments& args) {
  std::string source, shown;
  const int early = prepare("list", list_help, args, &source, &shown);
  if (early >= 0)
    return early;
  std::printf("%12s %7s %12s  %s\n", "size", "chunks", "compressed", "stored name");
  archive::payload_summary s;
  const int code = archive::inspect_payload(source.c_str(), print_file, nullptr, s);
  std::printf("%u files, %llu bytes, %llu compressed\n", s.files,
              static_cast<unsigned long long>(s.total_size),
              static_cast<unsigned long long>(s.total_compressed));
  std::printf("strip length: %u\nstub: %u bytes\n", s.strip, s.marker_offset);
  if (s.has_end_record)
    std::printf("archive total: %u\n", s.archive_total);
  else
    std::printf("archive total: none (no end-of-archive record)\n");
  if (s.has_trailer)
    std::printf("trailer: %s (stem %s)\n", printable(s.trailer.data(), 10).c_str(),
                printable(s.trailer.data(), 7).c_str());
  else
    std::printf("trailer: none\n");
  if (code != archive::status::success)
    return work_error(shown + ": " + archive::status_text(code));
  return 0;
}

int run_test_command(const arguments& args) {
  std::string source, shown;
  const int early = prepare("test", test_help, args, &source, &shown);
  if (early >= 0)
    return early;
  problems found;
  archive::payload_summary s;
  const int code = archive::inspect_payload(source.c_str(), check_file, &found, s);
  if (code != archive::status::success)
    found.add(archive::status_text(code));
  if (code == archive::status::success) {
    if (!s.has_end_record)
      found.add("no end-of-archive record");
    else if (s.archive_total != static_cast<std::uint32_t>(s.marker_offset + s.total_size))
      found.add("archive total " + std::to_string(s.archive_total) + " is not stub + files (" +
                std::to_string(s.marker_offset + s.total_size) + ")");
    if (s.has_end_record && !s.has_trailer && s.end_offset != s.file_size)
      found.add(std::to_string(s.file_size - s.end_offset) +
                " bytes follow the end-of-archive record (expected 0 or a 10-byte trailer)");
    if (s.has_trailer != (s.marker_offset > 0))
      found.add(s.has_trailer ? "a trailer but no stub" : "a stub but no trailer");
  }
  if (found.count != 0)
    return work_error(shown + ": " + std::to_string(found.count) + " problem(s)");
  std::printf("%s: sound (%u files, %llu bytes)\n", shown.c_str(), s.files,
              static_cast<unsigned long long>(s.total_size));
  return 0;
}

} // namespace cli
