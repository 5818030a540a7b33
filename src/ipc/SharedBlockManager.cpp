#include "kvsupport/ipc/SharedBlockManager.h"

#include "hooks/ExitRank_p.h"
#include "ipc/SharedHeap_p.h"
#include "ipc/SharedMemory_p.h"
#include "kvsupport/ipc/SharedMemory.h"
#include "kvsupport/support/KelvantaException.h"
#include "os/Interlocked_p.h"
#include "os/SharedMemory_p.h"

#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

using kv::detail::SharedBlockHeader;
using kv::detail::SharedHeapHeader;

namespace kv::detail {

bool sharedHeapGeometry(int64_t slotSize, int64_t numBlocks, int64_t granularity,
                        ViewParameters *parameters) {
  if (slotSize < 1 || numBlocks < 1 || granularity < 1)
    return false;
  const int64_t g = granularity;
  int64_t granulesPerView = 1;
  if (slotSize >= g / 16) {
    granulesPerView = slotSize / g + (slotSize % g != 0);
    // Grow the view a granule at a time until the space left over after its
    // blocks is at most a sixteenth of the space they use.
    while (granulesPerView < 32) {
      const int64_t bytes = granulesPerView * g;
      const int64_t blocks = bytes / slotSize;
      if (16 * bytes <= 17 * blocks * slotSize)
        break;
      ++granulesPerView;
    }
  }
  int64_t viewBytes, granules, heapGranules, heapBytes;
  if (__builtin_mul_overflow(granulesPerView, g, &viewBytes))
    return false;
  const int64_t blocksPerView = viewBytes / slotSize;
  const int64_t numViews = (numBlocks - 1) / blocksPerView + 1;
  if (__builtin_mul_overflow(granulesPerView, numViews, &granules) ||
      __builtin_add_overflow(granules, 1, &heapGranules) ||
      __builtin_mul_overflow(heapGranules, g, &heapBytes))
    return false;
  parameters->granulesPerView = granulesPerView;
  parameters->blocksPerView = blocksPerView;
  parameters->numViews = numViews;
  parameters->blockStride = viewBytes / blocksPerView;
  return true;
}

namespace {
// About 20 ms of sleeping between two looks at whether the holder still lives.
constexpr int kSleepsPerHolderCheck = 20;
constexpr int kPausesPerSpin = 100;
} // namespace

// The lock word holds the holder's process id. A waiter that has slept a
// while checks whether that process still exists; when it does not, the
// waiter swaps the dead id for its own in one compare-exchange, so exactly
// one waiter inherits the lock. The heap may then be half-updated, which
// the operations detect and report as corrupt rather than trust.
void lockSharedHeap(int32_t *word) {
  const int32_t self = kv::os::currentProcessId();
  if (kv::os::compareExchange(word, 0, self))
    return;
  int sleeps = 0;
  for (;;) {
    kv::os::cpuPause();
    for (int i = 0; i < kPausesPerSpin && kv::os::loadRelaxed(word) != 0; ++i)
      kv::os::cpuPause();
    const int32_t holder = kv::os::loadRelaxed(word);
    if (holder != 0) {
      kv::os::sleepOneMillisecond();
      if (++sleeps % kSleepsPerHolderCheck == 0 && holder != self &&
          !kv::os::processExists(holder) && kv::os::compareExchange(word, holder, self))
        return;
    }
    if (kv::os::compareExchange(word, 0, self))
      return;
  }
}

void unlockSharedHeap(int32_t *word) { kv::os::storeRelease(word, 0); }

} // namespace kv::detail

