// Reading a payload archive: buffered reads, the marker scan, record headers.
#include "archive/payload_reader.h"

#include "archive/format.h"
#include "archive/run_archive_command.h"

#include <algorithm>
#include <cstring>

namespace archive {

payload_reader::payload_reader(sys::file_handle file, std::uint8_t* buffer, int capacity)
    : file_(file), buffer_(buffer), capacity_(std::min<int>(capacity, sys::max_transfer_bytes)) {}

bool payload_reader::fill() {
  if (failed_)
    return false;
  const int n = sys::file_read(file_, buffer_, static_cast<std::uint16_t>(capacity_));
  if (n < 0)
    failed_ = true;
  begin_ = 0;
  end_ = n > 0 ? n : 0;
  return n > 0;
}

int payload_reader::read(void* out, int n) {
  auto* dst = static_cast<std::uint8_t*>(out);
  int done = 0;
  while (done < n) {
    if (begin_ == end_ && !fill())
      break;
    const int take = std::min(n - done, end_ - begin_);
    std::memcpy(dst + done, buffer_ + begin_, static_cast<std::size_t>(take));
    begin_ += take;
    done += take;
  }
  consumed_ += static_cast<std::uint32_t>(done);
  return done == 0 && failed_ ? sys::failed_handle : done;
}

int payload_reader::next_byte() {
  if (begin_ == end_ && !fill())
    return -1;
  ++consumed_;
  return buffer_[begin_++];
}

bool payload_reader::skip_to_marker_start() {
  for (;;) {
    if (begin_ == end_ && !fill())
      return false;
    const void* found =
        std::memchr(buffer_ + begin_, marker_first, static_cast<std::size_t>(end_ - begin_));
    if (found) {
      const int at = static_cast<int>(static_cast<const std::uint8_t*>(found) - buffer_);
      consumed_ += static_cast<std::uint32_t>(at + 1 - begin_);
      begin_ = at + 1;
      return true;
    }
    consumed_ += static_cast<std::uint32_t>(end_ - begin_);
    begin_ = end_;
  }
}

bool payload_reader::find_marker() {
  for (;;) {
    // Outside a partial match only the first marker character matters: jump
    // to it; the byte-by-byte matching below keeps its rules.
    if (!skip_to_marker_start())
      return false;
    int c = 0;
    int matched = 1;
    while (matched < marker_chars) {
      c = next_byte();
      if (c < 0)
        return false;
      if (c != static_cast<unsigned char>(marker_template[static_cast<std::size_t>(matched)]))
        break; // the mismatching byte is consumed, not tested as a new start
      ++matched;
    }
    if (matched == marker_chars)
      return true;
  }
}

int payload_reader::read_header(record_header* h) {
  std::uint8_t bytes[record_header_bytes] = {};
  const int n = read(bytes, record_header_bytes);
  h->type = bytes[0];
  h->length = static_cast<std::uint16_t>(bytes[1] | bytes[2] << 8);
  return n;
}

int read_file_record(payload_reader& reader, chunk_decoder& decoder, std::uint8_t* compressed,
                     std::uint8_t* decoded, file_record* out) {
  *out = file_record{};
  record_header h;
  if (reader.read_header(&h) < record_header_bytes)
    return status::truncated_record;
  if (h.type == record::end_of_file) {
    out->end_of_file = true;
    return status::success;
  }
  if (h.type != record::chunk || h.length > sys::max_transfer_bytes)
    return status::bad_file_record;
  const int got = reader.read(compressed, h.length);
  if (got != h.length) {
    // The archive ends inside the chunk: what came is decoded all the same, so
    // the stream that does not end is logged as any other, and then dropped.
    std::uint32_t dropped = 0;
    decoder.decode(compressed, got > 0 ? static_cast<std::uint32_t>(got) : 0, decoded,
                   decoded_capacity, &dropped);
    return status::truncated_record;
  }
  if (decoder.decode(compressed, h.length, decoded, decoded_capacity, &out->decoded) != 0)
    return status::chunk_decode_failed;
  out->compressed = h.length;
  out->unused = decoder.unused_input();
  return status::success;
}

} // namespace archive
