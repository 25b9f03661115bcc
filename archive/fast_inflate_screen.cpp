// Which zlib streams libdeflate may decode in zlib's place: the block headers
// read up to the final block, whose dynamic header is checked against zlib's rules.
#include "archive/fast_inflate_screen.h"

#include <array>

namespace archive {

namespace {

// Deflate's block types.
constexpr std::uint32_t stored_block = 0;
constexpr std::uint32_t dynamic_block = 2;

// zlib's limits on a dynamic header (inflate.c): codes 286 and 287 of the
// literal/length alphabet and 30 and 31 of the distance alphabet do not exist.
constexpr int max_literal_codes = 286;
constexpr int max_distance_codes = 30;

// The precode: 19 symbols of at most 7 bits, their lengths sent in this order.
constexpr int precode_symbols = 19;
constexpr int max_precode_bits = 7;
constexpr std::array<std::uint8_t, precode_symbols> precode_order = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Decoding table of a complete precode, indexed by the next 7 bits of input.
struct precode_entry {
  std::uint8_t symbol = 0;
  std::uint8_t bits = 0;
};
using precode_table = std::array<precode_entry, 1u << max_precode_bits>;

// The deflate data's bits, least significant first, as deflate packs them.
class bit_reader {
public:
  bit_reader(const std::uint8_t* next, const std::uint8_t* end) : next_(next), end_(end) {}

  // The next n bits (n at most 16) into *value; false when the input ends first.
  bool take(int n, std::uint32_t* value) {
    refill();
    if (count_ < n)
      return false;
    *value = static_cast<std::uint32_t>(buffer_ & ((1u << n) - 1));
    drop(n);
    return true;
  }

  // The next symbol of the precode whose table this is; -1 when the input ends first.
  int decode(const precode_table& table) {
    refill();
    const precode_entry entry = table[buffer_ & (table.size() - 1)];
    if (count_ < entry.bits)
      return -1;
    drop(entry.bits);
    return entry.symbol;
  }

  // Skips the rest of a stored block: the bits up to the byte boundary, LEN,
  // NLEN and LEN bytes. False when LEN and NLEN disagree or the input ends first.
  bool skip_stored() {
    next_ -= count_ / 8; // whole bytes read ahead go back; the part byte's bits are dropped
    buffer_ = 0;
    count_ = 0;
    if (end_ - next_ < 4)
      return false;
    const std::uint32_t length = next_[0] | next_[1] << 8;
    const std::uint32_t complement = next_[2] | next_[3] << 8;
    next_ += 4;
    if (length != (~complement & 0xFFFFu) || static_cast<std::uint32_t>(end_ - next_) < length)
      return false;
    next_ += length;
    return true;
  }

private:
  void refill() {
    while (count_ <= 56 && next_ < end_) {
      buffer_ |= std::uint64_t{*next_++} << count_;
      count_ += 8;
    }
  }
  void drop(int n) {
    buffer_ >>= n;
    count_ -= n;
  }