namespace {

const char kCreateFailed[] = "*** Fatal error, out of memory ***\nCould not allocate shared heap";
const char kMapFailed[] = "*** Fatal error, out of memory ***\nCould not map shared heap";

class HeapLock {
public:
  explicit HeapLock(SharedHeapHeader *header) : word_(&header->lockWord) {
    kv::detail::lockSharedHeap(word_);
  }
  ~HeapLock() { kv::detail::unlockSharedHeap(word_); }
  HeapLock(const HeapLock &) = delete;
  HeapLock &operator=(const HeapLock &) = delete;

private:
  int32_t *word_;
};

struct IdTraits {
  static uint32_t hash(const int32_t &id) { return static_cast<uint32_t>(id); }
  static bool equal(const int32_t &a, const int32_t &b) { return a == b; }
};

// The process's managers by id. Lives for the whole process, so tokens in
// static objects can still be destroyed after everything else.
struct ManagerTable {
  std::mutex lock;
  YHashTable<int32_t, SharedBlockManager *, IdTraits> managers{101, 0.0};
  int32_t nextId = 1;
  std::vector<SharedBlockManager *> flushed; // forgotten by flushSharedBlockLookup, still alive
};

ManagerTable &managerTable() {
  static ManagerTable *table = new ManagerTable;
  return *table;
}

int32_t enterManager(SharedBlockManager *manager) {
  ManagerTable &table = managerTable();
  std::lock_guard<std::mutex> guard(table.lock);
  const int32_t id = table.nextId++;
  table.managers.insert(id, manager);
  return id;
}

void forgetManager(int32_t id) {
  ManagerTable &table = managerTable();
  std::lock_guard<std::mutex> guard(table.lock);
  table.managers.remove(id);
}

bool validId(int64_t id, int64_t numBlocks) { return id >= 0 && id < numBlocks; }

void *dataOf(SharedBlockHeader *block) { return reinterpret_cast<char *>(block) + 16; }

} // namespace

bool SharedBlockManager::getViewParameters(int64_t slotSize, int64_t numBlocks,
                                           ViewParameters *parameters) {
  return kv::detail::sharedHeapGeometry(slotSize, numBlocks, sp_GetSharedBlockGranularity(),
                                        parameters);
}

SharedBlockManager::SharedBlockManager(int64_t blockSize, int64_t numBlocks) {
  references_ = 1;
  id_ = enterManager(this);
  if (blockSize < 1 || numBlocks < 1)
    return; // nothing to make: a manager without a heap

  ViewParameters parameters;
  bool made =
      blockSize <= INT64_MAX - 16 && getViewParameters(blockSize + 16, numBlocks, &parameters);
  if (made) {
    const int64_t granules = parameters.granulesPerView * parameters.numViews + 1;
    name_ = sp_AllocateSharedBlock(static_cast<uint64_t>(granules) *
                                   static_cast<uint64_t>(sp_GetSharedBlockGranularity()));
    header_ = static_cast<SharedHeapHeader *>(sp_GetSharedBlock(name_.tocs(), 0, 1, false));
    made = header_ != nullptr;
  }
  if (made) {
    header_->requestedBlockSize = blockSize;
    header_->numBlocks = numBlocks;
    header_->firstFree = 0;
    header_->lockWord = 0;
    creator_ = true;
    std::memset(header_->signature, 0, sizeof header_->signature);
    std::memcpy(header_->signature, kv::detail::kSharedHeapSignature,
                sizeof kv::detail::kSharedHeapSignature);
    numBlocks_ = numBlocks;
    made = buildLookup(parameters, true);
  }
  if (!made) {
    unmapAll();
    creator_ = false;
    if (!name_.isEmpty())
      sp_FreeSharedBlock(name_);
    forgetManager(id_);
    throw MemoryException(kCreateFailed);
  }
  for (int64_t id = 0; id < numBlocks; ++id) {
    SharedBlockHeader *entry = blocks_[id];
    entry->magic = kv::detail::kSharedBlockMagic;
    entry->state = kv::detail::kBlockFree;
    entry->nextFree = id + 1 < numBlocks ? id + 1 : -1;
  }
  blockSize_ = parameters.blockStride - 16;
}

SharedBlockManager::SharedBlockManager(const YString &heapName) : name_(heapName) {
  references_ = 1;
  id_ = enterManager(this);
  header_ = static_cast<SharedHeapHeader *>(sp_GetSharedBlock(name_.tocs(), 0, 1, false));
  if (!header_)
    return;

  // Believe the header only when it is a heap's and its blocks fit in the
  // block that carries it; otherwise stay without a heap rather than map or
  // touch memory that is not there.
  const int64_t requested = header_->requestedBlockSize;
  const int64_t numBlocks = header_->numBlocks;
  ViewParameters parameters;
  uint64_t size = 0;
  const bool sound = std::memcmp(header_->signature, kv::detail::kSharedHeapSignature,
                                 sizeof kv::detail::kSharedHeapSignature) == 0 &&
                     requested >= 1 && requested <= INT64_MAX - 16 &&
                     getViewParameters(requested + 16, numBlocks, &parameters) &&
                     kv::detail::sharedBlockSize(name_.tocs(), &size) &&
                     static_cast<uint64_t>(parameters.granulesPerView * parameters.numViews + 1) *
                             static_cast<uint64_t>(sp_GetSharedBlockGranularity()) <=
                         size;
  if (!sound) {
    unmapAll();
    return;
  }
  numBlocks_ = numBlocks;
  if (!buildLookup(parameters, false)) {
    unmapAll();
    forgetManager(id_);
    throw MemoryException(kMapFailed);
  }
  blockSize_ = parameters.blockStride - 16;
}

