// Internal header, not API: how the stream buffers take the blocks of a
// shared block heap to write them to their files.
#pragma once

#include <cstdint>

class SharedBlockManager;
class SharedBlockToken;

namespace kv::streams {

/// A block taken out of a shared heap for writing.
struct TakenSharedBlock {
  SharedBlockManager *manager = nullptr;
  int64_t index = -1;
  const char *data = nullptr;
  int64_t blockSize = 0; ///< usable bytes of the block
};

/// Takes the allocated block `index` of the heap behind `token`. False when
/// the heap or the block is not available.
bool takeSharedBlock(const SharedBlockToken &token, int64_t index, TakenSharedBlock *taken);

/// Gives a taken block back and returns it to the heap's free list.
void returnSharedBlock(const TakenSharedBlock &taken);

} // namespace kv::streams
