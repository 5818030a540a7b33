// Internal header, not API: the layout of a shared heap in shared memory,
// its view geometry and its cross-process spin lock.
#pragma once

#include "kvsupport/ipc/SharedBlockManager.h"

#include <cstddef>
#include <cstdint>

namespace kv::detail {

/// Granule 0 of a heap. All integers little-endian (the machine's order).
struct SharedHeapHeader {
  int64_t requestedBlockSize; ///< block size the creator asked for
  int64_t numBlocks;          ///< blocks in the pool
  int64_t firstFree;          ///< first free block, -1 when none
  int32_t lockWord;           ///< 0 free, else the id of the holding process
  char signature[260];        ///< kSharedHeapSignature, NUL-terminated
};
static_assert(sizeof(SharedHeapHeader) == 288, "heap header layout");
static_assert(offsetof(SharedHeapHeader, firstFree) == 16, "heap header layout");
static_assert(offsetof(SharedHeapHeader, lockWord) == 24, "heap header layout");
static_assert(offsetof(SharedHeapHeader, signature) == 28, "heap header layout");

/// The header of every block; the block's data follows it. Blocks lie
/// `blockStride` bytes apart, and the stride need only be a multiple of 4
/// (116 bytes for 100-byte blocks), so the header is declared 4-aligned and
/// its 64-bit field is read and written as possibly unaligned.
struct __attribute__((packed, aligned(4))) SharedBlockHeader {
  int32_t magic;    ///< kSharedBlockMagic in every valid block
  int32_t state;    ///< kBlockFree, kBlockAllocated or kBlockTaken
  int64_t nextFree; ///< next free block, -1 at the end or while not free
};
static_assert(sizeof(SharedBlockHeader) == 16, "block header layout");
static_assert(alignof(SharedBlockHeader) == 4, "block header layout");
static_assert(offsetof(SharedBlockHeader, nextFree) == 8, "block header layout");

constexpr char kSharedHeapSignature[] = "KV_SharedBlockManager";
constexpr int32_t kSharedBlockMagic = 0x5A5A;
constexpr int32_t kBlockFree = 0;
constexpr int32_t kBlockAllocated = 1;
constexpr int32_t kBlockTaken = 2;

/// The view geometry for blocks of `slotSize` bytes (block size plus its
/// header) and `numBlocks` blocks, with views made of `granularity`-byte
/// granules. False (parameters untouched) when the sizes are below 1 or the
/// heap's size would not fit in 63 bits.
bool sharedHeapGeometry(int64_t slotSize, int64_t numBlocks, int64_t granularity,
                        ViewParameters *parameters);

/// Takes the heap lock `*word`: spins, then sleeps in 1 ms steps. A holder
/// process that no longer exists is taken over from after a while, so a
/// process that dies holding the lock does not stop everyone else.
void lockSharedHeap(int32_t *word);

/// Drops the heap lock taken by `lockSharedHeap`.
void unlockSharedHeap(int32_t *word);

} // namespace kv::detail
