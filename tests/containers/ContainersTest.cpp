// Arrays, lists, vectors, hash tables and the ordered tree.
#include "kvsupport/containers/YArray.h"
#include "kvsupport/containers/YArrayData.h"
#include "kvsupport/containers/YHashTable.h"
#include "kvsupport/containers/YList.h"
#include "kvsupport/containers/YTreeImpl.h"
#include "kvsupport/containers/YVector.h"
#include "kvsupport/strings/YString.h"
#include "kvsupport/support/KelvantaException.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// ---- Array ----
// Random inserts and removals at any index, in range or not, against a
// std::vector: indexes clamp, removals close the gap, a full array grows by
// half (at least one slot) and every slot beyond the count stays zero.
TEST(ArrayTest, MatchesAVectorAndGrowsByHalf) {
  std::mt19937 random(5);
  for (int64_t initial : {-5, 0, 1, 4}) {
    YArrayData data(initial);
    int64_t capacity = std::max<int64_t>(initial, 1);
    std::vector<void *> reference;
    for (int step = 0; step < 2000; ++step) {
      const int64_t size = static_cast<int64_t>(reference.size());
      const int64_t index = static_cast<int64_t>(random() % (size + 4)) - 2;
      if (random() % 3) {
        void *item = reinterpret_cast<void *>(static_cast<intptr_t>(step + 1));
        const int64_t at = std::clamp<int64_t>(index, 0, size);
        ASSERT_EQ(data.addDataAt(item, index), at);
        reference.insert(reference.begin() + at, item);
        if (size == capacity)
          capacity = std::max(capacity * 3 / 2, capacity + 1);
      } else {
        data.removeDataItemAt(index);
        if (index >= 0 && index < size)
          reference.erase(reference.begin() + index);
      }
      ASSERT_EQ(data.capacity(), capacity) << step;
      ASSERT_EQ(std::vector<void *>(data.data(), data.data() + data.count()), reference);
      ASSERT_EQ(data.at(data.count()), nullptr);
      if (data.count() < capacity) {
        ASSERT_EQ(data.data()[data.count()], nullptr);
      }
    }
    // A late reservation keeps what is held; copies are deep.
    data.checkAlloc(capacity + 10);
    data.checkAlloc(5);
    EXPECT_EQ(data.capacity(), capacity + 10);
    YArrayData copy(data);
    copy.addDataAt(nullptr, 0);
    data = copy;
    copy.removeDataItemAt(0);
    EXPECT_EQ(data.count(), static_cast<int64_t>(reference.size()) + 1);
  }
}

TEST(ArrayTest, TypedArraysOwnTheirValuesAndCopyDeeply) {
  YArray<YString> words(1);
  words.add(YString("b"));
  words.insertAt(0, YString("a"));
  YArray<YString> copy(words);
  words.removeAt(0);
  words[0] = "z";
  EXPECT_EQ(words.get(1), nullptr);
  YArray<YString> moved(std::move(copy));
  copy = moved;
  ASSERT_EQ(copy.size(), 2);
  EXPECT_STREQ(copy[0].tocs(), "a");
  EXPECT_STREQ(copy[1].tocs(), "b");
}

// ---- SharedTypes ----
TEST(SharedTypesTest, ListAppendsAfterTailAndPrependsBeforeHead) {
  YList<int> list;
  list.append(2);
  list.append(3);
  list.prepend(1);
  EXPECT_EQ(std::vector<int>(list.begin(), list.end()), (std::vector<int>{1, 2, 3}));
  YList<int> copy(list);
  EXPECT_EQ(list.takeFirst(), 1);
  list.removeFirst();
  list.removeFirst();
  list.removeFirst(); // on an empty list: nothing
  list.append(9);     // the tail was reset when the list emptied
  EXPECT_EQ(std::vector<int>(list.begin(), list.end()), (std::vector<int>{9}));
  EXPECT_EQ(std::vector<int>(copy.begin(), copy.end()), (std::vector<int>{1, 2, 3}));
}

// Growth to the need plus half the capacity keeps every value, also an
// element of the vector itself appended while it grows.
TEST(SharedTypesTest, VectorGrowsAndKeepsValuesThroughEdits) {
  YVector<YString> v;
  std::vector<int64_t> capacities;
  for (int i = 0; i < 50; ++i) {
    v.append(YString(i));
    capacities.push_back(v.capacity());
  }
  capacities.resize(10);
  EXPECT_EQ(capacities, (std::vector<int64_t>{1, 2, 4, 4, 7, 7, 7, 11, 11, 11}));
  v.append(v[0]);
  v.insert(0, YString("front"));
  v.removeAt(1);
  v.removeAt(1000);
  ASSERT_EQ(v.size(), 51);
  EXPECT_STREQ(v[1].tocs(), "1");
  YVector<YString> copy(v);
  v.resize(2);
  EXPECT_STREQ(copy[50].tocs(), "0");
}