  const std::uint8_t* next_;
  const std::uint8_t* end_;
  std::uint64_t buffer_ = 0; // count_ bits not yet taken, the rest zero
  int count_ = 0;
};

// Whether lengths[0..n) (each 0 to 15) make a complete prefix code: every
// string of bits begins with exactly one codeword. All lengths 0 is not.
bool complete_code(const std::uint8_t* lengths, int n) {
  std::array<int, 16> count{};
  for (int i = 0; i < n; ++i)
    ++count[lengths[i]];
  int left = 1; // codewords still free at the current length
  for (std::size_t bits = 1; bits < count.size(); ++bits) {
    left = 2 * left - count[bits];
    if (left < 0)
      return false; // over-subscribed
  }
  return left == 0;
}

// The table of a complete precode: each codeword, read first bit first,
// fills every index whose low bits are that codeword.
precode_table make_precode_table(const std::array<std::uint8_t, precode_symbols>& lengths) {
  std::array<unsigned, max_precode_bits + 1> count{};
  for (const std::uint8_t bits : lengths)
    ++count[bits];
  count[0] = 0;
  std::array<unsigned, max_precode_bits + 1> next_code{};
  unsigned code = 0;
  for (int bits = 1; bits <= max_precode_bits; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next_code[bits] = code;
  }
  precode_table table{};
  for (int symbol = 0; symbol < precode_symbols; ++symbol) {
    const int bits = lengths[symbol];
    if (bits == 0)
      continue;
    const unsigned codeword = next_code[bits]++;
    unsigned reversed = 0;
    for (int i = 0; i < bits; ++i)
      reversed |= ((codeword >> i) & 1u) << (bits - 1 - i);
    for (unsigned index = reversed; index < table.size(); index += 1u << bits)
      table[index] = {static_cast<std::uint8_t>(symbol), static_cast<std::uint8_t>(bits)};
  }
  return table;
}

// The header of a dynamic block, after BFINAL and BTYPE: true when zlib would
// take it and libdeflate builds the very same codes from it.
bool dynamic_header_agrees(bit_reader& in) {
  std::uint32_t hlit = 0, hdist = 0, hclen = 0;
  if (!in.take(5, &hlit) || !in.take(5, &hdist) || !in.take(4, &hclen))
    return false;
  const int literal_codes = 257 + static_cast<int>(hlit);
  const int distance_codes = 1 + static_cast<int>(hdist);
  if (literal_codes > max_literal_codes || distance_codes > max_distance_codes)
    return false;

  std::array<std::uint8_t, precode_symbols> precode{};
  for (std::uint32_t i = 0; i < hclen + 4; ++i) {
    std::uint32_t bits = 0;
    if (!in.take(3, &bits))
      return false;
    precode[precode_order[i]] = static_cast<std::uint8_t>(bits);
  }
  if (!complete_code(precode.data(), precode_symbols))
    return false;
  const precode_table table = make_precode_table(precode);

  // The lengths of both codes, one run: a repeat may cross from the first
  // code into the second but not past the last length (zlib's "invalid bit
  // length repeat").
  std::array<std::uint8_t, max_literal_codes + max_distance_codes> lengths{};
  const int total = literal_codes + distance_codes;
  for (int i = 0; i < total;) {
    const int symbol = in.decode(table);
    if (symbol < 0)
      return false;
    if (symbol < 16) {
      lengths[i++] = static_cast<std::uint8_t>(symbol);
      continue;
    }
    std::uint32_t extra = 0;
    std::uint8_t value = 0;
    int repeat = 0;
    if (symbol == 16) { // the previous length 3 to 6 times
      if (i == 0 || !in.take(2, &extra))
        return false;
      value = lengths[i - 1];
      repeat = 3 + static_cast<int>(extra);
    } else if (symbol == 17) { // zero 3 to 10 times
      if (!in.take(3, &extra))
        return false;
      repeat = 3 + static_cast<int>(extra);
    } else { // zero 11 to 138 times
      if (!in.take(7, &extra))
        return false;
      repeat = 11 + static_cast<int>(extra);
    }
    if (repeat > total - i)
      return false;
    for (; repeat > 0; --repeat)
      lengths[i++] = value;
  }
  return lengths[256] != 0 && complete_code(lengths.data(), literal_codes) &&
         complete_code(lengths.data() + literal_codes, distance_codes);
}

} // namespace

bool fast_inflate_agrees(const std::uint8_t* in, std::uint32_t in_length) {
  // CMF 0x78: method 8, the 32 KiB window; FLG without FDICT (bit 5).
  if (in_length < 2 || in[0] != 0x78 || (in[1] & 0x20) != 0)
    return false;
  bit_reader bits(in + 2, in + in_length);
  for (;;) {
    std::uint32_t final_block = 0, type = 0;
    if (!bits.take(1, &final_block) || !bits.take(2, &type))
      return false;
    if (type == stored_block) {
      if (!bits.skip_stored())
        return false;
      if (final_block)
        return true;
      continue;
    }
    // A fixed-code block may use the codes zlib forbids, and a Huffman block
    // that is not final hides where the next block starts.
    if (type != dynamic_block || !final_block)
      return false;
    return dynamic_header_agrees(bits);
  }
}

} // namespace archive
