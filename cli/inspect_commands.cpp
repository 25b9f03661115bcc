// velmora-pack list and test: what an archive holds, and whether it is sound.
#include "archive/payload_inspect.h"
#include "archive/run_archive_command.h"
#include "cli/commands.h"
#include "cli/host.h"
#include "cli/options.h"
#include "cli/status_text.h"

#include <cstdio>
#include <cstring>
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
    "archive total and the trailer, and the certificate table of a signed\n"
    "installer (the archive ends in front of it).\n";

constexpr const char* test_help =
    "Usage: velmora-pack test INSTALLER\n"
    "\n"
    "Decodes every chunk of an installer or payload archive and checks that it is\n"
    "exactly what velmora-pack build writes: the marker record, stored names (1 to\n"
    "250 characters, one source root, inside the target, no two alike regardless of\n"
    "case), chunks of 20000 bytes but the last, the end-of-archive record, its total\n"
    "and the trailer (in front of the certificate table of a signed installer), and\n"
    "an installer length that is a multiple of 8. Prints one line per problem with\n"
    "the stored name and the offset in the file. Exit 0 only when all is sound.\n";

// Opens the archive argument; *source receives its drive form.
int prepare(const char* command, const char* help, const arguments& args, std::string* source,
            std::string* shown) {
  parsed_options opts;
  if (const int code = parse_command(command, help, args, inspect_options, &opts); code >= 0)
    return code;
  if (opts.positional.size() != 1)
    return usage_error(command, "needs exactly one INSTALLER");
  *shown = opts.positional[0];
  if (const std::string why = not_a_file(host_fs_path(*shown)); !why.empty())
    return work_error(*shown + ": " + why);
  std::string error;
  if (!drive_path(*shown, source, &error))
    return work_error(error);
  return -1;
}

void print_header(bool* printed) {
  if (!*printed)
    std::printf("%12s %7s %12s  %s\n", "size", "chunks", "compressed", "stored name");
  *printed = true;
}

void print_file(const archive::inspected_file& f, void* header_printed) {
  print_header(static_cast<bool*>(header_printed));
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

struct check_context {
  bool print = false;
  archive_check* check = nullptr;
  std::string unsafe; // the first stored name extraction refuses
};

// Prints each problem as one line naming the stored file (when it lies in one),
// the offset in the installer file and what is wrong (the walk's text, or its
// status code in words), counts them and keeps the last.
void note_problem(const char* stored_name, std::uint32_t offset, int code, const char* text,
                  void* context) {
  auto& c = *static_cast<check_context*>(context);
  std::string line = *stored_name != '\0' ? host_text(stored_name) + " at offset " : "at offset ";
  line +=
      std::to_string(offset) + ": " + (code != archive::status::success ? status_text(code) : text);
  if (c.print)
    std::printf("problem: %s\n", line.c_str());
  c.check->fatal = line;
  ++c.check->problems;
}

void note_file(const archive::inspected_file& f, void* context) {
  auto& c = *static_cast<check_context*>(context);
  if (!f.name_safe && c.unsafe.empty())
    c.unsafe = host_text(f.name.data()) + ": a stored name that would leave the target directory";
  const std::size_t length = std::strlen(f.name.data());
  const std::size_t root = c.check->summary.strip + 1u;
  if (length > root && length - root > c.check->longest_rest) {
    c.check->longest_rest = length - root;
    c.check->longest_name = host_text(f.name.data());
  }
}

} // namespace

archive_check check_archive(const std::string& source, bool print) {
  archive_check check;
  check_context context{print, &check, {}};
  check.code =
      archive::inspect_payload(source.c_str(), {note_file, note_problem, &context}, check.summary);
  if (check.code == archive::status::success)
    check.fatal = context.unsafe;
  else if (check.problems == 0)
    check.fatal = status_text(check.code);
  return check;
}

int run_list_command(const arguments& args) {
  std::string source, shown;
  const int early = prepare("list", list_help, args, &source, &shown);
  if (early >= 0)
    return early;
  // The table begins with the first file: a file that holds no archive gets
  // the error alone.
  bool header_printed = false;
  archive::payload_summary s;
  const int code =
      archive::inspect_payload(source.c_str(), {print_file, nullptr, &header_printed}, s);
  if (code == archive::status::marker_not_found || code == archive::status::source_open_failed)
    return work_error(shown + ": " + status_text(code));
  print_header(&header_printed);
  std::printf("%u files, %llu bytes, %llu compressed\n", s.files,
              static_cast<unsigned long long>(s.total_size),
              static_cast<unsigned long long>(s.total_compressed));
  std::printf("strip length: %u\nstub: %u bytes\n", s.strip, s.marker_offset - s.padding);
  if (s.padding > 0)
    std::printf("padding: %u zero bytes in front of the marker record\n", s.padding);
  if (s.has_end_record)
    std::printf("archive total: %u\n", s.archive_total);
  else
    std::printf("archive total: none (no end-of-archive record)\n");
  if (s.has_trailer)
    std::printf("trailer: %s (stem %s)\n", printable(s.trailer.data(), 10).c_str(),
                printable(s.trailer.data(), 7).c_str());
  else
    std::printf("trailer: none\n");
  if (s.archive_end < s.file_size)
    std::printf("certificate table: %u bytes at offset %u\n", s.file_size - s.archive_end,
                s.archive_end);
  if (code != archive::status::success)
    return work_error(shown + ": " + status_text(code));
  return 0;
}

int run_test_command(const arguments& args) {
  std::string source, shown;
  const int early = prepare("test", test_help, args, &source, &shown);
  if (early >= 0)
    return early;
  const archive_check check = check_archive(source, true);
  const archive::payload_summary& s = check.summary;
  if (check.code == archive::status::source_open_failed)
    return work_error(shown + ": " + status_text(check.code));
  if (check.problems != 0 || check.code != archive::status::success)
    return work_error(shown + ": " + std::to_string(check.problems) + " problem(s)");
  std::printf("%s: sound (%u files, %llu bytes)\n", shown.c_str(), s.files,
              static_cast<unsigned long long>(s.total_size));
  return 0;
}

} // namespace cli
