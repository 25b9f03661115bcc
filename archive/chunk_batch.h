// The pieces a build has read and not yet written, compressed together: on the
// calling thread alone, or with worker threads beside it.
#pragma once

#include "archive/chunk_codec.h"
#include "archive/format.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace archive {

// One piece of a source file and, once compressed, its chunk record.
struct file_piece {
  std::uint8_t* data = nullptr;   // chunk_bytes of room; length of them read
  std::uint8_t* record = nullptr; // record_header_bytes + compressed_capacity of room
  std::uint32_t length = 0;       // bytes read into data
  std::uint32_t compressed = 0;   // the zlib stream's length, behind the record header
  bool first = false;             // the file's first piece: its name record goes before it
  bool last = false;              // the file's last piece: its end-of-file record follows it
  int name_length = 0;            // first pieces: the stored name
  std::array<char, max_stored_name> name{};
};

// Room for the pieces of one round of a build: read (on the calling thread),
// compressed (on `threads` threads), written (on the calling thread), then
// cleared. One thread keeps one piece in the call's two work areas; more
// threads keep up to 8 pieces each, at most 64 (2.6 MB), in memory of their own.
class chunk_batch {
public:
  // Starts threads - 1 workers (fewer when the system gives fewer, none in
  // programs built without threads), each with its own encoder. The areas
  // hold at least chunk_bytes and record_header_bytes + compressed_capacity
  // bytes. May throw std::bad_alloc, before any thread has started.
  chunk_batch(unsigned threads, std::uint8_t* data_area, std::uint8_t* record_area);
  // Stops the workers and waits for them.
  ~chunk_batch();
  chunk_batch(const chunk_batch&) = delete;
  chunk_batch& operator=(const chunk_batch&) = delete;

  bool full() const { return count_ == static_cast<int>(pieces_.size()); }
  int size() const { return count_; }
  const file_piece& operator[](int i) const { return pieces_[static_cast<std::size_t>(i)]; }

  // The slot after the last piece, to read into; take() adds it to the batch.
  // Not when full.
  file_piece& next() { return pieces_[static_cast<std::size_t>(count_)]; }
  void take() { ++count_; }

  // Makes every piece's chunk record (type, length, zlib stream), own
  // compressing on the calling thread beside the workers; returns when all
  // are made. Each record is what own alone would make.
  void compress(chunk_encoder& own);
  void clear() { count_ = 0; }

private:
  struct workers;

  std::unique_ptr<std::uint8_t[]> storage_; // the pieces' room beyond the work areas
  std::vector<file_piece> pieces_;
  int count_ = 0;
  std::unique_ptr<workers> workers_; // last: stopped before the pieces go
};

} // namespace archive
