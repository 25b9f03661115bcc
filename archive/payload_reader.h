// Reading a payload archive: buffered reads over the file layer, the marker
// scan and record headers.
#pragma once

#include "archive/chunk_codec.h"
#include "sys/file_layer.h"

#include <cstdint>

namespace archive {

// A record header as read: type, and the 16-bit payload length.
struct record_header {
  std::uint8_t type = 0;
  std::uint16_t length = 0;
};

// Buffered reading of an open file through the file layer, in transfers of up
// to 32,767 bytes into a caller's buffer. The handle stays the caller's.
class payload_reader {
public:
  payload_reader(sys::file_handle file, std::uint8_t* buffer, int capacity);

  // Copies up to n bytes to out. Returns the count delivered: n, fewer at the
  // end of the file, 0 at its end, or -2 when the file layer failed (logged
  // there) and nothing was left in the buffer.
  int read(void* out, int n);

  // Finds the marker: reads until the nine marker characters have come in
  // sequence. A mismatching byte is not tested as the start of a new marker.
  // True when found (the next byte is the strip length), false at the end of
  // the file or on a read failure.
  bool find_marker();

  // Reads a record header. Returns the count of header bytes delivered (0 at
  // the end of the file, 1 or 2 when it ends inside the header, 3, or -2);
  // *h is filled from what was delivered (missing bytes read as 0).
  int read_header(record_header* h);

  // Whether a read of the file failed (logged by the file layer): what
  // looks like the archive's end may be that failure.
  bool failed() const { return failed_; }

  // The offset in the file of the next byte read.
  std::uint32_t position() const { return consumed_; }

private:
  int next_byte(); // 0..255, or -1 at the end or on failure
  // Consumes bytes up to and including the next marker_first; false at the
  // end of the file or on a read failure.
  bool skip_to_marker_start();
  bool fill();

  sys::file_handle file_;
  std::uint8_t* buffer_;
  int capacity_;
  int begin_ = 0;
  int end_ = 0;
  bool failed_ = false;
  std::uint32_t consumed_ = 0;
};

// What read_file_record found.
struct file_record {
  bool end_of_file = false;     // the end-of-file record (no chunk)
  std::uint32_t compressed = 0; // a chunk's payload bytes
  std::uint32_t decoded = 0;    // the bytes it decoded to
  std::uint32_t unused = 0;     // payload bytes behind the chunk's zlib stream
};

// Reads the next record inside a file: a chunk, decoded into decoded (room
// for decoded_capacity bytes) through compressed (room for one transfer), or
// the end-of-file record. Returns status::success (0); truncated_record when
// the header or the chunk's payload is cut short by the end of the archive or
// a failed read; bad_file_record for any other record, or a chunk longer than
// one transfer can carry; chunk_decode_failed when the chunk does not decode
// (the status constants of archive/run_archive_command.h). After
// truncated_record for a payload and after chunk_decode_failed, decoded holds
// nothing usable and the decoder has written its error-log records for a
// stream that does not end (a cut payload is decoded as far as it came).
// Bytes behind a chunk's stream are no failure; *out counts them.
int read_file_record(payload_reader& reader, chunk_decoder& decoder, std::uint8_t* compressed,
                     std::uint8_t* decoded, file_record* out);

} // namespace archive
