// Chunk coding with zlib: every chunk a complete zlib stream of its own.
#pragma once

#include <cstdint>
#include <memory>

namespace archive {

// Compresses chunks at zlib's default level. Output is byte for byte what
// zlib's compress() gives; one deflate state serves every chunk of a call.
// Construction does not throw: a state that could not be made answers every
// encode with Z_MEM_ERROR.
class chunk_encoder {
public:
  chunk_encoder();
  ~chunk_encoder();
  chunk_encoder(const chunk_encoder&) = delete;
  chunk_encoder& operator=(const chunk_encoder&) = delete;

  // Whether the deflate state was made (else every encode fails).
  bool ready() const;

  // Compresses in[0..in_length) into out (capacity bytes). Returns zlib's
  // status (Z_OK on success) and sets *out_length.
  int encode(const std::uint8_t* in, std::uint32_t in_length, std::uint8_t* out,
             std::uint32_t capacity, std::uint32_t* out_length);

private:
  struct state;
  std::unique_ptr<state> state_;
};

// Decodes chunks, as zlib's uncompress() does, with one inflate state for a
// whole call. When a stream does not reach its end, two error-log records are
// written: "inflate 1" (before the state is reset) and "inflate 2" (after it),
// each with the inflate result and the count of input bytes not consumed.
// Where the build has libdeflate (VELMORA_HAVE_LIBDEFLATE: Linux), one
// libdeflate decompressor made with the decoder decodes the streams that
// fast_inflate_agrees() admits, and zlib decodes every other stream and every
// one libdeflate does not decode to its end; the results below are zlib's in
// every case.
class chunk_decoder {
public:
  chunk_decoder();
  ~chunk_decoder();
  chunk_decoder(const chunk_decoder&) = delete;
  chunk_decoder& operator=(const chunk_decoder&) = delete;

  // Decodes in[0..in_length) into out (capacity bytes). Returns Z_OK and sets
  // *out_length on success; otherwise Z_DATA_ERROR (also for a missing
  // dictionary, or output that does not fit with all input consumed),
  // Z_BUF_ERROR or Z_MEM_ERROR, and *out_length is 0 (what out then holds is
  // unspecified).
  int decode(const std::uint8_t* in, std::uint32_t in_length, std::uint8_t* out,
             std::uint32_t capacity, std::uint32_t* out_length);

  // The input bytes the last decode left behind the end of its stream. A
  // stream that ends early is still a success (as with uncompress()), so only
  // a check of the archive looks at them. 0 after a failed decode.
  std::uint32_t unused_input() const { return unused_input_; }

private:
  struct state;
  std::unique_ptr<state> state_;
  std::uint32_t unused_input_ = 0;
};

} // namespace archive
