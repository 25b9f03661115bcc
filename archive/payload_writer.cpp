// Building ("PU", "PV", "PUA", "PVA"): writes a payload archive of a directory
// tree, optionally behind a copy of a stub and followed by ten trailer bytes.
// Every file of the tree is in the archive, or the build fails naming it.
// An installer (a build with a stub) is brought to a length that is a
// multiple of eight by zero bytes between the stub and the marker record.
#include "archive/chunk_batch.h"
#include "archive/chunk_codec.h"
#include "archive/engine_call.h"
#include "archive/trailer.h"
#include "archive/tree_walk.h"
#include "sys/file_layer.h"
#include "sys/platform.h"
#include "sys/text_fields.h"

#include <array>
#include <cstring>
#include <memory>

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

// The archive file, written through a buffer: one write for many records.
// Bytes count as written when put; a failure to write them is found when the
// buffer is drained, and is the archive's failure wherever it is found.
class archive_output {
public:
  explicit archive_output(sys::file_handle file)
      : file_(file), buffer_(std::make_unique<std::uint8_t[]>(buffer_bytes)) {}

  // Adds data[0..n), n at most buffer_bytes.
  void put(const void* data, int n) {
    if (failed_)
      return;
    if (buffered_ + n > buffer_bytes)
      drain();
    std::memcpy(buffer_.get() + buffered_, data, static_cast<std::size_t>(n));
    buffered_ += n;
  }

  // Writes what the buffer holds; false once a write has failed.
  bool drain() {
    if (!failed_ && buffered_ > 0) {
      if (sys::file_write(file_, buffer_.get(), static_cast<std::uint16_t>(buffered_)) !=
          buffered_) {
        failed_ = true;
        error_ = sys::file_last_error();
      } else {
        in_file_ += static_cast<std::uint32_t>(buffered_);
      }
    }
    buffered_ = 0;
    return !failed_;
  }

  // Takes every byte from offset on out again.
  void cut(std::uint32_t offset) {
    if (offset >= in_file_) {
      buffered_ = static_cast<int>(offset - in_file_);
      return;
    }
    buffered_ = 0;
    sys::file_cut(file_, offset);
    in_file_ = offset;
  }

  std::uint32_t size() const { return in_file_ + static_cast<std::uint32_t>(buffered_); }
  bool failed() const { return failed_; }
  std::uint32_t error() const { return error_; }

private:
  // The file layer writes at most 32,767 bytes at once; a chunk record and a
  // piece of the stub fit.
  static constexpr int buffer_bytes = 32000;

  sys::file_handle file_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  int buffered_ = 0;
  std::uint32_t in_file_ = 0;
  bool failed_ = false;
  std::uint32_t error_ = 0;
};

// A build reads its files into a batch of pieces, has the batch compressed
// (on one thread or several) and writes the records in order; the archive,
// the progress hook's calls and every failure are what reading, compressing
// and writing one piece at a time gives.
struct build {
  engine_call& call;
  archive_output& output;
  chunk_batch& batch;
  chunk_encoder encoder{};         // the calling thread's
  std::uint64_t archive_total = 0; // stub bytes and every piece read
  std::uint64_t written_total = 0; // stub bytes and every piece written
  std::uint32_t compressed_total = 0;
  std::uint32_t file_start = 0; // where the records of the last file begun lie
  bool report_progress = false;
  // A file's stored name is name_prefix followed by its path from
  // path_prefix_length on (its path below the source spec's directory).
  const char* name_prefix = nullptr;
  int name_prefix_length = 0;
  int path_prefix_length = 0;

  void put(const void* data, int n) { output.put(data, n); }

  void put_header(std::uint8_t type, int length) {
    const std::uint8_t h[record_header_bytes] = {type, static_cast<std::uint8_t>(length),
                                                 static_cast<std::uint8_t>(length >> 8)};
    put(h, record_header_bytes);
  }

