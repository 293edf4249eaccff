#include "zip/parallel_deflater.h"

#include <algorithm>

namespace quillet {
namespace {

// Room beyond deflateBound for the empty stored block that ends every piece
// but a file's last.
constexpr std::size_t kFlushRoom = 16;
// What deflateBound adds to every piece beyond its share of the growth.
constexpr std::size_t kPieceBound = 16;

}  // namespace

ParallelDeflater::ParallelDeflater(int level, int threads)
    : level_(level), threads_(std::clamp(threads, 1, kMaxDeflateThreads)) {}

ParallelDeflater::~ParallelDeflater() { Stop(); }

std::error_code ParallelDeflater::Start() {
  // Two blocks per thread keep every thread busy while the oldest block
  // waits to be written, and one more is being filled.
  const std::size_t slots = 2 * static_cast<std::size_t>(threads_) + 1;
  if (!todo_.valid()) return std::make_error_code(std::errc::resource_unavailable_try_again);
  for (std::size_t i = 0; i < slots; ++i) {
    slots_.push_back(std::make_unique<Slot>());
    if (!slots_.back()->done.valid()) {
      return std::make_error_code(std::errc::resource_unavailable_try_again);
    }
    // One spare byte lets the reader look one byte past a piece, to learn
    // whether it is the file's last without another read. The output has
    // room for the worst case of deflate's growth, so that it is allocated
    // here once and never again by the threads.
    DeflateBlock& block = slots_.back()->block;
    block.input.resize(kDeflateDictionarySize + kDeflateBlockSize + 1);
    block.output.resize(kDeflateBlockSize + 1 + (kDeflateBlockSize >> 12) +
                        (kDeflateBlockSize >> 14) +
                        kMaxPiecesPerBlock * (kPieceBound + kFlushRoom));
  }
  for (int i = 0; i < threads_; ++i) {
    workers_.push_back(std::make_unique<Worker>());
    Worker* worker = workers_.back().get();
    // Raw deflate, as zip wants it, with zlib's default memory use.
    if (deflateInit2(&worker->stream, level_, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
      return std::make_error_code(std::errc::not_enough_memory);
    }
    worker->initialized = true;
  }
  for (auto& worker : workers_) {
    Worker* w = worker.get();
    if (std::error_code ec = w->thread.Start([this, w] { Work(w); })) {
      Stop();
      return ec;
    }
    ++running_;
  }
  return {};
}

void ParallelDeflater::Submit() {
  Slot& slot = *slots_[submitted_ % slots_.size()];
  slot.waited = false;
  ++submitted_;
  {
    MutexLock lock(&mutex_);
    ++published_;
  }
  todo_.Post();
}

DeflateBlock* ParallelDeflater::WaitOldest() {
  Slot& slot = *slots_[retired_ % slots_.size()];
  if (!slot.waited) slot.done.Wait();
  slot.waited = true;
  return &slot.block;
}

void ParallelDeflater::Stop() {
  while (!Empty()) {
    WaitOldest();
    Retire();
  }
  for (int i = 0; i < running_; ++i) todo_.Post();
  for (auto& worker : workers_) worker->thread.Join();
  running_ = 0;
  for (auto& worker : workers_) {
    if (worker->initialized) deflateEnd(&worker->stream);
  }
  workers_.clear();
}

void ParallelDeflater::Work(Worker* worker) {
  for (;;) {
    todo_.Wait();
    Slot* slot;
    {
      MutexLock lock(&mutex_);
      if (taken_ == published_) return;  // Woken to stop.
      slot = slots_[taken_++ % slots_.size()].get();
    }
    Deflate(&worker->stream, &slot->block);
    slot->done.Post();
  }
}

DeflateBlock* ParallelDeflater::Next() {
  DeflateBlock* block = &slots_[submitted_ % slots_.size()]->block;
  block->pieces.clear();
  block->used = 0;
  return block;
}

void ParallelDeflater::Deflate(z_stream* stream, DeflateBlock* block) {
  std::size_t bound = 0;
  for (const DeflatePiece& piece : block->pieces) {
    bound += deflateBound(stream, static_cast<uLong>(piece.size)) + kFlushRoom;
  }
  if (block->output.size() < bound) block->output.resize(bound);
  std::size_t produced = 0;
  block->failed = false;
  for (DeflatePiece& piece : block->pieces) {
    if (!DeflateOne(stream, block, &piece, &produced)) {
      block->failed = true;
      return;
    }
  }
}

bool ParallelDeflater::DeflateOne(z_stream* stream, DeflateBlock* block, DeflatePiece* piece,
                                  std::size_t* produced) {
  unsigned char* data = block->data() + piece->start;
  piece->crc =
      static_cast<std::uint32_t>(crc32(crc32(0, Z_NULL, 0), data, static_cast<uInt>(piece->size)));
  if (deflateReset(stream) != Z_OK ||
      (piece->dictionary > 0 &&
       deflateSetDictionary(stream, data - piece->dictionary,
                            static_cast<uInt>(piece->dictionary)) != Z_OK)) {
    return false;
  }
  piece->output_start = *produced;
  stream->next_in = data;
  stream->avail_in = static_cast<uInt>(piece->size);
  const int flush = piece->last ? Z_FINISH : Z_SYNC_FLUSH;
  for (;;) {
    stream->next_out = block->output.data() + *produced;
    stream->avail_out = static_cast<uInt>(block->output.size() - *produced);
    const int result = deflate(stream, flush);
    *produced = block->output.size() - stream->avail_out;
    if (result == Z_STREAM_ERROR) return false;
    if (piece->last ? result == Z_STREAM_END : stream->avail_out != 0) break;
    // deflateBound leaves room enough; this is only a safety margin.
    block->output.resize(block->output.size() * 2);
  }
  piece->output_size = *produced - piece->output_start;
  return true;
}

}  // namespace quillet
