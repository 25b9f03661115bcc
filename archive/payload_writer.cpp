// Building ("PU", "PV", "PUA", "PVA"): writes a payload archive of a directory
// tree, optionally behind a copy of a stub and followed by ten trailer bytes.
// Every file of the tree is in the archive, or the build fails naming it.
#include "archive/chunk_codec.h"
#include "archive/engine_call.h"
#include "archive/tree_walk.h"
#include "sys/file_layer.h"
#include "sys/platform.h"
#include "sys/text_fields.h"

#include <cstring>

namespace archive {

namespace {

// Stub bytes are copied in pieces of this size.
constexpr std::uint16_t stub_piece_bytes = 32000;

// The end-of-archive record holds the archive total in 32 bits.
constexpr std::uint64_t max_archive_total = 0xFFFFFFFFu;

// Finds the nine marker characters in a stream of pieces: an installer whose
// stub holds them would start its extraction at the wrong place.
class marker_search {
public:
  // Whether the marker has been seen, in this piece or across pieces.
  bool feed(const std::uint8_t* piece, int n) {
    for (int i = 0; i < n && matched_ < marker_chars; ++i) {
      const char c = static_cast<char>(piece[i]);
      if (c == expected(matched_))
        ++matched_;
      else // the first marker character occurs only first in the marker
        matched_ = c == marker_first ? 1 : 0;
    }
    return matched_ == marker_chars;
  }

private:
  static char expected(int i) {
    return i == 0 ? marker_first : marker_template[static_cast<std::size_t>(i)];
  }
  int matched_ = 0;
};

struct build {
  engine_call& call;
  sys::file_handle archive_file;
  chunk_encoder encoder;
  std::uint64_t archive_total = 0;
  std::uint32_t compressed_total = 0;
  std::uint32_t written = 0; // bytes in the archive file
  bool report_progress = false;
  bool write_failed = false;
  std::uint32_t write_error = 0;

  // Writes all of data, or notes the failure (logged by the file layer).
  void put(const void* data, int n) {
    if (write_failed)
      return;
    if (sys::file_write(archive_file, data, static_cast<std::uint16_t>(n)) != n) {
      write_failed = true;
      write_error = sys::file_last_error();
      return;
    }
    written += static_cast<std::uint32_t>(n);
  }

  void put_header(std::uint8_t type, int length) {
    const std::uint8_t h[record_header_bytes] = {type, static_cast<std::uint8_t>(length),
                                                 static_cast<std::uint8_t>(length >> 8)};
    put(h, record_header_bytes);
  }

  int write_failure() {
    return call.fail(status::archive_create_failed, failure_reason::platform, call.source,
                     write_error);
  }

  // The stub, byte for byte.
  int copy_stub(sys::file_handle stub, const char* stub_path) {
    std::uint8_t* piece = call.read_area.get();
    for (;;) {
      const int n = sys::file_read(stub, piece, stub_piece_bytes);
      if (n < 0)
        return call.fail(status::archive_create_failed, failure_reason::platform, stub_path,
                         sys::file_last_error());
      archive_total += static_cast<std::uint32_t>(n);
      put(piece, n);
      if (n == 0)
        return write_failed ? write_failure() : status::success;
    }
  }

  // Takes the records of a file that cannot be completed out again, so the
  // archive holds complete files only, and returns code.
  int drop_file(std::uint32_t start, int code) {
    sys::file_cut(archive_file, start);
    written = start;
    return code;
  }