SharedBlockManager::~SharedBlockManager() {
  unmapAll();
  if (creator_)
    sp_FreeSharedBlock(name_);
}

bool SharedBlockManager::buildLookup(const ViewParameters &parameters, bool stampBlocks) {
  const int64_t entries = parameters.blocksPerView * parameters.numViews;
  blocks_ = new (std::nothrow) SharedBlockHeader *[static_cast<size_t>(entries)];
  views_ = new (std::nothrow) void *[static_cast<size_t>(parameters.numViews)]();
  numViews_ = parameters.numViews;
  if (!blocks_ || !views_)
    return false;
  for (int64_t v = 0; v < parameters.numViews; ++v) {
    char *view = static_cast<char *>(sp_GetSharedBlock(
        name_.tocs(), v * parameters.granulesPerView + 1, parameters.granulesPerView, false));
    if (!view)
      return false;
    views_[v] = view;
    for (int64_t i = 0; i < parameters.blocksPerView; ++i) {
      auto *entry = reinterpret_cast<SharedBlockHeader *>(view + i * parameters.blockStride);
      blocks_[v * parameters.blocksPerView + i] = entry;
      // Only the creator stamps: an attacher must not paper over damage
      // in a heap that others are using.
      if (stampBlocks)
        entry->magic = kv::detail::kSharedBlockMagic;
    }
  }
  return true;
}

void SharedBlockManager::unmapAll() {
  if (views_)
    for (int64_t v = numViews_ - 1; v >= 0; --v)
      if (views_[v])
        sp_ReleaseSharedBlock(views_[v]);
  if (header_)
    sp_ReleaseSharedBlock(header_);
  header_ = nullptr;
  delete[] views_;
  delete[] blocks_;
  views_ = nullptr;
  blocks_ = nullptr;
  numViews_ = 0;
}

SharedBlockHeader *SharedBlockManager::block(int64_t id) const { return blocks_[id]; }

SharedBlockManagerError SharedBlockManager::checkHeader() const {
  return header_->numBlocks == numBlocks_ ? SharedBlockOk : SharedBlockCorrupt;
}

SharedBlockManagerError SharedBlockManager::alloc(void **data, int64_t *id) {
  if (!header_)
    return SharedBlockNoHeap;
  HeapLock lock(header_);
  if (checkHeader() != SharedBlockOk)
    return SharedBlockCorrupt;
  const int64_t first = header_->firstFree;
  if (first == -1)
    return SharedBlockHeapFull;
  if (!validId(first, numBlocks_))
    return SharedBlockCorrupt;
  SharedBlockHeader *entry = block(first);
  const int64_t next = entry->nextFree;
  if (entry->magic != kv::detail::kSharedBlockMagic || entry->state != kv::detail::kBlockFree ||
      (next != -1 && !validId(next, numBlocks_)))
    return SharedBlockCorrupt;
  header_->firstFree = next;
  entry->nextFree = -1;
  entry->state = kv::detail::kBlockTaken;
  if (data)
    *data = dataOf(entry);
  if (id)
    *id = first;
  return SharedBlockOk;
}

// Runs `transition` on block `id` under the heap lock, once the heap and the
// block's header are known to be sound.
template <class Transition>
SharedBlockManagerError SharedBlockManager::changeBlock(int64_t id, Transition transition) {
  if (!header_)
    return SharedBlockNoHeap;
  if (!validId(id, numBlocks_))
    return SharedBlockNotAllocated;
  HeapLock lock(header_);
  if (checkHeader() != SharedBlockOk)
    return SharedBlockCorrupt;
  SharedBlockHeader *entry = block(id);
  if (entry->magic != kv::detail::kSharedBlockMagic)
    return SharedBlockCorrupt;
  return transition(entry);
}

SharedBlockManagerError SharedBlockManager::get(void **data, int64_t id) {
  return changeBlock(id, [&](SharedBlockHeader *entry) {
    switch (entry->state) {
    case kv::detail::kBlockFree:
      return SharedBlockNotAllocated;
    case kv::detail::kBlockAllocated:
      entry->state = kv::detail::kBlockTaken;
      if (data)
        *data = dataOf(entry);
      return SharedBlockOk;
    case kv::detail::kBlockTaken:
      return SharedBlockAlreadyTaken;
    default:
      return SharedBlockCorrupt;
    }
  });
}

