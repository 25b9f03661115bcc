// Compressing a build's pieces together, on worker threads where the program
// is built with them (VELMORA_THREADS): the Windows programs are not, so that
// no thread library is linked into them.
#include "archive/chunk_batch.h"

#include "archive/run_archive_command.h"

#include <algorithm>

#ifdef VELMORA_THREADS
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace archive {

namespace {

constexpr int record_room = record_header_bytes + compressed_capacity;
// Pieces per thread in a round, and per round: enough that the threads rarely
// wait for one another at a round's end, few enough to bound the memory.
constexpr int pieces_per_thread = 8;
constexpr int max_pieces = 64;

void compress_piece(file_piece& p, chunk_encoder& encoder) {
  std::uint32_t length = 0;
  // Encodes do not fail: the build refuses to start without the calling
  // thread's deflate state, and a worker without one takes no pieces.
  encoder.encode(p.data, p.length, p.record + record_header_bytes, compressed_capacity, &length);
  p.compressed = length;
  p.record[0] = record::chunk;
  p.record[1] = static_cast<std::uint8_t>(length);
  p.record[2] = static_cast<std::uint8_t>(length >> 8);
}

} // namespace

#ifdef VELMORA_THREADS

unsigned default_build_jobs() {
  return std::max(std::thread::hardware_concurrency(), 1u);
}

// The worker threads and the round they share. A round: compress() publishes
// the pieces and wakes the workers; every thread, the caller too, claims the
// next unclaimed piece until none is left; the caller waits until the last
// claimed piece is done.
struct chunk_batch::workers {
  std::mutex mutex;
  std::condition_variable work_ready; // a round has started, or the workers are to stop
  std::condition_variable work_done;  // the round's last piece is done
  file_piece* pieces = nullptr;       // the round's pieces; with the counts below, under mutex
  int count = 0;
  int next = 0;    // the first unclaimed piece
  int pending = 0; // pieces not yet done
  bool stopping = false;
  std::vector<std::thread> threads;

  // Compresses unclaimed pieces until there are none. lock holds mutex on
  // entry and on return, not while a piece is compressed.
  void take_pieces(std::unique_lock<std::mutex>& lock, chunk_encoder& encoder) {
    while (next < count) {
      file_piece& p = pieces[next++];
      lock.unlock();
      compress_piece(p, encoder);
      lock.lock();
      if (--pending == 0)
        work_done.notify_one();
    }
  }

  void work() {
    chunk_encoder encoder;
    if (!encoder.ready()) // no state of its own: this one leaves the pieces to the others
      return;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      work_ready.wait(lock, [this] { return stopping || next < count; });
      if (stopping)
        return;
      take_pieces(lock, encoder);
    }
  }

  void run(file_piece* round, int n, chunk_encoder& own) {
    std::unique_lock<std::mutex> lock(mutex);
    pieces = round;
    count = n;
    next = 0;
    pending = n;
    work_ready.notify_all();
    take_pieces(lock, own);
    work_done.wait(lock, [this] { return pending == 0; });
    pieces = nullptr;
    count = next = 0;
  }

  // Starts up to n threads; a thread the system refuses ends the starting,
  // and the build goes on with those it has.
  void start(unsigned n) {
    threads.reserve(n);
    for (unsigned i = 0; i < n; ++i) {
      try {
        threads.emplace_back([this] { work(); });
      } catch (...) {
        break;
      }
    }
  }

  ~workers() {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    work_ready.notify_all();
    for (auto& t : threads)
      t.join();
  }
};

#else

unsigned default_build_jobs() {
  return 1;
}

struct chunk_batch::workers {}; // never made

#endif

chunk_batch::chunk_batch(unsigned threads, std::uint8_t* data_area, std::uint8_t* record_area) {
#ifndef VELMORA_THREADS
  threads = 1; // a piece at a time, as on one thread
#endif
  if (threads <= 1) {
    pieces_.resize(1);
    pieces_[0].data = data_area;
    pieces_[0].record = record_area;
    return;
  }
  const int capacity = std::min(max_pieces, pieces_per_thread * static_cast<int>(threads));
  pieces_.resize(static_cast<std::size_t>(capacity));
  storage_.reset(
      new std::uint8_t[static_cast<std::size_t>(capacity) * (chunk_bytes + record_room)]);
  std::uint8_t* room = storage_.get();
  for (auto& p : pieces_) {
    p.data = room;
    p.record = room + chunk_bytes;
    room += chunk_bytes + record_room;
  }
#ifdef VELMORA_THREADS
  workers_.reset(new workers);
  workers_->start(threads - 1);
#endif
}

chunk_batch::~chunk_batch() = default;

void chunk_batch::compress(chunk_encoder& own) {
#ifdef VELMORA_THREADS
  if (workers_ && !workers_->threads.empty()) {
    workers_->run(pieces_.data(), count_, own);
    return;
  }
#endif
  for (int i = 0; i < count_; ++i)
    compress_piece(pieces_[static_cast<std::size_t>(i)], own);
}

} // namespace archive
