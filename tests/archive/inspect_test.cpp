// Checking an archive: only what the builder writes passes; every difference
// is reported with the stored name and the offset of the record concerned.
#include "archive/format.h"
#include "archive/payload_inspect.h"
#include "archive/run_archive_command.h"
#include "archive/trailer.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/temp_drive.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>
#include <zlib.h>

using namespace velmora_test;

namespace {

constexpr std::uint32_t any_offset = 0xFFFFFFFF;

struct expected_problem {
  std::string name;
  std::uint32_t offset = any_offset;
  std::string text; // a part of the problem's text
  int code = 0;     // the status the walk stops at
};

struct inspect_case {
  std::string label;
  std::string archive;
  int status = 0;
  std::vector<expected_problem> problems;
};

struct reported_problem {
  std::string name;
  std::uint32_t offset;
  std::string text;
  int code;
};

// A zlib stream of data in stored blocks of block bytes each: sound, but
// larger than its input, which zlib's compress() never gives.
std::string stored_stream(const std::string& data, std::size_t block) {
  std::string s("\x78\x01", 2);
  for (std::size_t at = 0;; at += block) {
    const std::string piece = data.substr(at, block);
    const bool last = at + block >= data.size();
    const auto n = static_cast<std::uint16_t>(piece.size());
    const auto inverse = static_cast<std::uint16_t>(~n);
    s += static_cast<char>(last ? 1 : 0);
    s += {static_cast<char>(n & 0xFF), static_cast<char>(n >> 8), static_cast<char>(inverse & 0xFF),
          static_cast<char>(inverse >> 8)};
    s += piece;
    if (last)
      break;
  }
  const uLong check =
      adler32(1, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
  for (int shift = 24; shift >= 0; shift -= 8)
    s += static_cast<char>((check >> shift) & 0xFF);
  return s;
}

std::string with_byte(std::string bytes, std::size_t at, char value) {
  bytes[at] = value;
  return bytes;
}

// The headers of a PE file: DOS header, "PE\0\0", file header, and a PE32
// (magic 0x10B) or PE32+ (0x20B) optional header with 16 empty data
// directories; 312 or 328 bytes.
constexpr std::size_t pe_at = 64;
constexpr std::size_t optional_at = pe_at + 24;
std::string pe_headers(std::uint16_t magic) {
  const std::size_t optional_size = magic == 0x10B ? 224 : 240;
  std::string h(optional_at + optional_size, '\0');
  h.replace(0, 2, "MZ");
  h[0x3C] = static_cast<char>(pe_at);
  h.replace(pe_at, 2, "PE");
  h[pe_at + 20] = static_cast<char>(optional_size);
  h[optional_at] = static_cast<char>(magic & 0xFF);
  h[optional_at + 1] = static_cast<char>(magic >> 8);
  h[optional_at + (magic == 0x10B ? 92 : 108)] = 16;
  return h;
}

// pe with its security directory (data directory 4) set to at and size.
std::string with_security_directory(std::string pe, std::uint32_t at, std::uint32_t size) {
  const std::size_t entry = optional_at + (pe[optional_at + 1] == 1 ? 96 : 112) + 4 * 8;
  for (int i = 0; i < 4; ++i) {
    pe[entry + static_cast<std::size_t>(i)] = static_cast<char>(at >> (8 * i));
    pe[entry + 4 + static_cast<std::size_t>(i)] = static_cast<char>(size >> (8 * i));
  }
  return pe;
}

// pe followed by a certificate table of 16 bytes that the security
// directory names, as a signing tool leaves it.
std::string signed_file(const std::string& pe) {
  return with_security_directory(pe, static_cast<std::uint32_t>(pe.size()), 16) +
         std::string(16, '\x30');
}

TEST(InspectPayload, OnlyWhatTheBuilderWritesPassesAndEachDifferenceIsNamedWithItsOffset) {
  namespace st = archive::status;
  // Without a stub the first file-name record is at 16 (marker record, empty
  // end-of-file record); behind a six-character name the first chunk is at 25.
  constexpr std::uint32_t name_at = 16;
  constexpr std::uint32_t chunk_at = 25;
  const std::string full(archive::chunk_bytes, 'f');
  const std::string a19k(19000, 'a');
  const std::string long_name = "D:\\K\\" + std::string(archive::max_stored_name - 5, 'N');
  const std::string stub = "MZstub";
  // The stub and the zero bytes that bring the installers below to 64 bytes,
  // and a PE stub with the one zero byte that brings them to 384.
  const std::string padded = stub + std::string(3, '\0');
  const std::string pe_stub = pe_headers(0x20B) + std::string(1, '\0');
  const std::string trailer("QXA0000\0\0\0", 10);
  const std::string pe_installer =
      archive_bytes(4, pe_stub).file("D:\\K\\F", "x").end_of_archive(329).bytes(trailer).str();
  const std::string cut = archive_bytes(4).file("D:\\K\\F", std::string(3000, 'c')).str();

  const std::vector<inspect_case> cases{
      {"sound payload",
       archive_bytes(4)
           .file("D:\\K\\EMPTY", "")
           .file("D:\\K\\FULL", full)
           .file("D:\\K\\SUB\\MORE", full + full + "x")
           .file(long_name, "n")
           .end_of_archive(3 * archive::chunk_bytes + 2)
           .str(),
       0,
       {}},
      {"sound installer",
       archive_bytes(4, padded).file("D:\\K\\F", "x").end_of_archive(7).bytes(trailer).str(),
       0,
       {}},
      {"signed installer", signed_file(pe_installer), 0, {}},
      {"bytes between the trailer and the certificate table",
       signed_file(pe_installer + "garbage!"),
       0,
       {{"", 374, "18 bytes follow the end-of-archive record up to the certificate table"}}},
      {"padding that is not zero",
       archive_bytes(4, stub + std::string("\0\0x", 3))
           .file("D:\\K\\F", "x")
           .end_of_archive(7)
           .bytes(trailer)
           .str(),
       0,
       {{"", any_offset, "archive total 7 is not the stub's size plus the files' sizes"}}},
      {"marker record damaged",
       with_byte(archive_bytes(4).end_of_archive(0).str(), 1, '\x0B'),
       0,
       {{"", 0, "not preceded by 01 0A 00"}}},
      {"marker characters at the very start",
       marker_text() + std::string("\x04\x03\x00\x00\x04\x00\x00\x00\x00", 9),
       0,
       {{"", 0, "not preceded by 01 0A 00"}}},
      {"no empty end-of-file record behind the marker",
       with_byte(archive_bytes(4).end_of_archive(0).str(), 13, '\x01'),
       0,
       {{"", 13, "empty end-of-file record"}}},
      {"chunk that decodes to 21000 bytes",
       archive_bytes(4)
           .name("D:\\K\\F")
           .chunk(std::string(21000, 'b'))
           .end_of_file()
           .end_of_archive(21000)
           .str(),
       0,
       {{"D:\\K\\F", chunk_at, "chunk 1 decodes to 21000 bytes"}}},
      {"chunk of more than 21000 compressed bytes",
       archive_bytes(4)
           .name("D:\\K\\F")
           .raw_chunk(stored_stream(a19k, 38))
           .end_of_file()
           .end_of_archive(19000)
           .str(),
       0,
       {{"D:\\K\\F", chunk_at, "chunk 1 is 21506 bytes compressed"}}},
      {"short chunk in the middle of a file",
       archive_bytes(4)
           .name("D:\\K\\F")
           .chunk(a19k)
           .chunk("tail")
           .end_of_file()
           .end_of_archive(19004)
           .str(),
       0,
       {{"D:\\K\\F", chunk_at,
         "chunk 1 decodes to 19000 bytes; only a file's last chunk may be shorter than 20000"}}},
      {"empty chunk in the middle of a file",
       archive_bytes(4).name("D:\\K\\F").chunk("").chunk("x").end_of_file().end_of_archive(1).str(),
       0,
       {{"D:\\K\\F", chunk_at, "chunk 1 decodes to 0 bytes"}}},
      {"full last chunk without the empty one",
       archive_bytes(4).name("D:\\K\\F").chunk(full).end_of_file().end_of_archive(20000).str(),
       0,
       {{"D:\\K\\F", chunk_at, "ends with an empty chunk"}}},
      {"file without chunks",
       archive_bytes(4).name("D:\\K\\F").end_of_file().end_of_archive(0).str(),
       0,
       {{"D:\\K\\F", name_at, "no chunk"}}},
      {"bytes behind a chunk's stream",
       archive_bytes(4)
           .name("D:\\K\\F")
           .raw_chunk(zlib_compress("x") + "junk")
           .end_of_file()
           .end_of_archive(1)
           .str(),
       0,
       {{"D:\\K\\F", chunk_at, "4 bytes behind the end of its zlib stream"}}},
      {"names equal as Windows compares them",
       archive_bytes(4)
           .file("D:\\K\\S\\\xE4.TXT", "1")
           .file("D:\\K\\B", "2")
           .file("D:\\K\\s\\\xC4.txt", "3")
           .end_of_archive(3)
           .str(),
       0,
       {{"D:\\K\\s\\\xC4.txt", any_offset, "where the file named at offset 16 goes"}}},
      {"names equal but for trailing dots and blanks",
       archive_bytes(4).file("D:\\K\\F", "1").file("D:\\K\\f. .", "2").end_of_archive(2).str(),
       0,
       {{"D:\\K\\f. .", any_offset, "where the file named at offset 16 goes"}}},
      {"a file where another needs a directory, and the other way round",
       archive_bytes(4)
           .file("D:\\K\\A", "1")
           .file("D:\\K\\A\\B", "2")
           .file("D:\\K\\C\\D", "3")
           .file("D:\\K\\c", "4")
           .end_of_archive(4)
           .str(),
       0,
       {{"D:\\K\\A\\B", any_offset, "needs a directory where the file named at offset 16"},
        {"D:\\K\\c", any_offset, "stands where the file named at offset"}}},
      {"empty and overlong names",
       archive_bytes(4).file("", "x").file(long_name + "N", "y").end_of_archive(2).str(),
       0,
       {{"", name_at, "stored name of 0 characters"},
        {long_name + "N", any_offset, "stored name of 251 characters"}}},
      {"a character Windows forbids in names",
       archive_bytes(4).file("D:\\K\\A*B", "x").end_of_archive(1).str(),
       0,
       {{"D:\\K\\A*B", name_at, "holds a character Windows forbids"}}},
      {"name that leaves the target",
       archive_bytes(4).file("D:\\K\\..\\F", "x").end_of_archive(1).str(),
       0,
       {{"D:\\K\\..\\F", name_at, "leaves the target directory"}}},
      {"names of two source roots",
       archive_bytes(4).file("D:\\K\\A", "a").file("D:\\L\\B", "b").end_of_archive(2).str(),
       0,
       {{"D:\\L\\B", any_offset, "another source root"}}},
      {"strip length not at a backslash",
       archive_bytes(3).file("D:\\KK\\F", "x").end_of_archive(1).str(),
       0,
       {{"D:\\KK\\F", name_at, "character 3 of the stored name"}}},
      {"wrong archive total",
       archive_bytes(4).file("D:\\K\\F", "x").end_of_archive(2).str(),
       0,
       {{"", any_offset, "archive total 2 is not"}}},
      {"no end-of-archive record",
       archive_bytes(4).file("D:\\K\\F", "x").str(),
       0,
       {{"", any_offset, "no end-of-archive record"}}},
      {"end-of-archive record cut short",
       archive_bytes(4).file("D:\\K\\F", "x").bytes("\x04\x01").str(),
       0,
       {{"", any_offset, "cut short"}}},
      {"stub without trailer",
       archive_bytes(4, stub).file("D:\\K\\F", "x").end_of_archive(7).str(),
       0,
       {{"", any_offset, "0 bytes follow the end-of-archive record"},
        {"", 51, "the installer is 51 bytes long, not a multiple of 8"}}},
      {"a trailer whose stem names no directory",
       archive_bytes(4, padded)
           .file("D:\\K\\F", "x")
           .end_of_archive(7)
           .bytes(std::string("..\\..\\X\0\0\0", 10))
           .str(),
       0,
       {{"", any_offset, "no stem an installer can name a directory with"}}},
      {"trailer without stub",
       archive_bytes(4).file("D:\\K\\F", "x").end_of_archive(1).bytes("QXA0000abc").str(),
       0,
       {{"", any_offset, "10 bytes follow"}}},
      {"no marker", stub, st::marker_not_found, {{"", 6, "", st::marker_not_found}}},
      {"record where a file begins",
       archive_bytes(4).record(2, 0, "").str(),
       st::bad_top_record,
       {{"", name_at, "", st::bad_top_record}}},
      {"record inside a file",
       archive_bytes(4).name("D:\\K\\F").record(1, 0, "").str(),
       st::bad_file_record,
       {{"D:\\K\\F", chunk_at, "", st::bad_file_record}}},
      {"archive cut inside a chunk",
       cut.substr(0, cut.size() - 10),
       st::truncated_record,
       {{"D:\\K\\F", chunk_at, "", st::truncated_record}}},
      {"chunk that does not decode",
       archive_bytes(4).name("D:\\K\\F").raw_chunk("junk").end_of_file().str(),
       st::chunk_decode_failed,
       {{"D:\\K\\F", chunk_at, "", st::chunk_decode_failed}}},
  };

  temp_drive drive;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    drive.write("A.BIN", c.archive);
    std::vector<reported_problem> found;
    archive::inspect_reporters to;
    to.problem = [](const char* name, std::uint32_t offset, int code, const char* text,
                    void* context) {
      static_cast<std::vector<reported_problem>*>(context)->push_back({name, offset, text, code});
    };
    to.context = &found;
    archive::payload_summary summary;
    EXPECT_EQ(archive::inspect_payload("C:\\A.BIN", to, summary), c.status);
    ASSERT_EQ(found.size(), c.problems.size())
        << (found.empty() ? "" : found[0].name + ": " + found[0].text);
    for (std::size_t i = 0; i < found.size(); ++i) {
      const auto& want = c.problems[i];
      EXPECT_EQ(found[i].name, want.name);
      if (want.offset != any_offset) {
        EXPECT_EQ(found[i].offset, want.offset);
      }
      EXPECT_NE(found[i].text.find(want.text), std::string::npos) << found[i].text;
      EXPECT_EQ(found[i].code, want.code);
    }
  }
  archive::payload_summary summary;
  EXPECT_EQ(archive::inspect_payload("C:\\NONE.BIN", {}, summary),
            archive::status::source_open_failed);
}

// Only a certificate table that a sound PE header names and that ends the
// file moves the archive's end; hostile headers are read within the file.
TEST(FindArchiveEnd, IsTheCertificateTableOnlyWhenItEndsTheFile) {
  const std::string pe = pe_headers(0x20B) + std::string(40, 'p'); // 368 bytes
  const std::string sound = signed_file(pe);                       // 384 bytes
  const struct {
    std::string label;
    std::string file;
    std::int32_t end;
  } cases[] = {
      {"no PE file", std::string(100, 'a'), 100},
      {"PE32+", sound, 368},
      {"PE32", signed_file(pe_headers(0x10B)), 312},
      {"no security directory", pe, 368},
      {"DOS header cut short", sound.substr(0, 50), 50},
      {"e_lfanew past the end", with_byte(sound, 0x3F, '\x7F'), 384},
      {"optional header cut short", with_security_directory(pe, 184, 16).substr(0, 200), 200},
      {"no PE signature", with_byte(sound, pe_at + 2, 'X'), 384},
      {"unknown optional header magic", with_byte(sound, optional_at + 1, 3), 384},
      {"four data directories", with_byte(sound, optional_at + 108, 4), 384},
      {"optional header too small to hold it", with_byte(sound, pe_at + 20, 100), 384},
      {"bytes behind the table", sound + "x", 385},
      {"end beyond 32 bits", with_security_directory(pe, 0xFFFFFFF0u, 368 + 16), 368},
      {"table over the headers", with_security_directory(pe, 0, 368), 368},
      {"empty table", with_security_directory(pe, 368, 0), 368},
  };
  temp_drive drive;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    drive.write("A.BIN", c.file);
    sys::scoped_file file(sys::file_open("C:\\A.BIN", sys::open_mode::read_shared));
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(archive::find_archive_end(file.get()), c.end);
  }
}

// An installer's trailer carries a usable stem behind its end-of-archive
// record; else the last five bytes may be a bare archive's closing record.
TEST(DecodeArchiveTrailer, TellsAnInstallerFromABareArchive) {
  const auto decode = [](const std::string& tail) {
    return archive::decode_archive_trailer(reinterpret_cast<const std::uint8_t*>(tail.data()));
  };
  const archive::archive_trailer installer =
      decode(std::string("\x04\x2A\x01\x00\x00QXA0000\0\0\0", 15));
  EXPECT_TRUE(installer.installer);
  EXPECT_EQ(installer.total, 298u);
  EXPECT_EQ(std::string(installer.stem.data(), 7), "QXA0000");

  const archive::archive_trailer bare =
      decode(std::string("\x04xxxxxx\x03\0\0\x04\x10\x00\x00\x01", 15));
  EXPECT_FALSE(bare.installer);
  EXPECT_EQ(bare.total, 0x01000010u);
  EXPECT_EQ(bare.stem[0], '\0');

  const archive::archive_trailer neither = decode(std::string(15, 'x'));
  EXPECT_FALSE(neither.installer);
  EXPECT_EQ(neither.total, 0u);
}

} // namespace
