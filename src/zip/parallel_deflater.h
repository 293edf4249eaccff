// Deflates the blocks of a stream of files on several threads at once and
// hands them back in the order they were given.
#ifndef QUILLET_ZIP_PARALLEL_DEFLATER_H_
#define QUILLET_ZIP_PARALLEL_DEFLATER_H_

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <system_error>
#include <vector>

#include "platform/threads.h"

namespace quillet {

// Files are cut into pieces of this size, counted from each file's start,
// whatever the number of threads, so that the compressed bytes never depend
// on how the work was shared out.
constexpr std::size_t kDeflateBlockSize = 128 * 1024;
// Each piece after a file's first is primed with the end of the one before,
// as much as deflate can look back, so that cutting costs little compression.
constexpr std::size_t kDeflateDictionarySize = 32 * 1024;
// A block gathers the whole of many small files, so that handing a block to
// a thread costs little next to the work in it; this many at most.
constexpr std::size_t kMaxPiecesPerBlock = 64;
// Every thread holds a deflate state and a few blocks of about 300 KiB, so
// the threads are capped to keep the packer's memory small on any machine.
constexpr int kMaxDeflateThreads = 8;

// One file's data in a block: the whole of a small file, or one piece of a
// larger one.
struct DeflatePiece {
  std::size_t start = 0;  // Where the data begins, counted from DeflateBlock::data().
  std::size_t size = 0;
  // The `dictionary` bytes right before `start` are the end of the file's
  // previous piece; only a block's first piece can have them.
  std::size_t dictionary = 0;
  // The file's first and last piece. Every piece but the last ends with an
  // empty stored block, which leaves the deflate stream on a byte boundary
  // so that the next piece's output can simply follow; the last one ends
  // the stream.
  bool first = false;
  bool last = false;

  // Filled in by the deflater.
  std::size_t output_start = 0;  // Where the deflated data begins in DeflateBlock::output.
  std::size_t output_size = 0;
  std::uint32_t crc = 0;  // CRC-32 of the data alone.
};

// The unit of work of one thread: pieces of files packed one after another.
struct DeflateBlock {
  // Data starts at kDeflateDictionarySize, after room for a dictionary; there
  // is room for kDeflateBlockSize + 1 bytes of data.
  std::vector<unsigned char> input;
  std::vector<DeflatePiece> pieces;
  std::size_t used = 0;  // Bytes of data filled in.

  // Filled in by the deflater.
  std::vector<unsigned char> output;
  bool failed = false;  // zlib refused a piece; `output` is unusable.

  unsigned char* data() { return input.data() + kDeflateDictionarySize; }
  std::size_t room() const { return kDeflateBlockSize + 1 - used; }
};

// A fixed ring of blocks and a fixed set of threads: the caller fills the
// next free block and submits it, then takes finished blocks back oldest
// first. Once every block is in flight the caller must take the oldest back
// before it may fill another, so the memory in use never grows with the
// input. All calls but the threads' own work come from one thread.
class ParallelDeflater {
 public:
  // `threads` is clamped to 1..kMaxDeflateThreads.
  ParallelDeflater(int level, int threads);
  // Stops the threads; blocks still in flight are waited for and dropped.
  ~ParallelDeflater();
  ParallelDeflater(const ParallelDeflater&) = delete;
  ParallelDeflater& operator=(const ParallelDeflater&) = delete;

  // Allocates the blocks and the deflate states and starts the threads.
  std::error_code Start();
  // True when every block is in flight, so that none can be filled.
  bool Full() const { return submitted_ - retired_ == slots_.size(); }
  // True when no block is in flight.
  bool Empty() const { return submitted_ == retired_; }
  // The block to fill next, emptied; only when not Full().
  DeflateBlock* Next();
  // Hands the block from Next() to the threads.
  void Submit();
  // Waits until the oldest submitted block is deflated and returns it; only
  // when not Empty(). It stays valid until Retire().
  DeflateBlock* WaitOldest();
  // Gives the oldest block back to the ring for reuse.
  void Retire() { ++retired_; }
  // Waits for the blocks in flight and ends the threads. Idempotent.
  void Stop();

 private:
  struct Slot {
    DeflateBlock block;
    Semaphore done;
    bool waited = false;  // `done` has been consumed for the current use.
  };
  struct Worker {
    Thread thread;
    z_stream stream{};
    bool initialized = false;
  };

  void Work(Worker* worker);
  void Deflate(z_stream* stream, DeflateBlock* block);
  bool DeflateOne(z_stream* stream, DeflateBlock* block, DeflatePiece* piece,
                  std::size_t* produced);

  int level_;
  int threads_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::vector<std::unique_ptr<Worker>> workers_;
  int running_ = 0;  // Threads started and not yet joined.
  std::size_t submitted_ = 0;
  std::size_t retired_ = 0;
  // Jobs are taken in submission order: `published_` counts those handed
  // over, `taken_` those a thread has begun, both under `mutex_`. `todo_`
  // counts jobs not yet taken, plus one wake-up per thread when stopping.
  Mutex mutex_;
  Semaphore todo_;
  std::size_t published_ = 0;
  std::size_t taken_ = 0;
};

}  // namespace quillet

#endif  // QUILLET_ZIP_PARALLEL_DEFLATER_H_
