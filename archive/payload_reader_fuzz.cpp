// Fuzzing extraction: any bytes, written as C:\IN.EXE of a private drive, are
// unpacked with "PI " into C:\T\. Whatever the bytes, the engine must not
// crash or leak, must answer one of extraction's statuses in a well-formed
// result block, and must create or change nothing outside the target
// directory: C: may afterwards hold only IN.EXE (unchanged), VEK with the
// error log (well-formed records only) and T, and a second drive D:, there
// for stored names that reach for another drive, only its one file as it was.
#include "archive/format.h"
#include "archive/run_archive_command.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Larger inputs are cut: a long archive of many chunks writes a lot.
constexpr std::size_t max_input_bytes = 1 << 20;

fs::path drive_root; // holds c and d, what C: and D: are mapped to
std::string marker;  // the nine marker characters, made at start-up

// The one file of drive D:, with its bytes.
constexpr const char* d_file_name = "ON-D.TXT";
constexpr const char* d_file_bytes = "kept on D:";

[[noreturn]] void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "payload_reader_fuzz: %s: %s\n", what, detail.c_str());
  std::fflush(stderr);
  __builtin_trap();
}

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void remove_drive() {
  std::error_code ec;
  fs::remove_all(drive_root, ec);
}

bool is_extraction_status(int code) {
  namespace st = archive::status;
  switch (code) {
  case st::success:
  case st::bad_top_record:
  case st::output_create_failed:
  case st::bad_file_record:
  case st::truncated_record:
  case st::chunk_decode_failed:
  case st::marker_not_found:
    return true;
  default:
    return false; // 'n' too: the source exists, so it can always be opened
  }
}

void check_result(int code, const std::array<std::uint8_t, archive::result_block_bytes>& block) {
  if (!is_extraction_status(code))
    fail("status outside extraction's set", std::to_string(code));
  char digits[8];
  std::snprintf(digits, sizeof digits, "%5d", code);
  const bool framed = block[0] == 0 && block[1] == 5 && block[2] == 0 && block[8] == 0;
  if (!framed || !std::equal(digits, digits + 5, block.begin() + 3))
    fail("malformed result block for status", std::to_string(code));
}

// Every line: two five-character number fields, each followed by '/', the
// message, CR LF. Anything else was written there by the extraction.
void check_log(const fs::path& log) {
  const std::string text = read_file(log);
  std::string_view rest = text;
  while (!rest.empty()) {
    const auto end = rest.find("\r\n");
    if (end == std::string_view::npos || end < 12 || rest[5] != '/' || rest[11] != '/')
      fail("error log holds something that is no record", log.string());
    for (int i : {0, 1, 2, 3, 4, 6, 7, 8, 9, 10})
      if (rest[static_cast<std::size_t>(i)] != ' ' &&
          (rest[static_cast<std::size_t>(i)] < '0' || rest[static_cast<std::size_t>(i)] > '9'))
        fail("error log record with a bad number field", log.string());
    rest.remove_prefix(end + 2);
  }
}

void check_other_drive() {
  const fs::path d = drive_root / "d";
  for (const auto& e : fs::directory_iterator(d))
    if (e.path().filename() != d_file_name || e.symlink_status().type() != fs::file_type::regular)
      fail("created on drive D:", e.path().string());
  if (read_file(d / d_file_name) != d_file_bytes)
    fail("the file on drive D: was changed or removed", (d / d_file_name).string());
  for (const auto& e : fs::directory_iterator(drive_root))
    if (e.path().filename() != "c" && e.path().filename() != "d")
      fail("created beside the drives", e.path().string());
}

void check_drive(const std::string& input) {
  check_other_drive();
  for (const auto& e : fs::directory_iterator(drive_root / "c")) {
    const std::string name = e.path().filename().string();
    const fs::file_type type = e.symlink_status().type();
    if (name == "IN.EXE" && type == fs::file_type::regular) {
      if (read_file(e.path()) != input)
        fail("the installer file was changed", e.path().string());
    } else if (name == "VEK" && type == fs::file_type::directory) {
      for (const auto& v : fs::directory_iterator(e.path())) {
        if (v.path().filename() != "QXERROR.TXT" ||
            v.symlink_status().type() != fs::file_type::regular)
          fail("created outside the target", v.path().string());
        check_log(v.path());
      }
    } else if (name == "T" && type == fs::file_type::directory) {
      for (const auto& t : fs::recursive_directory_iterator(e.path())) {
        const fs::file_type tt = t.symlink_status().type();
        if (tt != fs::file_type::regular && tt != fs::file_type::directory)
          fail("neither file nor directory in the target", t.path().string());
      }
    } else {
      fail("created outside the target", e.path().string());
    }
  }
}

bool holds_marker(const std::string& input) {
  return input.find(marker) != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string root = (fs::absolute(fs::temp_directory_path()) / "velmora-fuzz-XXXXXX").string();
  if (!mkdtemp(root.data()))
    fail("cannot create the drive directory", root);
  drive_root = root;
  fs::create_directories(drive_root / "c" / "VEK");
  fs::create_directory(drive_root / "d");
  std::ofstream(drive_root / "d" / d_file_name, std::ios::binary) << d_file_bytes;
  const std::string c = (drive_root / "c").string(), d = (drive_root / "d").string();
  setenv("VELMORA_DRIVES", ("C=" + c + ";D=" + d).c_str(), 1);
  std::atexit(remove_drive);

  marker.assign(archive::marker_template.begin(), archive::marker_template.end() - 1);
  marker[0] = archive::marker_first;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), std::min(size, max_input_bytes));
  {
    std::ofstream out(drive_root / "c" / "IN.EXE", std::ios::binary | std::ios::trunc);
    out.write(input.data(), static_cast<std::streamsize>(input.size()));
    if (!out)
      fail("cannot write the installer file", (drive_root / "c" / "IN.EXE").string());
  }

  char target[64] = "C:\\T\\";
  std::array<std::uint8_t, archive::result_block_bytes> block{};
  const int code = archive::run_archive_command("C:\\IN.EXE", target, "PI ", block.data());

  check_result(code, block);
  if (!holds_marker(input) &&
      (code != archive::status::marker_not_found || fs::exists(drive_root / "c" / "T")))
    fail("an input without the marker was not answered 120 alone", std::to_string(code));
  check_drive(input);

  // Each run starts from the bare drive: no target, an empty log.
  std::error_code ec;
  fs::remove_all(drive_root / "c" / "T", ec);
  if (!ec)
    fs::remove(drive_root / "c" / "VEK" / "QXERROR.TXT", ec);
  if (ec)
    fail("cannot clean the drive", ec.message());
  return 0;
}
