// Internal header, not API: how the stream buffers take the blocks of a
// shared block heap and write them to their files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace kv::streams {

/// The usable block size of the heap of manager `managerId`; 0 when the id
/// names no heap.
int64_t sharedBlockSize(int managerId);

/// Takes block `blockIndex` of heap `managerId`, passes min(block size,
/// `limit`) bytes of it to `write`, then releases the block and returns it to
/// the heap's free list. Returns the bytes written; 0 when the heap or the
/// block is not available.
int64_t writeSharedBlock(int managerId, int64_t blockIndex, int64_t limit,
                         const std::function<size_t(const char *, size_t)> &write);

/// Returns a block to its heap without writing it.
void discardSharedBlock(int managerId, int64_t blockIndex);

} // namespace kv::streams
