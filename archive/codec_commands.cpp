// The codec test commands: "PC" compresses ZIPORG.TXT into ZIPIN.TXT, "PB"
// decompresses ZIPIN.TXT into ZIPUT.TXT, each file a 32-bit little-endian
// length and its data, in the working directory.
#include "archive/chunk_codec.h"
#include "archive/engine_call.h"
#include "sys/file_layer.h"
#include "sys/little_endian.h"

#include <zlib.h>

namespace archive {

namespace {

constexpr const char* original_file = "ZIPORG.TXT";
constexpr const char* compressed_file = "ZIPIN.TXT";
constexpr const char* decoded_file = "ZIPUT.TXT";

// Room the codecs write into.
constexpr std::uint32_t codec_capacity = 250000;
// Most data "PC" takes from ZIPORG.TXT.
constexpr int max_original_bytes = 32000;
// "PB" moves data in pieces of this size.
constexpr std::uint16_t piece_bytes = 2048;

} // namespace

// "PB". ZIPIN.TXT is read whole before ZIPUT.TXT is created, so input that is
// too large for the work area ('y') or that does not decode ('s', with the
// decoder's two error-log records) leaves no ZIPUT.TXT behind.
int decompress_test(engine_call& call) {
  std::uint8_t* input = call.record_area.get();
  std::uint8_t* output = call.read_area.get();
  std::uint32_t input_length = 0;
  {
    sys::scoped_file in(sys::file_open(compressed_file, sys::open_mode::read_shared));
    if (!in.ok())
      return status::codec_input_failed;
    std::uint8_t length_field[4];
    sys::file_read(in.get(), length_field, 4);
    for (;;) {
      if (input_length + piece_bytes > static_cast<std::uint32_t>(work_area_bytes)) {
        // Full: only acceptable when nothing is left to read.
        std::uint8_t probe;
        if (sys::file_read(in.get(), &probe, 1) != 0)
          return status::codec_input_failed;
        break;
      }
      const int n = sys::file_read(in.get(), input + input_length, piece_bytes);
      if (n < 0)
        return status::codec_input_failed;
      input_length += static_cast<std::uint32_t>(n);
      if (n != piece_bytes)
        break;
    }
  }

  std::uint32_t decoded = 0;
  chunk_decoder decoder;
  if (decoder.decode(input, input_length, output, codec_capacity, &decoded) != Z_OK)
    return status::chunk_decode_failed;

  sys::scoped_file out(sys::file_open(decoded_file, sys::open_mode::create));
  if (!out.ok())
    return status::codec_output_failed;
  std::uint8_t length_field[4];
  sys::put_le32(length_field, decoded);
  bool written = sys::file_write(out.get(), length_field, 4) == 4;
  for (std::uint32_t at = 0; written && at < decoded; at += piece_bytes) {
    const auto n =
        static_cast<std::uint16_t>(decoded - at < piece_bytes ? decoded - at : piece_bytes);
    written = sys::file_write(out.get(), output + at, n) == n;
  }
  return written ? status::success : status::codec_output_failed;
}

// "PC". The length field N must be at most 32,000 and no more than the data
// that follows it; otherwise ZIPORG.TXT is refused (130) and nothing is
// written. A compression failure (only for want of memory) is reported as
// 131: no ZIPIN.TXT is written.
int compress_test(engine_call& call) {
  std::uint8_t* input = call.read_area.get();
  std::uint8_t* output = call.record_area.get();
  std::uint32_t n = 0;
  {
    sys::scoped_file in(sys::file_open(original_file, sys::open_mode::read_shared));
    if (!in.ok())
      return status::compress_input_failed;
    std::uint8_t length_field[4];
    if (sys::file_read(in.get(), length_field, 4) != 4)
      return status::compress_input_failed;
    n = sys::get_le32(length_field);
    const int got = sys::file_read(in.get(), input, max_original_bytes);
    if (got < 0 || n > static_cast<std::uint32_t>(got))
      return status::compress_input_failed;
  }

  uLongf length = codec_capacity;
  if (compress2(output + 4, &length, input, n, Z_DEFAULT_COMPRESSION) != Z_OK)
    return status::compress_output_failed;

  sys::scoped_file out(sys::file_open(compressed_file, sys::open_mode::create));
  if (!out.ok())
    return status::compress_output_failed;
  sys::put_le32(output, static_cast<std::uint32_t>(length));
  const int total = static_cast<int>(length) + 4;
  return sys::file_write(out.get(), output, static_cast<std::uint16_t>(total)) == total
             ? status::success
             : status::compress_output_failed;
}

} // namespace archive