  int write_failure() {
    return call.fail(status::archive_create_failed, failure_reason::platform, call.source,
                     output.error());
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
      written_total += static_cast<std::uint32_t>(n);
      put(piece, n);
      if (n == 0)
        return output.failed() ? write_failure() : status::success;
    }
  }

  // One piece's records: the file's name record before its first piece, the
  // chunk record, the end-of-file record behind its last. A file whose
  // records could not all be written ends the build.
  int write_piece(const file_piece& p) {
    if (p.first) {
      file_start = output.size();
      put_header(record::file_name, p.name_length);
      put(p.name.data(), p.name_length);
    }
    put(p.record, record_header_bytes + static_cast<int>(p.compressed));
    compressed_total += p.compressed;
    written_total += p.length;
    if (report_progress)
      call.progress(static_cast<std::uint32_t>(written_total), compressed_total);
    if (!p.last)
      return status::success;
    put_header(record::end_of_file, 0);
    return output.failed() ? write_failure() : status::success;
  }

  // Compresses and writes the batch, and empties it.
  int flush() {
    batch.compress(encoder);
    int code = status::success;
    for (int i = 0; i < batch.size() && code == status::success; ++i)
      code = write_piece(batch[i]);
    batch.clear();
    return code;
  }

  // Ends the build at a failure of the file being read, path: the files
  // before it are written first, and a write failure among them is the
  // build's failure instead, as it would have been had each piece been
  // written at once. With pieces of the file taken, its records are taken out
  // again, so the archive holds complete files only. Returns the status.
  int stop(int code, failure_reason why, const char* path, std::uint32_t error, bool pieces_taken,
           std::uint32_t detail = 0) {
    if (const int earlier = flush(); earlier != status::success)
      return earlier;
    if (pieces_taken)
      output.cut(file_start);
    if (!output.drain())
      return write_failure();
    return call.fail(code, why, path, error, nullptr, detail);
  }

  // One file: its name record, its chunks, its end-of-file record.
  int add_file(const char* path) {
    const char* below = path + path_prefix_length;
    const int below_length = static_cast<int>(std::strlen(below));
    const int name_length = name_prefix_length + below_length;
    if (name_length > max_stored_name)
      return stop(status::build_source_failed, failure_reason::name_too_long, path, 0, false,
                  static_cast<std::uint32_t>(name_length));
    sys::scoped_file source(sys::file_open_unfolded(path, sys::open_mode::read_shared));
    if (!source.ok())
      return stop(status::build_source_failed, failure_reason::platform, path,
                  sys::file_last_error(), false);
    sys::file_information before;
    if (sys::file_status(source.get(), &before) != 0)
      return stop(status::build_source_failed, failure_reason::platform, path,
                  sys::file_last_error(), false);
    const std::uint64_t size = before.size;
    if (archive_total + size > max_archive_total)
      return stop(status::build_source_failed, failure_reason::archive_too_large, path, 0, false);

    std::uint64_t read_total = 0;
    bool taken = false;
    // Until a read delivers less than a whole piece: a file whose size is a
    // multiple of the piece size, the empty file too, ends with an empty chunk.
    for (;;) {
      if (batch.full())
        if (const int code = flush(); code != status::success)
          return code;
      file_piece& p = batch.next();
      const int n = sys::file_read(source.get(), p.data, chunk_bytes);
      if (n < 0)
        return stop(status::build_source_failed, failure_reason::platform, path,
                    sys::file_last_error(), taken);
      read_total += static_cast<std::uint32_t>(n);
      if (read_total > size) // grew while it is read: stop before the total overflows
        return stop(status::build_source_failed, failure_reason::changed_while_read, path, 0,
                    taken);
      p.length = static_cast<std::uint32_t>(n);
      p.first = !taken;
      p.last = n != chunk_bytes;
      if (p.first) {
        p.name_length = name_length;
        std::memcpy(p.name.data(), name_prefix, static_cast<std::size_t>(name_prefix_length));
        std::memcpy(p.name.data() + name_prefix_length, below,
                    static_cast<std::size_t>(below_length));
      }
      batch.take();
      taken = true;
      archive_total += static_cast<std::uint32_t>(n);
      if (p.last)
        break;
    }

    // The bytes read are the file as it was opened, or the archive would hold
    // a file that never existed: the size and times are the same after.
    sys::file_information after;
    if (sys::file_status(source.get(), &after) != 0 || !sys::unchanged(before, after) ||
        read_total != size)
      return stop(status::build_source_failed, failure_reason::changed_while_read, path, 0, true);
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

// Makes an installer's length a multiple of installer_alignment: the records
// from the marker record at marker_at to the end are moved further on, from
// the last piece to the first, and zero bytes fill the gap in front of the
// marker record. A signing tool then pads nothing in front of its certificate
// table, so the archive trailer stays the 15 bytes in front of the table. The
// padding is no part of the archive total. area holds stub_piece_bytes.
int pad_installer(engine_call& call, sys::file_handle file, std::uint32_t marker_at,
                  std::uint32_t end, std::uint8_t* area) {
  const std::uint32_t padding =
      (installer_alignment - end % installer_alignment) % installer_alignment;
  if (std::uint64_t{end} + padding > max_installer_bytes)
    return call.fail(status::archive_create_failed, failure_reason::installer_too_large,
                     call.source);
  if (padding == 0)
    return status::success;
  for (std::uint32_t at = end; at > marker_at;) {
    const std::uint32_t n = at - marker_at < stub_piece_bytes ? at - marker_at : stub_piece_bytes;
    at -= n;
    if (sys::file_seek(file, at, sys::seek_from::start) < 0 ||
        sys::file_read(file, area, static_cast<std::uint16_t>(n)) != static_cast<int>(n) ||
        sys::file_seek(file, at + padding, sys::seek_from::start) < 0 ||
        sys::file_write(file, area, static_cast<std::uint16_t>(n)) != static_cast<int>(n))
      return call.fail_platform(status::archive_create_failed, call.source);
  }
  std::memset(area, 0, padding);
  if (sys::file_seek(file, marker_at, sys::seek_from::start) < 0 ||
      sys::file_write(file, area, static_cast<std::uint16_t>(padding)) != static_cast<int>(padding))
    return call.fail_platform(status::archive_create_failed, call.source);
  return status::success;
}

} // namespace

