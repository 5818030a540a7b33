#include "kvsupport/ipc/SharedBlockManager.h"

#include "common/ChildProcess.h"
#include "common/ProcessSync.h"
#include "ipc/SharedHeap_p.h"
#include "ipc/SharedMemory_p.h"
#include "kvsupport/ipc/SharedMemory.h"
#include "kvsupport/support/KelvantaException.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <random>
#include <sched.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using kv::detail::SharedBlockHeader;
using kv::detail::SharedHeapHeader;

constexpr int64_t kGranule = 65536;

// The geometry rule written out plainly: the waste test in its first form.
ViewParameters referenceGeometry(int64_t slot, int64_t count, int64_t g) {
  int64_t granules = 1;
  if (slot >= g / 16) {
    for (granules = (slot + g - 1) / g; granules < 32; ++granules) {
      const int64_t used = (granules * g / slot) * slot;
      if ((granules * g - used) * 16 <= used)
        break;
    }
  }
  const int64_t perView = granules * g / slot;
  return {granules, perView, (count + perView - 1) / perView, granules * g / perView};
}

TEST(SharedBlockManagerTest, ViewGeometry) {
  std::mt19937_64 random(5);
  for (int i = 0; i < 4000; ++i) {
    const int64_t slot =
        i < 2000 ? 17 + i * 97 : 17 + static_cast<int64_t>(random() % (42 * kGranule));
    const int64_t count = 1 + static_cast<int64_t>(random() % 3000);
    ViewParameters got{};
    ASSERT_TRUE(kv::detail::sharedHeapGeometry(slot, count, kGranule, &got)) << slot;
    const ViewParameters want = referenceGeometry(slot, count, kGranule);
    ASSERT_EQ(std::memcmp(&got, &want, sizeof got), 0) << slot << " " << count;
  }
  ViewParameters untouched{7, 7, 7, 7};
  for (auto [slot, count] :
       {std::pair<int64_t, int64_t>{0, 10}, {100, 0}, {INT64_MAX, 10}, {17, INT64_MAX}})
    EXPECT_FALSE(kv::detail::sharedHeapGeometry(slot, count, kGranule, &untouched)) << slot;
  EXPECT_EQ(untouched.granulesPerView, 7);

  EXPECT_EQ(SharedBlockToken(100, 10).get()->getBlockSize(), 100);
  EXPECT_EQ(SharedBlockToken(kGranule - 16, 2).get()->getBlockSize(), kGranule - 16);
  EXPECT_EQ(SharedBlockToken(4000, 2).get()->getBlockSize(), 4080);
}

