// Chunk decoding: every stream, sound or damaged, decodes as zlib's inflate
// decodes it, whichever library the build decodes with first.
#include "archive/chunk_codec.h"
#include "sys/error_log.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/temp_drive.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace velmora_test;

namespace {

// Deflate data written by hand: fields least significant bit first, Huffman
// codewords as strings of their bits in the order they are read ("110").
class deflate_bits {
public:
  deflate_bits& field(std::uint32_t value, int bits) {
    for (int i = 0; i < bits; ++i)
      bit(((value >> i) & 1u) != 0);
    return *this;
  }
  deflate_bits& code(const char* bits) {
    for (; *bits != '\0'; ++bits)
      bit(*bits == '1');
    return *this;
  }
  // A dynamic block's header up to the code lengths: the precode lengths by
  // symbol, sent as far into their order as needed.
  deflate_bits& dynamic_header(int literal_codes, int distance_codes, std::map<int, int> precode,
                               bool final_block = true) {
    static constexpr std::array<int, 19> order = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                  11, 4,  12, 3, 13, 2, 14, 1, 15};
    int sent = 4;
    for (int i = 0; i < 19; ++i)
      if (precode.count(order[i]) != 0)
        sent = std::max(sent, i + 1);
    field(final_block ? 1 : 0, 1)
        .field(2, 2)
        .field(literal_codes - 257, 5)
        .field(distance_codes - 1, 5);
    field(sent - 4, 4);
    for (int i = 0; i < sent; ++i)
      field(precode[order[i]], 3);
    return *this;
  }
  // The zlib stream: header 78 9C, the bits, the adler32 of what they decode to.
  std::string zlib_stream(const std::string& decoded) const {
    const uLong adler =
        adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(decoded.data()),
                static_cast<uInt>(decoded.size()));
    std::string s = "\x78\x9C" + bytes_;
    for (int shift = 24; shift >= 0; shift -= 8)
      s += static_cast<char>((adler >> shift) & 0xFF);
    return s;
  }

private:
  void bit(bool one) {
    if (count_ % 8 == 0)
      bytes_ += '\0';
    if (one)
      bytes_.back() = static_cast<char>(bytes_.back() | 1 << (count_ % 8));
    ++count_;
  }
  std::string bytes_;
  int count_ = 0;
};

// The hand-made dynamic blocks: literal 'a' (code 0), end of block (10),
// length 3 (11); the precode 18:0 1:10 2:110 0:1110 16:1111.
const std::map<int, int> precode = {{18, 1}, {1, 2}, {2, 3}, {0, 4}, {16, 4}};
// The lengths of literal/length codes 0 to 257, as that precode sends them:
// 97 zeros, 1 for 'a', 158 zeros, 2 for end of block and for length 3. The
// distance lengths follow, each stream its own (1 is "10", 0 is "1110").
deflate_bits& literal_lengths(deflate_bits& b) {
  return b.code("0")
      .field(97 - 11, 7)
      .code("10")
      .code("0")
      .field(138 - 11, 7)
      .code("0")
      .field(20 - 11, 7)
      .code("110")
      .code("110");
}
// 'a', then a match of 3 at the distance whose codeword is given, end of block.
deflate_bits& four_a(deflate_bits& b, const char* distance) {
  return b.code("0").code("11").code(distance).code("10");
}

// The same stream with CINFO (the window it declares) changed, its check bits mended.
std::string with_window(std::string stream, int cinfo) {
  stream[0] = static_cast<char>(cinfo << 4 | 8);
  auto flg = static_cast<unsigned char>(stream[1] & 0xE0);
  flg = static_cast<unsigned char>(
      flg + (31 - (static_cast<unsigned char>(stream[0]) * 256 + flg) % 31) % 31);
  stream[1] = static_cast<char>(flg);
  return stream;
}

std::string flipped(std::string stream, std::size_t at, int bit) {
  stream[at] = static_cast<char>(stream[at] ^ 1 << bit);
  return stream;
}

