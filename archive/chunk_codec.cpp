// Chunk coding with zlib: compress() and uncompress() with reusable states,
// decoding through libdeflate first where the build has it.
#include "archive/chunk_codec.h"

#include "sys/error_log.h"

#include <new>
#include <zlib.h>

#if defined(VELMORA_HAVE_LIBDEFLATE)
#include "archive/fast_inflate_screen.h"

#include <cstddef>
#include <libdeflate.h>
#endif

namespace archive {

struct chunk_encoder::state {
  z_stream stream{};
  bool ready = false;
};

chunk_encoder::chunk_encoder() : state_(new (std::nothrow) state) {
  if (state_ && deflateInit(&state_->stream, Z_DEFAULT_COMPRESSION) == Z_OK)
    state_->ready = true;
}

chunk_encoder::~chunk_encoder() {
  if (state_ && state_->ready)
    deflateEnd(&state_->stream);
}

bool chunk_encoder::ready() const {
  return state_ && state_->ready;
}

int chunk_encoder::encode(const std::uint8_t* in, std::uint32_t in_length, std::uint8_t* out,
                          std::uint32_t capacity, std::uint32_t* out_length) {
  *out_length = 0;
  if (!ready())
    return Z_MEM_ERROR;
  z_stream& s = state_->stream;
  deflateReset(&s);
  s.next_in = const_cast<Bytef*>(in);
  s.avail_in = in_length;
  s.next_out = out;
  s.avail_out = capacity;
  // All input at once with Z_FINISH: the very call sequence of compress().
  const int err = deflate(&s, Z_FINISH);
  if (err != Z_STREAM_END)
    return err == Z_OK ? Z_BUF_ERROR : err;
  *out_length = static_cast<std::uint32_t>(s.total_out);
  return Z_OK;
}

struct chunk_decoder::state {
  z_stream stream{};
  bool ready = false;
#if defined(VELMORA_HAVE_LIBDEFLATE)
  // Null when it could not be made: every chunk then goes to zlib.
  libdeflate_decompressor* fast = nullptr;
#endif
};

chunk_decoder::chunk_decoder() : state_(new (std::nothrow) state) {
  if (state_ && inflateInit(&state_->stream) == Z_OK)
    state_->ready = true;
#if defined(VELMORA_HAVE_LIBDEFLATE)
  if (state_)
    state_->fast = libdeflate_alloc_decompressor();
#endif
}

chunk_decoder::~chunk_decoder() {
  if (state_ && state_->ready)
    inflateEnd(&state_->stream);
#if defined(VELMORA_HAVE_LIBDEFLATE)
  if (state_)
    libdeflate_free_decompressor(state_->fast);
#endif
}

int chunk_decoder::decode(const std::uint8_t* in, std::uint32_t in_length, std::uint8_t* out,
                          std::uint32_t capacity, std::uint32_t* out_length) {
  *out_length = 0;
  unused_input_ = 0;
  if (!state_ || !state_->ready)
    return Z_MEM_ERROR;
#if defined(VELMORA_HAVE_LIBDEFLATE)
  // libdeflate decodes the streams it agrees on with zlib; what it does not
  // decode to the end, zlib decodes again from the start, so a damaged chunk
  // gives zlib's status and records (out may hold libdeflate's leftovers).
  if (state_->fast && fast_inflate_agrees(in, in_length)) {
    std::size_t used = 0;
    std::size_t produced = 0;
    if (libdeflate_zlib_decompress_ex(state_->fast, in, in_length, out, capacity, &used,
                                      &produced) == LIBDEFLATE_SUCCESS) {
      *out_length = static_cast<std::uint32_t>(produced);
      unused_input_ = in_length - static_cast<std::uint32_t>(used);
      return Z_OK;
    }
  }
#endif
  z_stream& s = state_->stream;
  s.next_in = const_cast<Bytef*>(in);
  s.avail_in = in_length;
  s.next_out = out;
  s.avail_out = capacity;
  int err = inflate(&s, Z_FINISH);
  if (err == Z_OK)
    err = Z_BUF_ERROR; // out of output room: the call could not finish
  if (err == Z_STREAM_END) {
    *out_length = static_cast<std::uint32_t>(s.total_out);
    unused_input_ = s.avail_in;
    inflateReset(&s);
    return Z_OK;
  }
  // The stream did not reach its end: one record while the state still holds
  // the failure, one after it has been let go (reset for the next chunk).
  const auto left_over = static_cast<std::int32_t>(s.avail_in);
  const bool room_left = s.avail_out > 0;
  sys::error_log_write(err, "inflate 1", left_over);
  inflateReset(&s);
  sys::error_log_write(err, "inflate 2", left_over);
  if (err == Z_NEED_DICT || (err == Z_BUF_ERROR && room_left))
    return Z_DATA_ERROR; // a dictionary stream, or input that ended early
  return err;
}

} // namespace archive
