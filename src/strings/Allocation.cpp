#include "kvsupport/strings/Allocation.h"

#include "os/VirtualMemory_p.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

// ---- C heap ----------------------------------------------------------------

void *tmalloc(int size) { return size > 0 ? std::calloc(1, static_cast<size_t>(size)) : nullptr; }

void *trealloc(void *block, int size) {
  if (size <= 0) {
    std::free(block);
    return nullptr;
  }
  if (!block)
    return tmalloc(size);
  return std::realloc(block, static_cast<size_t>(size));
}

void txfree(void *block) {
  if (block)
    std::free(block);
}

// ---- aligned blocks ------------------------------------------------------------
// The caller's pointer is preceded by a 16-bit distance back to the start of
// the underlying malloc block.

namespace {

constexpr int kMaxAlignment = 32768; // the distance must fit in 16 bits

void *mallocAligned(int size, int alignment) {
  if (size < 0 || alignment > kMaxAlignment)
    return nullptr;
  size_t total = static_cast<size_t>(size) + static_cast<size_t>(alignment);
  char *raw = static_cast<char *>(std::calloc(1, total));
  if (!raw)
    return nullptr;
  uint16_t offset = static_cast<uint16_t>(alignment - reinterpret_cast<uintptr_t>(raw) % alignment);
  char *block = raw + offset;
  std::memcpy(block - sizeof offset, &offset, sizeof offset);
  return block;
}

void freeAligned(void *block) {
  if (!block)
    return;
  uint16_t offset;
  std::memcpy(&offset, static_cast<char *>(block) - sizeof offset, sizeof offset);
  std::free(static_cast<char *>(block) - offset);
}

} // namespace

void *sp_Malloc16(int size) { return mallocAligned(size, 16); }
void *sp_MallocAlign(int size, int alignment) {
  return mallocAligned(size, alignment > 8 ? alignment : 8);
}
void sp_Free16(void *block) { freeAligned(block); }
void sp_FreeAlign(void *block) { freeAligned(block); }

// ---- reserve-and-commit blocks -----------------------------------------------------

namespace {

constexpr size_t kHeaderBytes = 64;
constexpr uint64_t kSignature = 0x4B564D454D424C4BULL; // "KVMEMBLK"

struct ControlRecord {
  char *base;
  char *block;
  uint32_t pageSize;
  size_t committedPages;
  size_t reservedBytes;
  size_t usedBytes;
};

// The blocks alive in this process. A pointer is accepted only when it is
// here, so a foreign pointer is recognised without reading memory before it.
std::mutex gLiveMutex;
std::set<const void *> gLiveBlocks;

ControlRecord *liveRecord(void *block) {
  if (!block)
    return nullptr;
  {
    std::lock_guard<std::mutex> lock(gLiveMutex);
    if (!gLiveBlocks.count(block))
      return nullptr;
  }
  const char *header = static_cast<const char *>(block) - kHeaderBytes;
  uint64_t signature;
  std::memcpy(&signature, header, sizeof signature);
  if (signature != kSignature)
    return nullptr;
  ControlRecord *record;
  std::memcpy(&record, header + sizeof signature, sizeof record);
  return record;
}

// Commits enough pages for `used` bytes: used / page + 1 pages (one spare
// when used is an exact multiple). Pages are never given back before vFree.
bool commitFor(ControlRecord &record, size_t used) {
  size_t pages = used / record.pageSize + 1;
  if (pages > record.committedPages) {
    size_t bytes = pages * record.pageSize;
    if (bytes > record.reservedBytes || !kv::os::commitPages(record.base, bytes))
      return false;
    record.committedPages = pages;
  }
  record.usedBytes = used;
  return true;
}

} // namespace

void *vMalloc(size_t size, size_t reserveMegabytes) {
  if (reserveMegabytes == 0 || reserveMegabytes > SIZE_MAX / 1048576 ||
      size > SIZE_MAX - kHeaderBytes)
    return nullptr;
  size_t reserved = reserveMegabytes * 1048576;
  char *base = static_cast<char *>(kv::os::reserveAddressSpace(reserved));
  if (!base)
    return nullptr;
  auto *record =
      new ControlRecord{base, base, static_cast<uint32_t>(kv::os::pageSize()), 0, reserved, 0};
  if (!commitFor(*record, size + kHeaderBytes)) {
    kv::os::releaseAddressSpace(base, reserved);
    delete record;
    return nullptr;
  }
  std::memcpy(base, &kSignature, sizeof kSignature);
  std::memcpy(base + sizeof kSignature, &record, sizeof record);
  void *block = base + kHeaderBytes;
  std::lock_guard<std::mutex> lock(gLiveMutex);
  gLiveBlocks.insert(block);
  return block;
}

void *vRealloc(void *block, size_t size) {
  ControlRecord *record = liveRecord(block);
  if (!record || size > SIZE_MAX - kHeaderBytes || !commitFor(*record, size + kHeaderBytes))
    return nullptr;
  return block;
}

void vFree(void *block) {
  ControlRecord *record = liveRecord(block);
  if (!record)
    return;
  {
    std::lock_guard<std::mutex> lock(gLiveMutex);
    gLiveBlocks.erase(block);
  }
  kv::os::releaseAddressSpace(record->base, record->reservedBytes);
  delete record;
}