// A zlib stream compressed against a preset dictionary (FDICT set).
std::string with_dictionary(const std::string& data, const std::string& dictionary) {
  z_stream s{};
  deflateInit(&s, Z_DEFAULT_COMPRESSION);
  deflateSetDictionary(&s, reinterpret_cast<const Bytef*>(dictionary.data()),
                       static_cast<uInt>(dictionary.size()));
  std::string out(deflateBound(&s, static_cast<uLong>(data.size())), '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

// Pseudo-random bytes: data no match shortens.
std::string noise(std::size_t n, std::uint32_t seed) {
  std::string s(n, '\0');
  for (char& c : s) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 23);
  }
  return s;
}

std::string prose(std::size_t n) {
  std::string s;
  for (int line = 0; s.size() < n; ++line)
    s += "line " + std::to_string(line * 7919 % 10007) +
         ": the kit unpacks its payload into a new directory\r\n";
  return s.substr(0, n);
}

// zlib's inflate as uncompress() calls it: all input and all room at once.
struct zlib_verdict {
  int code;           // inflate's result
  std::string output; // what it wrote
  std::uint32_t left; // input bytes not consumed
};

zlib_verdict zlib_inflate(const std::string& stream, std::uint32_t capacity) {
  std::string out(capacity, '\0');
  z_stream s{};
  inflateInit(&s);
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  s.avail_in = static_cast<uInt>(stream.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = capacity;
  const int code = inflate(&s, Z_FINISH);
  out.resize(s.total_out);
  const zlib_verdict v{code, out, s.avail_in};
  inflateEnd(&s);
  return v;
}

std::string record(std::int32_t code, const char* message, std::uint32_t left) {
  char line[sys::error_record_bytes];
  const int n = sys::format_error_record(code, message, static_cast<std::int32_t>(left), line);
  return std::string(line, static_cast<std::size_t>(n));
}

TEST(ChunkDecode, EveryStreamGivesZlibsStatusOutputLeftoverAndRecords) {
  const std::string text = prose(20000);
  const std::string good = zlib_compress(text);
  const std::string repeated = noise(300, 7) + noise(300, 7);
  deflate_bits sound, far_back, long_literals, long_distances, overrun, half_used, empty_distances,
      fixed, two_blocks;
  four_a(literal_lengths(sound.dynamic_header(258, 2, precode)).code("10").code("10"), "0");
  four_a(literal_lengths(far_back.dynamic_header(258, 2, precode)).code("10").code("10"), "1");
  four_a(literal_lengths(long_literals.dynamic_header(287, 2, precode))
             .code("0")
             .field(29 - 11, 7) // codes 258 to 286 unused
             .code("10")
             .code("10"),
         "0");
  four_a(literal_lengths(long_distances.dynamic_header(258, 31, precode))
             .code("10")
             .code("10")
             .code("0")
             .field(29 - 11, 7), // distance codes 2 to 30 unused
         "0");
  // The second distance length as "repeat the last 3 times": two past the end.
  four_a(
      literal_lengths(overrun.dynamic_header(258, 2, precode)).code("10").code("1111").field(0, 2),
      "0");
  // One distance codeword, 0, and the stream sends 1.
  four_a(literal_lengths(half_used.dynamic_header(258, 1, precode)).code("10"), "1");
  four_a(literal_lengths(empty_distances.dynamic_header(258, 1, precode)).code("1110"), "0");
  // Fixed codes: 'a', length code 286, distance code 0, end of block.
  const auto fixed_286 = [](deflate_bits& b) -> deflate_bits& {
    return b.field(1, 1)
        .field(1, 2)
        .code("10010001")
        .code("11000110")
        .code("00000")
        .code("0000000");
  };
  fixed_286(fixed);
  // The same behind a sound dynamic block that is not the last.
  fixed_286(four_a(
      literal_lengths(two_blocks.dynamic_header(258, 2, precode, false)).code("10").code("10"),
      "0"));

  struct decode_case {
    const char* what;
    std::string stream;
    std::uint32_t capacity;
    int status;
  };
  const std::vector<decode_case> cases = {
      {"sound", good, 22000, Z_OK},
      {"sound, exactly filling the room", good, 20000, Z_OK},
      {"sound, stored blocks", zlib_compress(noise(20000, 1)), 22000, Z_OK},
      {"sound, bytes after the stream", good + "xyz", 22000, Z_OK},
      {"output larger than the room", good, 19999, Z_BUF_ERROR},
      {"bit flip in the block header", flipped(good, 4, 3), 22000, Z_DATA_ERROR},
      {"bit flip in the data", flipped(good, good.size() / 2, 5), 22000, Z_DATA_ERROR},
      {"bit flip near the end", flipped(good, good.size() - 6, 0), 22000, Z_DATA_ERROR},
      {"wrong adler32", flipped(good, good.size() - 1, 2), 22000, Z_DATA_ERROR},
      {"cut in the data", good.substr(0, good.size() / 2), 22000, Z_DATA_ERROR},
      {"cut in the adler32", good.substr(0, good.size() - 1), 22000, Z_DATA_ERROR},
      {"no input", "", 22000, Z_DATA_ERROR},
      // zlib refuses only distances before the first byte, whatever window
      // the header declares (a zlib built with INFLATE_STRICT would refuse this).
      {"256-byte window, a distance of 300", with_window(zlib_compress(repeated), 0), 22000, Z_OK},
      {"256-byte window, damaged", flipped(with_window(good, 0), 7, 1), 22000, Z_DATA_ERROR},
      {"preset dictionary", with_dictionary(text, "the kit unpacks"), 22000, Z_DATA_ERROR},
      {"hand-made dynamic block", sound.zlib_stream("aaaa"), 22000, Z_OK},
      {"distance before the first byte", far_back.zlib_stream("aaaa"), 22000, Z_DATA_ERROR},
      // libdeflate on its own decodes each of these to the bytes their adler32
      // names; zlib refuses them, so they must never reach libdeflate.
      {"287 literal/length codes", long_literals.zlib_stream("aaaa"), 22000, Z_DATA_ERROR},
      {"31 distance codes", long_distances.zlib_stream("aaaa"), 22000, Z_DATA_ERROR},
      {"code-length repeat past the end", overrun.zlib_stream("aaaa"), 22000, Z_DATA_ERROR},
      {"unused half of a one-codeword code", half_used.zlib_stream("aaaa"), 22000, Z_DATA_ERROR},
      {"empty distance code", empty_distances.zlib_stream("aaaa"), 22000, Z_DATA_ERROR},
      {"fixed length code 286", fixed.zlib_stream(std::string(259, 'a')), 22000, Z_DATA_ERROR},
      {"the same after a dynamic block", two_blocks.zlib_stream(std::string(263, 'a')), 22000,
       Z_DATA_ERROR},
  };

  temp_drive drive;
  fs::create_directory(drive.c() / "VEK");
  const fs::path log = drive.c() / "VEK" / "QXERROR.TXT";
  archive::chunk_decoder decoder; // one for all, as one engine call has
  for (const decode_case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(log);
    std::string out(c.capacity, '\0');
    std::uint32_t length = 12345;
    const int status =
        decoder.decode(reinterpret_cast<const std::uint8_t*>(c.stream.data()),
                       static_cast<std::uint32_t>(c.stream.size()),
                       reinterpret_cast<std::uint8_t*>(out.data()), c.capacity, &length);
    EXPECT_EQ(status, c.status);
    const zlib_verdict z = zlib_inflate(c.stream, c.capacity);
    if (z.code == Z_STREAM_END) {
      EXPECT_EQ(out.substr(0, length), z.output);
      EXPECT_EQ(decoder.unused_input(), z.left);
      EXPECT_EQ(temp_drive::read(log), "");
    } else {
      EXPECT_EQ(length, 0u);
      EXPECT_EQ(decoder.unused_input(), 0u);
      EXPECT_EQ(temp_drive::read(log),
                record(z.code, "inflate 1", z.left) + record(z.code, "inflate 2", z.left));
    }
  }
}

} // namespace
