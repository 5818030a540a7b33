#include "kvsupport/ipc/SharedMemory.h"

#include "ipc/SharedMemory_p.h"
#include "os/SharedMemory_p.h"

#include <atomic>
#include <cstdlib>
#include <cstdint>
#include <mutex>

namespace {

// One name this process created or opened.
struct Record {
  YString name;
  kv::os::SharedObject object;
  int32_t views;
  bool creator;
  Record *next;
  int creatorPid; // the process that made the name (a forked child has our records too)
};

// One view: the name behind it and the bytes it spans.
struct View {
  YString name;
  uint64_t length;
};

// Views are found by the low 32 bits of their address.
struct AddressTraits {
  static uint32_t hash(const uintptr_t &address) { return static_cast<uint32_t>(address); }
  static bool equal(const uintptr_t &a, const uintptr_t &b) { return a == b; }
};

constexpr uint32_t kViewBuckets = 1001;

class Registry {
public:
  std::mutex lock;

  Record *find(const char *name) const {
    for (Record *record = head_; record; record = record->next)
      if (sp_stricmp(record->name.tocs(), name) == 0)
        return record;
    return nullptr;
  }

  Record *push(const YString &name, kv::os::SharedObject object, bool creator) {
    head_ = new Record{name, object, 0, creator, head_, creator ? kv::os::currentProcessId() : 0};
    ++count_;
    return head_;
  }

  // Closes the record's object and forgets the record.
  void remove(Record *record) {
    for (Record **at = &head_; *at; at = &(*at)->next)
      if (*at == record) {
        *at = record->next;
        kv::os::closeSharedObject(record->object);
        delete record;
        --count_;
        return;
      }
  }

  int32_t count() const { return count_; }

  // Removes the names this process made and never freed: they would
  // otherwise outlive it. Views stay valid.
  void removeOwnNames() {
    const int self = kv::os::currentProcessId();
    for (Record *record = head_; record; record = record->next)
      if (record->creator && record->creatorPid == self)
        kv::os::removeSharedObjectName(record->name.tocs());
  }

  YHashTable<uintptr_t, View, AddressTraits> views{kViewBuckets, 0.0};

private:
  Record *head_ = nullptr;
  int32_t count_ = 0;
};

// Lives for the whole process: views may be released from static
// destructors that run after any registry object would be gone.
Registry &registry() {
  static Registry *instance = [] {
    auto *made = new Registry;
    std::atexit([] {
      std::lock_guard<std::mutex> guard(registry().lock);
      registry().removeOwnNames();
    });
    return made;
  }();
  return *instance;
}

// Granules to bytes, refusing counts that do not fit.
bool granulesToBytes(int64_t granules, uint64_t *bytes) {
  const uint64_t granularity = static_cast<uint64_t>(kv::os::sharedViewGranularity());
  if (granules < 0 || static_cast<uint64_t>(granules) > UINT64_MAX / granularity)
    return false;
  *bytes = static_cast<uint64_t>(granules) * granularity;
  return true;
}

} // namespace

YString sp_AllocateSharedBlock(uint64_t size) {
  static std::atomic<int> counter{0};
  YString name;
  name.sprintf("KelvantaSharedBlock%d_%d", ++counter, kv::os::currentProcessId());
  const kv::os::SharedObject object = kv::os::createSharedObject(name.tocs(), size);
  if (object != kv::os::kNoSharedObject) {
    Registry &blocks = registry();
    std::lock_guard<std::mutex> guard(blocks.lock);
    blocks.push(name, object, true);
  }
  return name;
}

void *sp_GetSharedBlock(const char *name, bool readOnly) {
  return sp_GetSharedBlock(name, 0, 0, readOnly);
}

void *sp_GetSharedBlock(const char *name, int64_t offset, int64_t size, bool readOnly) {
  if (!name || !*name)
    return nullptr;
  uint64_t byteOffset = 0, byteLength = 0; // a length of 0: to the end of the block
  if (offset > 0 || size > 0) {
    if (!granulesToBytes(offset, &byteOffset) || !granulesToBytes(size, &byteLength))
      return nullptr;
  }

  Registry &blocks = registry();
  std::lock_guard<std::mutex> guard(blocks.lock);
  Record *record = blocks.find(name);
  if (!record) {
    const kv::os::SharedObject object = kv::os::openSharedObject(name, readOnly);
    if (object == kv::os::kNoSharedObject)
      return nullptr;
    record = blocks.push(YString(name), object, false);
  }

  uint64_t blockSize = 0;
  if (byteLength == 0 && kv::os::sharedObjectSize(record->object, &blockSize) &&
      byteOffset < blockSize)
    byteLength = blockSize - byteOffset;
  void *view = byteLength ? kv::os::mapSharedView(record->object, byteOffset, byteLength, readOnly)
                          : nullptr;
  if (!view) {
    if (record->views == 0 && !record->creator)
      blocks.remove(record); // opened only for this view: keep nothing open
    return nullptr;
  }
  const uintptr_t address = reinterpret_cast<uintptr_t>(view);
  if (blocks.views.contains(address))
    return view;
  blocks.views.insert(address, View{record->name, byteLength});
  ++record->views;
  return view;
}

void sp_ReleaseSharedBlock(void *view) {
  if (!view)
    return;
  Registry &blocks = registry();
  std::lock_guard<std::mutex> guard(blocks.lock);
  const uintptr_t address = reinterpret_cast<uintptr_t>(view);
  View *found = blocks.views.find(address);
  if (!found)
    return;
  const View released = *found;
  kv::os::unmapSharedView(view, released.length);
  blocks.views.remove(address);
  Record *record = blocks.find(released.name.tocs());
  if (!record)
    return;
  if (--record->views <= 0 && !record->creator)
    blocks.remove(record);
}

void sp_FreeSharedBlock(const YString &name) {
  Registry &blocks = registry();
  std::lock_guard<std::mutex> guard(blocks.lock);
  Record *record = blocks.find(name.tocs());
  if (!record || !record->creator)
    return;
  kv::os::removeSharedObjectName(record->name.tocs());
  // Views still mapped keep the record (and its object) until released, so
  // releasing them later still unmaps them.
  record->creator = false;
  if (record->views <= 0)
    blocks.remove(record);
}

int sp_GetSharedBlockGranularity() { return kv::os::sharedViewGranularity(); }

namespace kv::detail {

int sharedBlockViewCount(const char *name) {
  Registry &blocks = registry();
  std::lock_guard<std::mutex> guard(blocks.lock);
  const Record *record = blocks.find(name);
  return record ? record->views : -1;
}

bool sharedBlockCreatedHere(const char *name) {
  Registry &blocks = registry();
  std::lock_guard<std::mutex> guard(blocks.lock);
  const Record *record = blocks.find(name);
  return record && record->creator;
}

int sharedBlockRecordCount() {
  Registry &blocks = registry();
  std::lock_guard<std::mutex> guard(blocks.lock);
  return blocks.count();
}

bool sharedBlockSize(const char *name, uint64_t *size) {
  Registry &blocks = registry();
  std::lock_guard<std::mutex> guard(blocks.lock);
  const Record *record = blocks.find(name);
  return record && kv::os::sharedObjectSize(record->object, size);
}

} // namespace kv::detail