SharedBlockManagerError SharedBlockManager::release(int64_t id) {
  return changeBlock(id, [&](SharedBlockHeader *entry) {
    switch (entry->state) {
    case kv::detail::kBlockFree:
      return SharedBlockNotAllocated;
    case kv::detail::kBlockAllocated:
      return SharedBlockNotTaken;
    case kv::detail::kBlockTaken:
      entry->state = kv::detail::kBlockAllocated;
      return SharedBlockOk;
    default:
      return SharedBlockCorrupt;
    }
  });
}

SharedBlockManagerError SharedBlockManager::free(int64_t id) {
  return changeBlock(id, [&](SharedBlockHeader *entry) {
    switch (entry->state) {
    case kv::detail::kBlockFree:
      return SharedBlockNotAllocated;
    case kv::detail::kBlockAllocated:
      entry->state = kv::detail::kBlockFree;
      entry->nextFree = header_->firstFree;
      header_->firstFree = id;
      return SharedBlockOk;
    case kv::detail::kBlockTaken:
      return SharedBlockAlreadyTaken;
    default:
      return SharedBlockCorrupt;
    }
  });
}

int64_t SharedBlockManager::getBlockSize() const { return header_ ? blockSize_ : 0; }

int64_t SharedBlockManager::numBlocksAllocated() const {
  if (!header_)
    return 0;
  int64_t count = 0;
  for (int64_t id = 0; id < numBlocks_; ++id) {
    const int32_t state = __atomic_load_n(&blocks_[id]->state, __ATOMIC_RELAXED);
    count += state == kv::detail::kBlockAllocated || state == kv::detail::kBlockTaken;
  }
  return count;
}

// ---- tokens ----------------------------------------------------------------
// A manager is made with its reference count at 1 and entered in the table
// by its constructor; the token that made it takes that reference.

SharedBlockToken::SharedBlockToken(int64_t blockSize, int64_t numBlocks)
    : id_((new SharedBlockManager(blockSize, numBlocks))->getId()) {}

SharedBlockToken::SharedBlockToken(const YString &heapName)
    : id_((new SharedBlockManager(heapName))->getId()) {}

SharedBlockToken::SharedBlockToken(int managerId) { share(managerId); }

SharedBlockToken::SharedBlockToken(const SharedBlockToken &other) { share(other.id_); }

SharedBlockToken &SharedBlockToken::operator=(const SharedBlockToken &other) {
  if (this != &other) {
    SharedBlockToken copy(other); // shared before ours is dropped: safe when both name one manager
    std::swap(id_, copy.id_);
  }
  return *this;
}

SharedBlockToken::~SharedBlockToken() { drop(); }

void SharedBlockToken::share(int managerId) {
  id_ = -1;
  if (managerId == -1)
    return;
  ManagerTable &table = managerTable();
  std::lock_guard<std::mutex> guard(table.lock);
  if (SharedBlockManager **found = table.managers.find(managerId)) {
    ++(*found)->references_;
    id_ = managerId;
  }
}

void SharedBlockToken::drop() {
  if (id_ == -1)
    return;
  SharedBlockManager *doomed = nullptr;
  {
    ManagerTable &table = managerTable();
    std::lock_guard<std::mutex> guard(table.lock);
    if (SharedBlockManager **found = table.managers.find(id_)) {
      if (--(*found)->references_ == 0) {
        doomed = *found;
        table.managers.remove(id_);
      }
    }
  }
  id_ = -1;
  delete doomed; // outside the table's lock: unmapping takes the registry's
}

SharedBlockManager *SharedBlockToken::get() const {
  if (id_ == -1)
    return nullptr;
  ManagerTable &table = managerTable();
  std::lock_guard<std::mutex> guard(table.lock);
  SharedBlockManager **found = table.managers.find(id_);
  return found ? *found : nullptr;
}

void flushSharedBlockLookup() {
  ManagerTable &table = managerTable();
  std::lock_guard<std::mutex> guard(table.lock);
  table.managers.forEach([&](const int32_t &, SharedBlockManager *const &manager) {
    table.flushed.push_back(manager);
  });
  table.managers.clear();
}

namespace {
void flushSharedBlockLookupAtExit(void *) { flushSharedBlockLookup(); }
const AutoFunc flushSharedBlockLookupRegistration("Exit", flushSharedBlockLookupAtExit,
                                                  "flushSharedBlockLookup",
                                                  kv::detail::ExitRank::FlushSharedBlockLookup);
} // namespace