  // One file: its name record, its chunks, its end-of-file record.
  int add_file(const char* path) {
    const int path_length = static_cast<int>(std::strlen(path));
    if (path_length > max_stored_name)
      return call.fail(status::build_source_failed, failure_reason::name_too_long, path);
    sys::scoped_file source(sys::file_open_unfolded(path, sys::open_mode::read_shared));
    if (!source.ok())
      return call.fail(status::build_source_failed, failure_reason::platform, path,
                       sys::file_last_error());
    sys::file_information before;
    if (sys::file_status(source.get(), &before) != 0)
      return call.fail(status::build_source_failed, failure_reason::platform, path,
                       sys::file_last_error());
    const std::uint64_t size = before.size;
    if (archive_total + size > max_archive_total)
      return call.fail(status::build_source_failed, failure_reason::archive_too_large, path);

    const std::uint32_t start = written;
    put_header(record::file_name, path_length);
    put(path, path_length);

    std::uint8_t* piece = call.read_area.get();
    std::uint8_t* chunk = call.record_area.get();
    std::uint64_t read_total = 0;
    // Until a read delivers less than a whole piece: a file whose size is a
    // multiple of the piece size, the empty file too, ends with an empty chunk.
    for (;;) {
      const int n = sys::file_read(source.get(), piece, chunk_bytes);
      if (n < 0)
        return drop_file(start, call.fail(status::build_source_failed, failure_reason::platform,
                                          path, sys::file_last_error()));
      read_total += static_cast<std::uint32_t>(n);
      if (read_total > size) // grew while it is read: stop before the total overflows
        return drop_file(start, call.fail(status::build_source_failed,
                                          failure_reason::changed_while_read, path));
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
        call.progress(static_cast<std::uint32_t>(archive_total), compressed_total);
      if (n != chunk_bytes)
        break;
    }
    put_header(record::end_of_file, 0);
    if (write_failed)
      return write_failure();

    // The bytes read are the file as it was opened, or the archive would hold
    // a file that never existed: the size and times are the same after.
    sys::file_information after;
    if (sys::file_status(source.get(), &after) != 0 || !sys::unchanged(before, after) ||
        read_total != size)
      return drop_file(
          start, call.fail(status::build_source_failed, failure_reason::changed_while_read, path));
    return status::success;
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

// Opens the stub and reads it through once: a stub that holds the marker is
// refused before anything is written. Leaves the stub at its start.
int open_stub(engine_call& call, sys::scoped_file& stub) {
  const char* path = call.command.data() + 3;
  if (!call.has_terminator)
    return call.fail(status::archive_create_failed, failure_reason::path_too_long, path);
  stub.reset(call.open_caller_path(path, sys::open_mode::read_exclusive));
  if (!stub.ok())
    return call.fail(status::archive_create_failed, failure_reason::platform, path,
                     sys::file_last_error());
  marker_search search;
  std::uint8_t* piece = call.read_area.get();
  for (;;) {
    const int n = sys::file_read(stub.get(), piece, stub_piece_bytes);
    if (n < 0)
      return call.fail(status::archive_create_failed, failure_reason::platform, path,
                       sys::file_last_error());
    if (search.feed(piece, n))
      return call.fail(status::archive_create_failed, failure_reason::marker_in_stub, path);
    if (n == 0)
      break;
  }
  if (sys::file_seek(stub.get(), 0, sys::seek_from::start) != 0)
    return call.fail(status::archive_create_failed, failure_reason::platform, path,
                     sys::current_platform().last_error());
  return status::success;
}

} // namespace

int build_payload(engine_call& call) {
  if (call.spec_too_long)
    return call.fail(status::build_source_failed, failure_reason::path_too_long, call.spec);
  if (strnlen(call.source, sys::max_path_chars + 1) > sys::max_path_chars)
    return call.fail(status::archive_create_failed, failure_reason::path_too_long, call.source);
  // A spec without a directory part would store names the extractor cannot
  // place: refused before anything is written.
  const int strip = strip_length(call.spec);
  if (strip == 0)
    return call.fail(status::build_source_failed, failure_reason::platform, call.spec,
                     sys::error::invalid_name);

  // The stub is opened before the archive is created, so a missing stub
  // leaves nothing behind (and a stub that is the archive itself is refused).
  const bool with_stub = call.command[2] == 'A';
  sys::scoped_file stub;
  if (with_stub)
    if (const int code = open_stub(call, stub); code != status::success)
      return code;

  sys::scoped_file archive_file(call.open_caller_path(call.source, sys::open_mode::create));
  if (!archive_file.ok())
    return call.fail(status::archive_create_failed, failure_reason::platform, call.source,
                     sys::file_last_error());

  build b{call, archive_file.get(), chunk_encoder(), 0, 0, 0, call.command[1] == 'V', false, 0};
  if (with_stub)
    if (const int code = b.copy_stub(stub.get(), call.command.data() + 3); code != status::success)
      return code;
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

  const auto total = static_cast<std::uint32_t>(b.archive_total);
  const std::uint8_t end[end_of_archive_bytes] = {
      record::end_of_archive, static_cast<std::uint8_t>(total),
      static_cast<std::uint8_t>(total >> 8), static_cast<std::uint8_t>(total >> 16),
      static_cast<std::uint8_t>(total >> 24)};
  b.put(end, end_of_archive_bytes);
  if (with_stub)
    b.put(call.trailer.data(), trailer_bytes);
  if (b.write_failed)
    return b.write_failure();
  // A file system may report a write error only when the file is closed.
  if (archive_file.close() != 0)
    return call.fail(status::archive_create_failed, failure_reason::platform, call.source,
                     sys::file_last_error());
  return status::success;
}

} // namespace archive
