#include "streams/WriteBlockPool_p.h"

#include <cstdint>
#include <new>

namespace kv::streams {

namespace {

// Blocks smaller than this come from the allocator's own bins, which reuse
// their memory without faults; only larger ones are worth keeping.
constexpr size_t kSmallestKept = 64 << 10;
// Large blocks are sized in whole granules, so a block fits writes of
// nearby sizes too.
constexpr size_t kGranule = 64 << 10;
// Bytes kept in all: the blocks a writer's pending window needs, twice over.
constexpr size_t kMaxKeptBytes = 8 << 20;

size_t roundedCapacity(size_t size) {
  if (size < kSmallestKept)
    return size;
  size_t granules = size / kGranule + (size % kGranule != 0);
  return granules <= SIZE_MAX / kGranule ? granules * kGranule : size;
}

} // namespace

WriteBlockPool &WriteBlockPool::instance() {
  static WriteBlockPool *const pool = new WriteBlockPool;
  return *pool;
}

char *WriteBlockPool::take(size_t size, size_t *capacity) {
  if (size >= kSmallestKept) {
    std::lock_guard<std::mutex> guard(lock_);
    auto best = kept_.end();
    for (auto block = kept_.begin(); block != kept_.end(); ++block) {
      bool fits = block->capacity >= size && block->capacity / 2 <= size;
      if (fits && (best == kept_.end() || block->capacity < best->capacity))
        best = block;
    }
    if (best != kept_.end()) {
      char *data = best->data;
      *capacity = best->capacity;
      keptBytes_ -= best->capacity;
      kept_.erase(best);
      return data;
    }
  }
  *capacity = roundedCapacity(size);
  char *data = new (std::nothrow) char[*capacity];
  if (!data)
    *capacity = 0;
  return data;
}

void WriteBlockPool::give(char *block, size_t capacity) {
  if (!block)
    return;
  if (capacity >= kSmallestKept) {
    std::lock_guard<std::mutex> guard(lock_);
    if (keptBytes_ + capacity <= kMaxKeptBytes) {
      kept_.push_back({block, capacity});
      keptBytes_ += capacity;
      return;
    }
  }
  delete[] block;
}

void WriteBlockPool::releaseAll() {
  std::vector<Block> released;
  {
    std::lock_guard<std::mutex> guard(lock_);
    released.swap(kept_);
    keptBytes_ = 0;
  }
  for (const Block &block : released)
    delete[] block.data;
}

} // namespace kv::streams