int build_payload(engine_call& call) {
  if (call.spec_too_long)
    return call.fail(status::build_source_failed, failure_reason::path_too_long, call.spec);
  if (strnlen(call.source, sys::max_path_chars + 1) > sys::max_path_chars)
    return call.fail(status::archive_create_failed, failure_reason::path_too_long, call.source);
  // A spec without a directory part would store names the extractor cannot
  // place, and so would a stored prefix that is no directory ending in a
  // backslash: refused before anything is written.
  const int strip = strip_length(call.spec);
  if (strip == 0)
    return call.fail(status::build_source_failed, failure_reason::platform, call.spec,
                     sys::error::invalid_name);
  // The walk's paths all begin with slot 0's directory part (the tree
  // pattern's, folded unless the call is exact); the stored names begin with
  // the stored prefix, or with that same directory part.
  const int path_prefix = directory_prefix_length(
      call.slots.spec(0), call.slots.length(0) - slot_table::listing_prefix_bytes);
  // A copy: the slot table moves as the walk adds directories to it.
  std::array<char, max_spec_chars + 1> name_prefix{};
  const char* prefix_text = call.stored_prefix ? call.stored_prefix : call.slots.spec(0);
  const int name_prefix_length =
      call.stored_prefix ? static_cast<int>(strnlen(call.stored_prefix, max_spec_chars + 1))
                         : path_prefix;
  const int stored_strip = call.stored_prefix ? strip_length(call.stored_prefix) : strip;
  if (stored_strip == 0 || stored_strip != name_prefix_length - 1)
    return call.fail(status::build_source_failed, failure_reason::platform, call.stored_prefix,
                     sys::error::invalid_name);
  std::memcpy(name_prefix.data(), prefix_text, static_cast<std::size_t>(name_prefix_length));

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

  chunk_batch batch(call.jobs, call.read_area.get(), call.record_area.get());
  archive_output output(archive_file.get());
  build b{.call = call,
          .output = output,
          .batch = batch,
          .report_progress = call.command[1] == 'V',
          .name_prefix = name_prefix.data(),
          .name_prefix_length = name_prefix_length,
          .path_prefix_length = path_prefix};
  // Without a deflate state of its own the calling thread could not
  // compress: refused, never an archive of empty chunks.
  if (!b.encoder.ready())
    return call.fail(status::archive_create_failed, failure_reason::platform, call.source,
                     sys::error::not_enough_memory);
  if (with_stub)
    if (const int code = b.copy_stub(stub.get(), call.command.data() + 3); code != status::success)
      return code;
  stub.reset();

  const std::uint32_t marker_at = output.size();
  std::uint8_t marker[marker_record_bytes + record_header_bytes] = {record::file_name, 10, 0};
  std::memcpy(marker + 3, marker_template.data(), marker_template.size());
  marker[3] = static_cast<std::uint8_t>(marker_first);
  marker[12] = static_cast<std::uint8_t>(stored_strip);
  marker[13] = record::end_of_file; // the empty end-of-file record
  b.put(marker, sizeof marker);

  const int walked = walk_tree(call, &build::visit, &b, status::build_source_failed);
  // The files read before the walk ended are written; one that could not be
  // written stopped the build before the walk went on.
  if (const int code = b.flush(); code != status::success)
    return code;
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
  if (!output.drain())
    return b.write_failure();
  if (with_stub)
    if (const int code =
            pad_installer(call, archive_file.get(), marker_at, output.size(), call.read_area.get());
        code != status::success)
      return code;
  // A file system may report a write error only when the file is closed.
  if (archive_file.close() != 0)
    return call.fail(status::archive_create_failed, failure_reason::platform, call.source,
                     sys::file_last_error());
  return status::success;
}

} // namespace archive