TEST(SharedTypesTest, BadSizesThrowTheOutOfMemoryException) {
  EXPECT_THROW(YVector<double>().reserve(INT64_MAX / 2), MemoryException);
  try {
    YVector<YString>().reserve(INT64_MAX / 2);
    ADD_FAILURE() << "no exception";
  } catch (const MemoryException &e) {
    EXPECT_EQ(e.getCode(), 5);
    EXPECT_STREQ(e.getMessage(),
                 "*** Fatal error, out of memory ***\nDetected in YVector<YString>::alloc");
  }
}

// Lookups ignore case; sizes follow the prime table.
TEST(SharedTypesTest, HashTableMatchesAMapUnderRandomEdits) {
  EXPECT_EQ(kv::nextHashTableSize(101), 197u);
  EXPECT_EQ(kv::nextHashTableSize(2000000000u), 1685759167u);
  YHashTable<YString, int> table; // 101 buckets, load factor 2
  std::map<int, int> reference;
  std::mt19937 random(7);
  for (int step = 0; step < 20000; ++step) {
    const int n = static_cast<int>(random() % 700);
    YString probe((std::string(random() % 2 ? "key" : "KEY") + std::to_string(n)).c_str());
    switch (random() % 3) {
    case 0:
      table.insert(probe, step);
      reference[n] = step;
      break;
    case 1:
      EXPECT_EQ(table.remove(probe), reference.erase(n) == 1);
      break;
    default:
      int *found = table.find(probe);
      ASSERT_EQ(found != nullptr, reference.count(n) == 1);
      EXPECT_TRUE(!found || *found == reference[n]);
    }
  }
  EXPECT_EQ(table.count(), static_cast<int64_t>(reference.size()));
  EXPECT_GT(table.bucketCount(), 101u) << "700 keys at load factor 2 outgrow 101 buckets";
  YHashTable<YString, int> fixed(101, 0); // a load factor of 0 never grows
  for (int i = 0; i < 1000; ++i)
    fixed[YString(i)] = i;
  EXPECT_EQ(fixed.bucketCount(), 101u);
  EXPECT_EQ(*fixed.find(YString(999)), 999);
}

// ---- YTreeImpl ----
int liveObjects = 0;

// A stored object: ordered by key; `tag` tells equal objects apart.
class Key : public YObject {
public:
  explicit Key(int key, int tag = 0) : key(key), tag(tag) { ++liveObjects; }
  ~Key() override { --liveObjects; }
  int typeId() const override { return 7; }
  int equals(const YObject &other) const override {
    const Key *that = dynamic_cast<const Key *>(&other);
    return that && key == that->key;
  }
  int lessThan(const YObject &other) const override {
    const Key *that = dynamic_cast<const Key *>(&other);
    return that && key < that->key;
  }
  int key;
  int tag;
};

// Another type whose comparisons would match Key's if types were ignored.
class OtherKey : public Key {
public:
  using Key::Key;
  int typeId() const override { return 8; }
};

int keyAt(const YTreeImpl &tree, long position) {
  return static_cast<const Key &>(tree[position]).key;
}

// Exposes the protected insertion that answers the position.
class PositionTree : public YTreeImpl {
public:
  using YTreeImpl::i_add;
  using YTreeImpl::YTreeImpl;
};

class LiveObjectsGuard : public ::testing::Test {
protected:
  void SetUp() override { liveObjects = 0; }
  void TearDown() override { EXPECT_EQ(liveObjects, 0) << "every object is destroyed once"; }
};

using YTreeImplTest = LiveObjectsGuard;

// Orders clamp; the empty tree and bad objects answer the no-object error;
// objects of another type are never found; the newer of two equal objects
// sits first.
TEST_F(YTreeImplTest, EdgesAnswerTheNoObjectError) {
  for (int order : {-5, 0, 2, 3, 8})
    EXPECT_EQ(YTreeImpl(order).order(), std::max(order, 3));
  EXPECT_EQ(YTreeImpl(INT_MAX).order(), 1 << 20);
  PositionTree tree(4);
  Key probe(1);
  EXPECT_EQ(tree.rank(probe), -1);
  EXPECT_EQ(&tree[0], YObject::ZERO);
  EXPECT_EQ(&tree.findMember(probe), YObject::ZERO);
  EXPECT_FALSE(YObject::isFound(*YObject::ZERO) || YObject::ZERO->typeId() != 0);
  tree.add(nullptr);
  tree.add(YObject::ZERO);
  EXPECT_EQ(tree.addunique(nullptr), nullptr);
  EXPECT_EQ(tree.addunique(YObject::ZERO), nullptr);
  EXPECT_EQ(tree.i_add(nullptr), -1);
  tree.detach(*YObject::ZERO);
  EXPECT_EQ(tree.isEmpty(), 1);
  for (int i = 0; i < 50; ++i)
    tree.add(new Key(i, 1));
  for (int i = 0; i < 50; ++i) {
    OtherKey other(i);
    EXPECT_EQ(tree.hasMember(other), 0);
    tree.detach(other);
  }
  Key *held = static_cast<Key *>(&tree[5]);
  Key second(5, 2);
  EXPECT_EQ(tree.addunique(&second), held);
  tree.add(new Key(5, 3));
  EXPECT_EQ(static_cast<Key &>(tree[5]).tag, 3);
  EXPECT_TRUE(tree.verify());
}