TEST(SharedBlockManagerTest, HandsOutBlocksInOrderAndReusesLastFreed) {
  SharedBlockToken heap(100, 5);
  SharedBlockManager *m = heap.get();
  std::vector<int64_t> ids(5, -1);
  std::vector<char *> data;
  for (int64_t &id : ids) {
    void *at = nullptr;
    ASSERT_EQ(m->alloc(&at, &id), SharedBlockOk);
    data.push_back(static_cast<char *>(at));
    std::memset(at, static_cast<int>('a' + id), 100);
  }
  EXPECT_EQ(ids, (std::vector<int64_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(m->alloc(nullptr, nullptr), SharedBlockHeapFull);
  for (int i = 0; i < 5; ++i) // no block's data overlaps another's
    EXPECT_EQ(std::string(data[i], 100), std::string(100, static_cast<char>('a' + i)));
  for (int64_t id : {2, 3, 1})
    ASSERT_TRUE(m->release(id) == SharedBlockOk && m->free(id) == SharedBlockOk);
  EXPECT_EQ(m->numBlocksAllocated(), 2);
  for (int64_t &id : ids)
    id = m->alloc(nullptr, &id) == SharedBlockOk ? id : -1;
  EXPECT_EQ(ids, (std::vector<int64_t>{1, 3, 2, -1, -1}));
}

// Block 0's header as it lies in shared memory.
SharedBlockHeader *firstBlock(const YString &heapName) {
  return static_cast<SharedBlockHeader *>(sp_GetSharedBlock(heapName.tocs(), 1, 1, false));
}

TEST(SharedBlockManagerTest, StateTransitions) {
  enum Op { Alloc, Get, Release, Free };
  const int32_t F = kv::detail::kBlockFree, A = kv::detail::kBlockAllocated,
                T = kv::detail::kBlockTaken;
  const struct {
    int32_t from;
    Op op;
    SharedBlockManagerError result;
    int32_t to;
  } cases[] = {
      {F, Alloc, SharedBlockOk, T},
      {F, Get, SharedBlockNotAllocated, F},
      {F, Release, SharedBlockNotAllocated, F},
      {F, Free, SharedBlockNotAllocated, F},
      {A, Alloc, SharedBlockHeapFull, A},
      {A, Get, SharedBlockOk, T},
      {A, Release, SharedBlockNotTaken, A},
      {A, Free, SharedBlockOk, F},
      {T, Alloc, SharedBlockHeapFull, T},
      {T, Get, SharedBlockAlreadyTaken, T},
      {T, Release, SharedBlockOk, A},
      {T, Free, SharedBlockAlreadyTaken, T},
  };
  for (const auto &c : cases) {
    SharedBlockToken heap(64, 1);
    SharedBlockManager *m = heap.get();
    ASSERT_TRUE(c.from == F || m->alloc(nullptr, nullptr) == SharedBlockOk);
    ASSERT_TRUE(c.from != A || m->release(0) == SharedBlockOk);
    const SharedBlockManagerError result = c.op == Alloc     ? m->alloc(nullptr, nullptr)
                                           : c.op == Get     ? m->get(nullptr, 0)
                                           : c.op == Release ? m->release(0)
                                                             : m->free(0);
    EXPECT_EQ(result, c.result) << c.from << " op " << c.op;
    SharedBlockHeader *block = firstBlock(m->getHeapName());
    EXPECT_EQ(block->state, c.to) << c.from << " op " << c.op;
    sp_ReleaseSharedBlock(block);
    for (int64_t id : {int64_t(-1), int64_t(1), INT64_MIN, INT64_MAX})
      EXPECT_TRUE(m->get(nullptr, id) == SharedBlockNotAllocated &&
                  m->release(id) == SharedBlockNotAllocated &&
                  m->free(id) == SharedBlockNotAllocated)
          << id;
  }
}

TEST(SharedBlockManagerTest, DamagedHeapIsReportedNotTrusted) {
  using H = SharedHeapHeader;
  using B = SharedBlockHeader;
  // Block 1 is allocated (released) before the damage is done; block 0 is free.
  const struct {
    const char *what;
    void (*spoil)(H *, B *block0, B *block1);
    SharedBlockManagerError alloc, get1; // results of alloc() and get(1)
  } cases[] = {
      {"firstFree far out", [](H *h, B *, B *) { h->firstFree = 1 << 30; }, SharedBlockCorrupt,
       SharedBlockOk},
      {"firstFree negative", [](H *h, B *, B *) { h->firstFree = -7; }, SharedBlockCorrupt,
       SharedBlockOk},
      {"nextFree far out", [](H *, B *b0, B *) { b0->nextFree = 1LL << 40; }, SharedBlockCorrupt,
       SharedBlockOk},
      {"block count changed", [](H *h, B *, B *) { h->numBlocks = 1 << 30; }, SharedBlockCorrupt,
       SharedBlockCorrupt},
      {"magic gone", [](H *, B *b0, B *b1) { b0->magic = 0, b1->magic = 1; }, SharedBlockCorrupt,
       SharedBlockCorrupt},
      {"unknown state", [](H *, B *b0, B *b1) { b0->state = 7, b1->state = -1; },
       SharedBlockCorrupt, SharedBlockCorrupt},
  };
  for (const auto &c : cases) {
    SharedBlockToken heap(4080, 4); // 16 blocks of 4096 bytes per granule
    SharedBlockManager *m = heap.get();
    ASSERT_TRUE(m->alloc(nullptr, nullptr) == SharedBlockOk &&
                m->alloc(nullptr, nullptr) == SharedBlockOk);
    ASSERT_TRUE(m->release(1) == SharedBlockOk && m->release(0) == SharedBlockOk &&
                m->free(0) == SharedBlockOk);
    auto *header = static_cast<H *>(sp_GetSharedBlock(m->getHeapName().tocs(), 0, 1, false));
    B *block0 = firstBlock(m->getHeapName());
    B *block1 = reinterpret_cast<B *>(reinterpret_cast<char *>(block0) + 4096);
    c.spoil(header, block0, block1);
    const int64_t firstFree = header->firstFree;
    EXPECT_EQ(m->alloc(nullptr, nullptr), c.alloc) << c.what;
    EXPECT_EQ(header->firstFree, firstFree) << c.what; // failures change nothing
    EXPECT_EQ(m->get(nullptr, 1), c.get1) << c.what;
    EXPECT_EQ(header->lockWord, 0) << c.what; // and always let go of the lock
    // Another process attaching does not paper over the damage.
    const auto magic0 = block0->magic, magic1 = block1->magic;
    SharedBlockToken attached(m->getHeapName());
    EXPECT_TRUE(block0->magic == magic0 && block1->magic == magic1) << c.what;
    sp_ReleaseSharedBlock(block0);
    sp_ReleaseSharedBlock(header);
  }
}

TEST(SharedBlockManagerTest, UnsoundHeapsAreNotAttached) {
  SharedBlockToken heap(100, 8);
  const YString name = heap.get()->getHeapName();
  auto *header = static_cast<SharedHeapHeader *>(sp_GetSharedBlock(name.tocs(), 0, 1, false));
  const SharedHeapHeader good = *header;
  // The fewest blocks whose views need one granule more than the block has.
  static int64_t pastTheEnd = good.numBlocks;
  ViewParameters fits{}, needs{};
  ASSERT_TRUE(kv::detail::sharedHeapGeometry(good.requestedBlockSize + 16, good.numBlocks, kGranule,
                                             &fits));
  do
    ASSERT_TRUE(kv::detail::sharedHeapGeometry(good.requestedBlockSize + 16, ++pastTheEnd, kGranule,
                                               &needs));
  while (needs.granulesPerView * needs.numViews == fits.granulesPerView * fits.numViews);
  struct Spoil {
    const char *what;
    void (*spoil)(SharedHeapHeader *);
  };
  const Spoil cases[] = {
      {"signature", [](SharedHeapHeader *h) { h->signature[0] = 'X'; }},
      {"too many blocks", [](SharedHeapHeader *h) { h->numBlocks = 100000; }},
      {"a granule too many", [](SharedHeapHeader *h) { h->numBlocks = pastTheEnd; }},
      {"no blocks", [](SharedHeapHeader *h) { h->numBlocks = 0; }},
      {"blocks too big", [](SharedHeapHeader *h) { h->requestedBlockSize = 1LL << 40; }},
      {"huge blocks", [](SharedHeapHeader *h) { h->requestedBlockSize = INT64_MAX; }},
      {"no block size", [](SharedHeapHeader *h) { h->requestedBlockSize = 0; }},
  };
  for (const Spoil &c : cases) {
    *header = good;
    c.spoil(header);
    SharedBlockToken attached(name);
    SharedBlockManager *m = attached.get();
    ASSERT_TRUE(m) << c.what;
    const std::vector<int64_t> seen = {
        m->getBlockSize(),  m->numBlocksAllocated(), m->alloc(nullptr, nullptr),
        m->get(nullptr, 0), m->release(0),           m->free(0)};
    EXPECT_EQ(seen, (std::vector<int64_t>{0, 0, SharedBlockNoHeap, SharedBlockNoHeap,
                                          SharedBlockNoHeap, SharedBlockNoHeap}))
        << c.what;
  }
  *header = good;
  sp_ReleaseSharedBlock(header);
  EXPECT_EQ(SharedBlockToken(name).get()->getBlockSize(), 100);
  EXPECT_EQ(SharedBlockToken(YString("KelvantaSharedBlockMissing")).get()->getBlockSize(), 0);
}

TEST(SharedBlockManagerTest, BadSizesGiveNoHeapOrThrow) {
  for (auto [size, count] : {std::pair<int64_t, int64_t>{0, 10}, {10, 0}, {-1, -1}}) {
    SharedBlockToken heap(size, count);
    ASSERT_TRUE(heap.get());
    EXPECT_EQ(heap.get()->alloc(nullptr, nullptr), SharedBlockNoHeap);
  }
  const int records = kv::detail::sharedBlockRecordCount();
  for (auto [size, count] : {std::pair<int64_t, int64_t>{INT64_MAX - 8, 1}, {1LL << 50, 1}}) {
    try {
      SharedBlockToken heap(size, count);
      ADD_FAILURE() << "a heap of " << size << " bytes was made";
    } catch (const MemoryException &e) {
      EXPECT_STREQ(e.getMessage(),
                   "*** Fatal error, out of memory ***\nCould not allocate shared heap");
      EXPECT_EQ(e.getCode(), 5);
    }
  }
  EXPECT_EQ(kv::detail::sharedBlockRecordCount(), records); // nothing left behind
}

TEST(SharedBlockManagerTest, TokensShareOneManager) {
  SharedBlockToken empty;
  EXPECT_TRUE(empty.get() == nullptr && SharedBlockToken(empty).getId() == -1);
  EXPECT_TRUE(SharedBlockToken(-1).get() == nullptr && SharedBlockToken(987654).getId() == -1);

  const int records = kv::detail::sharedBlockRecordCount();
  YString name;
  int id;
  {
    auto first = std::make_unique<SharedBlockToken>(64, 4);
    id = first->getId();
    name = first->get()->getHeapName();
    SharedBlockToken byId(id);
    EXPECT_EQ(byId.get(), first->get());
    SharedBlockToken assigned;
    assigned = byId;
    SharedBlockToken &alias = assigned;
    assigned = alias;
    assigned = byId; // the same manager again: never dropped to zero on the way
    first.reset();
    EXPECT_NE(SharedBlockToken(id).get(), nullptr);
  }
  EXPECT_EQ(SharedBlockToken(id).get(), nullptr);           // the last token took it along
  EXPECT_EQ(sp_GetSharedBlock(name.tocs(), true), nullptr); // and its name
  EXPECT_EQ(kv::detail::sharedBlockRecordCount(), records);
}

constexpr int kChurnRounds = 20000;

// Takes a block, claims it, gives it back, takes it again and frees it:
// five heap operations, any of which would see a block handed out twice.
bool churn(SharedBlockManager *m) {
  void *at = nullptr;
  int64_t id = -1;
  SharedBlockManagerError e;
  while ((e = m->alloc(&at, &id)) == SharedBlockHeapFull)
    sched_yield();
  auto *owner = static_cast<int64_t *>(at);
  if (e != SharedBlockOk || *owner != 0)
    return false;
  *owner = ::getpid();
  if (m->release(id) != SharedBlockOk || m->get(&at, id) != SharedBlockOk || *owner != getpid())
    return false;
  *owner = 0;
  return m->release(id) == SharedBlockOk && m->free(id) == SharedBlockOk;
}

// Child side: attaches by name and churns; when the parent has churned too,
// it takes the heap's lock, says so and holds the lock until it is killed.
int churnInChild() {
  const YString name(kvtest::env("KV_HEAP").c_str());
  SharedBlockToken heap(name);
  SharedBlockManager *m = heap.get();
  if (!m || m->getBlockSize() != int64_t(sizeof(int64_t)))
    return 2;
  for (int i = 0; i < kChurnRounds; ++i)
    if (!churn(m))
      return 3;
  const std::string dir = kvtest::env("KV_DIR");
  kvtest::touchFile(dir + "/churned");
  kvtest::waitUntil([&] { return kvtest::fileExists(dir + "/go"); }, 60000);
  auto *header = static_cast<SharedHeapHeader *>(sp_GetSharedBlock(name.tocs(), 0, 1, false));
  kv::detail::lockSharedHeap(&header->lockWord);
  kvtest::touchFile(dir + "/ready");
  kvtest::waitUntil([] { return false; }, 60000); // until killed
  return 4;
}

// Two processes churning on one heap never see a block handed out twice;
// the child then dies holding the heap's lock, which is taken over.
TEST(SharedBlockManagerTest, TwoProcessesNeverShareABlockAndDeadLockHolderIsTakenOver) {
  if (kvtest::childRole() == "churn")
    std::exit(churnInChild());
  SharedBlockToken heap(sizeof(int64_t), 2);
  SharedBlockManager *m = heap.get();
  const std::string dir = kvtest::makeTempDir("kvheap"), ready = dir + "/ready";
  auto child = kvtest::startChild(kvtest::currentTest(), "churn",
                                  {{"KV_HEAP", m->getHeapName().tocs()}, {"KV_DIR", dir}});
  int failures = 0; // churning for as long as the child does
  for (int i = 0;
       i < kChurnRounds || (!kvtest::fileExists(dir + "/churned") && !child->waitForFinished(0));
       ++i)
    failures += !churn(m);
  EXPECT_EQ(failures, 0);
  kvtest::touchFile(dir + "/go");
  kvtest::waitUntil([&] { return kvtest::fileExists(ready) || child->waitForFinished(0); });
  if (!kvtest::fileExists(ready)) {
    FAIL() << "the child ended with " << kvtest::waitChild(*child);
  }
  EXPECT_EQ(m->numBlocksAllocated(), 0); // read without the lock: the child's frees reached us

  auto *header =
      static_cast<SharedHeapHeader *>(sp_GetSharedBlock(m->getHeapName().tocs(), 0, 1, true));
  EXPECT_EQ(header->lockWord, child->processId()); // the holder is named in the lock word
  std::promise<SharedBlockManagerError> done;
  std::future<SharedBlockManagerError> result = done.get_future();
  std::thread waiter([&] { done.set_value(m->alloc(nullptr, nullptr)); });
  // A live holder is waited for...
  EXPECT_EQ(result.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  child->kill();
  child->waitForFinished();
  // ...a dead one is not.
  if (result.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    ADD_FAILURE() << "the heap lock of a dead process was never taken over";
    std::_Exit(1);
  }
  waiter.join();
  EXPECT_EQ(result.get(), SharedBlockOk);
  EXPECT_EQ(header->lockWord, 0);
  sp_ReleaseSharedBlock(header);
  kvtest::removeTree(dir);
}

} // namespace
