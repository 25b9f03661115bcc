// Building ("PU", "PV", "PUA", "PVA"): writes a payload archive of a directory
// tree, optionally behind a copy of a stub and followed by ten trailer bytes.
#include "archive/chunk_codec.h"
#include "archive/engine_call.h"
#include "archive/tree_walk.h"
#include "sys/file_layer.h"

#include <cstring>

namespace archive {

namespace {

// Stub bytes are copied in pieces of this size.
constexpr std::uint16_t stub_piece_bytes = 32000;

struct build {
  engine_call& call;
  sys::file_handle archive_file;
  chunk_encoder encoder;
  std::uint32_t archive_total = 0;
  std::uint32_t compressed_total = 0;
  bool report_progress = false;
  bool write_failed = false;

  // Writes all of data, or notes the failure (logged by the file layer).
  void put(const void* data, int n) {
    if (!write_failed && sys::file_write(archive_file, data, static_cast<std::uint16_t>(n)) != n)
      write_failed = true;
  }

  void put_header(std::uint8_t type, int length) {
    const std::uint8_t h[record_header_bytes] = {type, static_cast<std::uint8_t>(length),
                                                 static_cast<std::uint8_t>(length >> 8)};
    put(h, record_header_bytes);
  }

  // The stub, byte for byte. False when a read fails.
  bool copy_stub(sys::file_handle stub) {
    std::uint8_t* piece = call.read_area.get();
    for (;;) {
      const int n = sys::file_read(stub, piece, stub_piece_bytes);
      if (n < 0)
        return false;
      archive_total += static_cast<std::uint32_t>(n);
      put(piece, n);
      if (n == 0)
        return true;
    }
  }

  // One file: its name record, its chunks, its end-of-file record.
  int add_file(const char* path) {
    sys::scoped_file source(sys::file_open(path, sys::open_mode::read_shared));
    if (!source.ok())
      return status::build_source_failed;
    const int path_length = static_cast<int>(std::strlen(path));
    const int stored = path_length < max_stored_name ? path_length : max_stored_name;
    put_header(record::file_name, stored);
    put(path, stored);

    std::uint8_t* piece = call.read_area.get();
    std::uint8_t* chunk = call.record_area.get();
    // Until a read delivers less than a whole piece: a file whose size is a
    // multiple of the piece size, the empty file too, ends with an empty chunk.
    for (;;) {
      const int n = sys::file_read(source.get(), piece, chunk_bytes);
      if (n < 0)
        return status::build_source_failed; // a source that cannot be read
      std::uint32_t length = 0;
      encoder.encode(piece, static_cast<std::uint32_t>(n), chunk + record_header_bytes,
                     compressed_capacity, &length);
      compressed_total += length;
      chunk[0] = record::chunk;
      chunk[1] = static_cast<std::uint8_t>(length);
      chunk[2] = static_cast<std::uint8_t>(length >> 8);
      put(chunk, record_header_bytes + static_cast<int>(length));
      archive_total += static_cast<std::uint32_t>(n);
      if (report_progress)
        call.progress(archive_total, compressed_total);
      if (n != chunk_bytes)
        break;
    }
    put_header(record::end_of_file, 0);
    return write_failed ? status::archive_create_failed : status::success;
  }

  static int visit(const char* path, std::uint32_t, void* context) {
    return static_cast<build*>(context)->add_file(path);
  }
};

// The strip length: the index of the source spec's last backslash, searched from its
// end down to index 1; 0 when there is none.
int strip_length(const char* spec) {
  const int n = static_cast<int>(strnlen(spec, max_spec_chars));
  for (int i = n - 1; i >= 1; --i)
    if (spec[i] == '\\')
      return i;
  return 0;
}

} // namespace

int build_payload(engine_call& call) {
  // A spec without a directory part would store names the extractor cannot
  // place: refused before anything is written.
  const int strip = strip_length(call.spec);
  if (strip == 0)
    return status::build_source_failed;

  // The stub is opened before the archive is created, so a missing stub
  // leaves nothing behind (and a stub that is the archive itself is refused).
  const bool with_stub = call.command[2] == 'A';
  sys::scoped_file stub;
  if (with_stub) {
    if (!call.has_terminator)
      return status::archive_create_failed;
    stub.reset(sys::file_open(call.command.data() + 3, sys::open_mode::read_exclusive));
    if (!stub.ok())
      return status::archive_create_failed;
  }

  sys::scoped_file archive_file(sys::file_open(call.source, sys::open_mode::create));
  if (!archive_file.ok())
    return status::archive_create_failed;

  build b{call, archive_file.get(), chunk_encoder(), 0, 0, call.command[1] == 'V', false};
  if (with_stub && !b.copy_stub(stub.get()))
    return status::archive_create_failed;
  stub.reset();

  std::uint8_t marker[marker_record_bytes + record_header_bytes] = {record::file_name, 10, 0};
  std::memcpy(marker + 3, marker_template.data(), marker_template.size());
  marker[3] = static_cast<std::uint8_t>(marker_first);
  marker[12] = static_cast<std::uint8_t>(strip);
  marker[13] = record::end_of_file; // the empty end-of-file record
  b.put(marker, sizeof marker);

  const int walked = walk_tree(call, &build::visit, &b, status::build_source_failed);
  if (walked != status::success)
    return walked;

  const std::uint32_t total = b.archive_total;
  const std::uint8_t end[end_of_archive_bytes] = {
      record::end_of_archive, static_cast<std::uint8_t>(total),
      static_cast<std::uint8_t>(total >> 8), static_cast<std::uint8_t>(total >> 16),
      static_cast<std::uint8_t>(total >> 24)};
  b.put(end, end_of_archive_bytes);
  if (with_stub)
    b.put(call.trailer.data(), trailer_bytes);
  return b.write_failed ? status::archive_create_failed : status::success;
}

} // namespace archive
