// Writes the extraction fuzzer's seed installers into a directory: a handful
// of valid archives (and one cut short) that reach every record type, so the
// fuzzer starts from inputs that get past the marker scan.
//
//   payload_reader_fuzz_seeds DIR
#include "archive/format.h"
#include "tests/support/archive_bytes.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
using velmora_test::archive_bytes;

namespace {

// Text that compresses a little, not to nothing: a small linear congruential
// sequence over a few letters and line ends.
std::string sample(std::size_t n, std::uint32_t seed) {
  static constexpr char letters[] = "ABCDEFGH abcdefgh\r\n";
  std::string s(n, ' ');
  for (auto& c : s) {
    seed = seed * 1103515245u + 12345u;
    c = letters[(seed >> 16) % (sizeof letters - 1)];
  }
  return s;
}

// The end-of-archive record and the ten trailer bytes behind it; the total
// counts the bytes from the marker record on.
std::string finish(archive_bytes& a, std::size_t stub_bytes) {
  const auto total =
      static_cast<std::uint32_t>(a.str().size() - stub_bytes + archive::end_of_archive_bytes);
  a.end_of_archive(total).bytes("QXA0000abc");
  return a.str();
}

bool write(const fs::path& dir, const char* name, const std::string& bytes) {
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: payload_reader_fuzz_seeds DIR\n");
    return 2;
  }
  const fs::path dir = argv[1];
  std::error_code ec;
  fs::create_directories(dir, ec);

  bool ok = true;
  {
    archive_bytes a(4);
    ok &= write(dir, "empty", finish(a, 0));
  }
  {
    archive_bytes a(4);
    a.file("D:\\K\\README.TXT", "Read me first.\r\n");
    ok &= write(dir, "one-small-file", finish(a, 0));
  }
  {
    archive_bytes a(6);
    a.file("D:\\KIT\\SETUP.INI", sample(300, 1))
        .file("D:\\KIT\\BIN\\TOOL.EXE", sample(2500, 2))
        .file("D:\\KIT\\DOC\\EN\\GUIDE.TXT", sample(900, 3))
        .file("D:\\KIT\\DOC\\EN\\EMPTY.TXT", "");
    ok &= write(dir, "nested-directories", finish(a, 0));
  }
  {
    // Exactly one chunk's worth: a full chunk, then an empty last one.
    archive_bytes a(4);
    a.file("D:\\K\\FULL.DAT", sample(archive::chunk_bytes, 4));
    ok &= write(dir, "file-of-one-full-chunk", finish(a, 0));
  }
  {
    // A stub with near misses of the marker in front of the archive.
    std::string stub = "MZ\x90";
    stub += '\0';
    stub += "stub code ";
    stub += archive::marker_first;
    stub += "EG ";
    stub += archive::marker_first;
    stub += archive::marker_first;
    stub += "EGIN.KO!";
    stub += std::string(40, '\0');
    archive_bytes a(8, stub);
    a.file("C:\\SRC\\APP.EXE", sample(1200, 5)).file("C:\\SRC\\APP.HLP", sample(700, 6));
    ok &= write(dir, "stub-in-front", finish(a, stub.size()));
  }
  {
    // Cut in the middle of the second file's chunk.
    archive_bytes a(4);
    a.file("D:\\K\\A.TXT", sample(500, 7)).file("D:\\K\\B.TXT", sample(3000, 8));
    const std::string whole = a.str();
    ok &= write(dir, "truncated", whole.substr(0, whole.size() - 40));
  }
  {
    // A name the extractor refuses after one it accepts.
    archive_bytes a(4);
    a.file("D:\\K\\OK.TXT", "fine").file("D:\\K\\..\\OUT.TXT", "escaped");
    ok &= write(dir, "refused-name", finish(a, 0));
  }
  {
    // Names that reach for the file on the fuzzer's second drive.
    archive_bytes a(4);
    a.file("D:\\K\\D:\\ON-D.TXT", "over D").file("D:\\K\\D:ON-D.TXT", "over D");
    ok &= write(dir, "other-drive", finish(a, 0));
  }

  if (!ok) {
    std::fprintf(stderr, "payload_reader_fuzz_seeds: cannot write into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
