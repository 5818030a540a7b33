#pragma once

#include "kvsupport/strings/YString.h"

#include <atomic>
#include <cstdint>

namespace kv::detail {
struct SharedHeapHeader;
struct SharedBlockHeader;
} // namespace kv::detail

/// The result of the shared heap's operations.
enum SharedBlockManagerError {
  SharedBlockOk = 0,           ///< done
  SharedBlockHeapFull = 1,     ///< `alloc`: no block is free
  SharedBlockNotAllocated = 2, ///< id outside 0 to numBlocks - 1, or the block is free
  SharedBlockNotTaken = 3,     ///< `release`: the block is allocated but not taken
  SharedBlockAlreadyTaken = 4, ///< `get`: already taken; `free`: release it first
  SharedBlockNoHeap = 5,       ///< the manager has no (usable) mapped heap
  SharedBlockCorrupt = 6       ///< the heap's bookkeeping in shared memory is damaged
};

/// How a shared heap's blocks lie in its views.
struct ViewParameters {
  int64_t granulesPerView; ///< allocation granules in each view
  int64_t blocksPerView;   ///< blocks in each view
  int64_t numViews;        ///< views after the header granule
  int64_t blockStride;     ///< bytes from one block header to the next
};

/// A shared heap: a pool of equal-sized blocks carved out of one named
/// shared block, with its free list in the shared memory itself, guarded by
/// a spin lock that works across processes. Blocks are named by index (the
/// block id), so processes that map the heap at different addresses agree
/// on which block is which.
///
/// A block is free, taken (by one holder, in whichever process) or
/// allocated (filled and released, waiting for the next holder):
/// `alloc` free -> taken, `release` taken -> allocated, `get` allocated ->
/// taken, `free` allocated -> free. Operations that fail change nothing.
/// They never read or write outside the mapped heap, however damaged its
/// bookkeeping: damage shows as SharedBlockCorrupt.
///
/// Managers are made and shared only through `SharedBlockToken`.
class SharedBlockManager {
public:
  SharedBlockManager(const SharedBlockManager &) = delete;
  SharedBlockManager &operator=(const SharedBlockManager &) = delete;

  /// Takes a free block: on success `*data` is its data address in this
  /// process and `*id` its block id (either may be null).
  SharedBlockManagerError alloc(void **data, int64_t *id);
  /// Takes the allocated block `id`; `*data` (when not null) its data address.
  SharedBlockManagerError get(void **data, int64_t id);
  /// Gives the taken block `id` back, keeping it allocated.
  SharedBlockManagerError release(int64_t id);
  /// Returns the allocated, released block `id` to the free list; it is the
  /// next block `alloc` hands out.
  SharedBlockManagerError free(int64_t id);

  /// The usable bytes of each block (at least the size asked for); 0 when
  /// the manager has no heap.
  int64_t getBlockSize() const;
  /// The name another process attaches by.
  YString getHeapName() const { return name_; }
  /// The manager's id within this process.
  int getId() const { return id_; }
  /// How many blocks are taken or allocated, read without the lock (a
  /// snapshot); 0 when the manager has no heap.
  int64_t numBlocksAllocated() const;

private:
  friend class SharedBlockToken;
  /// Creates a heap of `numBlocks` blocks of at least `blockSize` bytes.
  /// Throws MemoryException when it cannot be created or mapped; sizes below
  /// 1 give a manager without a heap.
  SharedBlockManager(int64_t blockSize, int64_t numBlocks);
  /// Attaches to the heap `heapName`. Without a heap when the name cannot be
  /// mapped or does not hold a sound heap; throws MemoryException when its
  /// views cannot be mapped.
  explicit SharedBlockManager(const YString &heapName);
  ~SharedBlockManager();

  static bool getViewParameters(int64_t slotSize, int64_t numBlocks, ViewParameters *parameters);
  bool buildLookup(const ViewParameters &parameters, bool stampBlocks);
  void unmapAll();
  kv::detail::SharedBlockHeader *block(int64_t id) const;
  SharedBlockManagerError checkHeader() const;
  template <class Transition>
  SharedBlockManagerError changeBlock(int64_t id, Transition transition);

  YString name_;
  kv::detail::SharedHeapHeader *header_ = nullptr;
  bool creator_ = false;
  int32_t id_ = 0;
  kv::detail::SharedBlockHeader **blocks_ = nullptr;
  void **views_ = nullptr;
  int64_t numViews_ = 0;
  int64_t blockSize_ = 0;
  std::atomic<int32_t> references_{0};
  int64_t numBlocks_ = 0; ///< as read when the heap was made or attached
};

/// A process-local handle of a SharedBlockManager, shared by id. The
/// manager lives while any token of it does. Tokens may be copied and
/// destroyed on any thread. What crosses process boundaries is the heap
/// name and block ids, never a token or its id.
class SharedBlockToken {
public:
  /// Empty.
  SharedBlockToken() = default;
  /// A new manager that creates a heap; throws MemoryException when the
  /// heap cannot be created or mapped.
  SharedBlockToken(int64_t blockSize, int64_t numBlocks);
  /// A new manager attached to the heap `heapName`; throws MemoryException
  /// when its views cannot be mapped.
  explicit SharedBlockToken(const YString &heapName);
  /// Shares the manager of id `managerId`; empty when there is none.
  explicit SharedBlockToken(int managerId);
  SharedBlockToken(const SharedBlockToken &other);
  SharedBlockToken &operator=(const SharedBlockToken &other);
  ~SharedBlockToken();

  /// The manager, or null when the token is empty or its manager is gone.
  SharedBlockManager *get() const;
  /// The manager id (-1 when empty), to hand to a stream of this process.
  int getId() const { return id_; }

private:
  void share(int managerId);
  void drop();

  int32_t id_ = -1;
};

/// Forgets every manager of this process, as the library does when it shuts
/// down: tokens destroyed afterwards find no manager and do nothing. The
/// managers' heaps stay mapped for the rest of the process.
void flushSharedBlockLookup();