TEST_F(YTreeImplTest, MovesFlushesAndDetachesDestroyObjectsOnce) {
  YTreeImpl tree(5);
  for (int i = 0; i < 1000; ++i)
    tree.add(new Key(i % 37));
  tree.detach(Key(3));
  EXPECT_EQ(liveObjects, 999) << "the probe is the caller's; one held object went";
  YTreeImpl moved(std::move(tree));
  EXPECT_EQ(tree.getItemsInContainer(), 0); // NOLINT(bugprone-use-after-move)
  YTreeImpl target(3);
  target.add(new Key(-1));
  target = std::move(moved);
  EXPECT_EQ(keyAt(target, 998), 36);
  target.flush();
  EXPECT_EQ(liveObjects, 0);
}

// Random adds, unique adds and detaches against std::multiset, in phases that
// grow, churn and shrink the tree (splits, merges, root collapses), with the
// structure checked after every operation and positions and ranks compared
// with the sorted contents at intervals. Small key ranges give many equal keys.
struct RandomRun {
  int order, keyRange, operations;
};

class YTreeImplRandomTest : public LiveObjectsGuard,
                            public ::testing::WithParamInterface<RandomRun> {};

TEST_P(YTreeImplRandomTest, MatchesMultiset) {
  const RandomRun run = GetParam();
  std::mt19937 random(static_cast<unsigned>(run.order * 7919 + run.keyRange));
  PositionTree tree(run.order);
  std::multiset<int> reference;
  for (int op = 0; op < run.operations; ++op) {
    const int addPercent = 75 - 25 * ((op / 4000) % 3);
    const int key = static_cast<int>(random() % static_cast<unsigned>(run.keyRange));
    const int choice = static_cast<int>(random() % 100);
    if (choice < addPercent * 2 / 3) {
      Key *object = new Key(key, op);
      long position = tree.i_add(object);
      ASSERT_GE(position, std::distance(reference.begin(), reference.lower_bound(key)));
      ASSERT_LE(position, std::distance(reference.begin(), reference.upper_bound(key)));
      ASSERT_EQ(&tree[position], object) << "i_add answers where the object went";
      reference.insert(key);
    } else if (choice < addPercent) {
      Key *object = new Key(key, op);
      YObject *held = tree.addunique(object);
      ASSERT_EQ(held ? static_cast<Key *>(held)->key : -1, reference.count(key) ? key : -1);
      if (held) {
        delete object;
      } else {
        reference.insert(key);
      }
    } else {
      tree.detach(Key(key));
      if (reference.count(key))
        reference.erase(reference.find(key));
    }
    ASSERT_TRUE(tree.verify()) << "operation " << op;
    ASSERT_EQ(tree.getItemsInContainer(), static_cast<int>(reference.size()));
    if (op % 997 != 0)
      continue;
    const std::vector<int> sorted(reference.begin(), reference.end());
    for (long i = 0; i < static_cast<long>(sorted.size()); ++i)
      ASSERT_EQ(keyAt(tree, i), sorted[static_cast<size_t>(i)]) << "position " << i;
    ASSERT_EQ(&tree[static_cast<long>(sorted.size())], YObject::ZERO);
    for (int k = -1; k <= run.keyRange && !sorted.empty(); ++k) {
      Key probe(k);
      const long rank = tree.rank(probe);
      const long lower = std::lower_bound(sorted.begin(), sorted.end(), k) - sorted.begin();
      const long upper = std::upper_bound(sorted.begin(), sorted.end(), k) - sorted.begin();
      ASSERT_EQ(tree.hasMember(probe) != 0, lower != upper) << k;
      ASSERT_GE(rank, lower) << k;
      ASSERT_LE(rank, std::max(lower, upper - 1)) << k;
      if (lower != upper) {
        ASSERT_EQ(static_cast<Key &>(tree.findMember(probe)).key, k);
      }
    }
  }
  // Emptying the tree in random order leaves no root behind.
  std::vector<int> keys(reference.begin(), reference.end());
  std::shuffle(keys.begin(), keys.end(), random);
  for (int key : keys) {
    tree.detach(Key(key));
    ASSERT_TRUE(tree.verify());
  }
  EXPECT_EQ(tree.isEmpty(), 1);
}

INSTANTIATE_TEST_SUITE_P(Orders, YTreeImplRandomTest,
                         ::testing::Values(RandomRun{3, 600, 60000}, RandomRun{3, 20, 20000},
                                           RandomRun{4, 600, 60000}, RandomRun{5, 400, 12000},
                                           RandomRun{6, 400, 12000}, RandomRun{8, 30, 20000},
                                           RandomRun{7, 400, 12000}, RandomRun{16, 1000, 12000}));

} // namespace
