#include "kvsupport/containers/YTreeImpl.h"
#include "kvsupport/containers/YError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <ostream>
#include <random>
#include <set>
#include <type_traits>
#include <vector>

namespace {

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

TEST_F(YTreeImplTest, OrderIsAtLeastThree) {
  for (int order : {-5, 0, 1, 2, 3, 4, 8})
    EXPECT_EQ(YTreeImpl(order).order(), std::max(order, 3));
  EXPECT_EQ(YTreeImpl(INT_MAX).order(), 1 << 20);
  EXPECT_EQ(YTreeImpl().order(), 3);
}

TEST_F(YTreeImplTest, EmptyTreeAnswersTheNoObjectError) {
  YTreeImpl tree;
  Key probe(1);
  EXPECT_EQ(tree.isEmpty(), 1);
  EXPECT_EQ(tree.rank(probe), -1);
  EXPECT_EQ(&tree[0], YObject::ZERO);
  EXPECT_EQ(&tree[-1], YObject::ZERO);
  EXPECT_EQ(&tree.findMember(probe), YObject::ZERO);
  EXPECT_EQ(tree.hasMember(probe), 0);
  tree.detach(probe);
  EXPECT_TRUE(tree.verify());
  // ZERO is an error object: never found, never less than or equal to a key.
  YError error;
  EXPECT_EQ(YObject::ZERO->typeId(), 0);
  EXPECT_FALSE(YObject::isFound(*YObject::ZERO));
  EXPECT_FALSE(YObject::isFound(error));
  EXPECT_TRUE(YObject::isFound(probe));
  EXPECT_FALSE(YObject::isLess(probe, error));
  EXPECT_FALSE(YObject::isEqual(probe, error));
}

TEST_F(YTreeImplTest, AddUniqueKeepsTheHeldObject) {
  YTreeImpl tree;
  Key *first = new Key(5, 1);
  EXPECT_EQ(tree.addunique(first), nullptr);
  Key second(5, 2);
  EXPECT_EQ(tree.addunique(&second), first);
  EXPECT_EQ(tree.getItemsInContainer(), 1);
  tree.add(new Key(5, 3));
  EXPECT_EQ(tree.getItemsInContainer(), 2);
  // The newer equal object sits before the older one.
  EXPECT_EQ(static_cast<Key &>(tree[0]).tag, 3);
  EXPECT_EQ(static_cast<Key &>(tree[1]).tag, 1);
}

TEST_F(YTreeImplTest, BadObjectsAreIgnored) {
  YTreeImpl tree;
  tree.add(nullptr);
  tree.add(YObject::ZERO);
  EXPECT_EQ(tree.addunique(nullptr), nullptr);
  EXPECT_EQ(tree.addunique(YObject::ZERO), nullptr);
  tree.detach(*YObject::ZERO);
  EXPECT_EQ(tree.getItemsInContainer(), 0);
  PositionTree positions;
  EXPECT_EQ(positions.i_add(nullptr), -1);
}

TEST_F(YTreeImplTest, OtherTypesAreNeverFound) {
  YTreeImpl tree(4);
  for (int i = 0; i < 50; ++i)
    tree.add(new Key(i));
  for (int i = 0; i < 50; ++i) {
    OtherKey other(i);
    EXPECT_EQ(tree.hasMember(other), 0);
    tree.detach(other);
  }
  YError error;
  EXPECT_EQ(tree.hasMember(error), 0);
  EXPECT_EQ(tree.getItemsInContainer(), 50);
  EXPECT_TRUE(tree.verify());
}

TEST_F(YTreeImplTest, NotCopyableButMovable) {
  static_assert(!std::is_copy_constructible_v<YTreeImpl>, "trees never share nodes");
  static_assert(!std::is_copy_assignable_v<YTreeImpl>, "trees never share nodes");
  YTreeImpl tree(5);
  for (int i = 0; i < 100; ++i)
    tree.add(new Key(i));
  YTreeImpl moved(std::move(tree));
  EXPECT_EQ(moved.getItemsInContainer(), 100);
  EXPECT_EQ(moved.order(), 5);
  EXPECT_EQ(tree.getItemsInContainer(), 0); // NOLINT(bugprone-use-after-move)
  YTreeImpl target(3);
  target.add(new Key(-1));
  target = std::move(moved);
  EXPECT_EQ(target.getItemsInContainer(), 100);
  EXPECT_EQ(target.order(), 5);
  EXPECT_TRUE(target.verify());
  EXPECT_EQ(keyAt(target, 99), 99);
}

TEST_F(YTreeImplTest, FlushAndDetachDestroyObjects) {
  YTreeImpl tree(3);
  for (int i = 0; i < 1000; ++i)
    tree.add(new Key(i % 37));
  EXPECT_EQ(liveObjects, 1000);
  Key probe(3);
  tree.detach(probe);
  EXPECT_EQ(liveObjects, 1000); // the probe is the caller's; one held object went
  EXPECT_EQ(tree.getItemsInContainer(), 999);
  tree.flush();
  EXPECT_EQ(liveObjects, 1);
  EXPECT_EQ(tree.isEmpty(), 1);
  EXPECT_TRUE(tree.verify());
  tree.add(new Key(1));
  EXPECT_EQ(tree.getItemsInContainer(), 1);
}

// Random adds, unique adds and detaches against std::multiset, with the
// structure checked after every operation and positions and ranks compared
// with the sorted contents at intervals.
struct RandomRun {
  int order;
  int keyRange; // small ranges give many equal keys
  int operations;
};

void PrintTo(const RandomRun &run, std::ostream *out) {
  *out << "order " << run.order << ", keys 0.." << run.keyRange - 1 << ", " << run.operations
       << " operations";
}

class YTreeImplRandomTest : public LiveObjectsGuard,
                            public ::testing::WithParamInterface<RandomRun> {};

TEST_P(YTreeImplRandomTest, MatchesMultiset) {
  const RandomRun run = GetParam();
  std::mt19937 random(static_cast<unsigned>(run.order * 7919 + run.keyRange));
  PositionTree tree(run.order);
  std::multiset<int> reference;
  // Phases that grow and shrink the tree, so merges and root collapses are
  // exercised as well as splits.
  for (int op = 0; op < run.operations; ++op) {
    int phase = (op / 4000) % 3; // grow, churn, shrink
    int addPercent = phase == 0 ? 75 : phase == 1 ? 50 : 25;
    int key = static_cast<int>(random() % static_cast<unsigned>(run.keyRange));
    int choice = static_cast<int>(random() % 100);
    if (choice < addPercent * 2 / 3) {
      Key *object = new Key(key, op);
      long position = tree.i_add(object);
      auto first = reference.lower_bound(key), after = reference.upper_bound(key);
      ASSERT_GE(position, std::distance(reference.begin(), first));
      ASSERT_LE(position, std::distance(reference.begin(), after));
      ASSERT_EQ(&tree[position], object) << "i_add answers where the object went";
      reference.insert(key);
    } else if (choice < addPercent) {
      Key *object = new Key(key, op);
      YObject *held = tree.addunique(object);
      if (reference.count(key)) {
        ASSERT_NE(held, nullptr);
        ASSERT_EQ(static_cast<Key *>(held)->key, key);
        delete object;
      } else {
        ASSERT_EQ(held, nullptr);
        reference.insert(key);
      }
    } else {
      Key probe(key);
      tree.detach(probe);
      auto it = reference.find(key);
      if (it != reference.end())
        reference.erase(it);
    }
    ASSERT_TRUE(tree.verify()) << "operation " << op;
    ASSERT_EQ(tree.getItemsInContainer(), static_cast<int>(reference.size()));
    if (op % 997 == 0) {
      std::vector<int> sorted(reference.begin(), reference.end());
      for (long i = 0; i < static_cast<long>(sorted.size()); ++i)
        ASSERT_EQ(keyAt(tree, i), sorted[static_cast<size_t>(i)]) << "position " << i;
      ASSERT_EQ(&tree[static_cast<long>(sorted.size())], YObject::ZERO);
      for (int k = -1; k <= run.keyRange; ++k) {
        Key probe(k);
        long rank = tree.rank(probe);
        long lower = std::lower_bound(sorted.begin(), sorted.end(), k) - sorted.begin();
        long upper = std::upper_bound(sorted.begin(), sorted.end(), k) - sorted.begin();
        if (sorted.empty()) {
          ASSERT_EQ(rank, -1);
        } else if (lower == upper) {
          ASSERT_EQ(rank, lower) << "absent key " << k;
          ASSERT_EQ(tree.hasMember(probe), 0);
        } else {
          ASSERT_GE(rank, lower);
          ASSERT_LT(rank, upper);
          ASSERT_EQ(keyAt(tree, rank), k);
          ASSERT_EQ(static_cast<Key &>(tree.findMember(probe)).key, k);
        }
      }
    }
  }
  // Emptying the tree in random order leaves no root behind.
  std::vector<int> keys(reference.begin(), reference.end());
  std::shuffle(keys.begin(), keys.end(), random);
  for (int key : keys) {
    Key probe(key);
    tree.detach(probe);
    ASSERT_TRUE(tree.verify());
  }
  EXPECT_EQ(tree.isEmpty(), 1);
  EXPECT_EQ(tree.rank(Key(0)), -1);
}

INSTANTIATE_TEST_SUITE_P(Orders, YTreeImplRandomTest,
                         ::testing::Values(RandomRun{3, 600, 60000}, RandomRun{3, 20, 20000},
                                           RandomRun{4, 600, 60000}, RandomRun{4, 20, 20000},
                                           RandomRun{8, 1000, 60000}, RandomRun{8, 30, 20000},
                                           RandomRun{5, 400, 12000}, RandomRun{6, 400, 12000},
                                           RandomRun{7, 400, 12000}, RandomRun{16, 1000, 12000}));

// Sequential runs hit the same edge of the tree every time: the case where
// balancing with siblings is least available.
TEST_F(YTreeImplTest, SequentialInsertsAndRemovals) {
  for (int order : {3, 4, 8}) {
    YTreeImpl tree(order);
    for (int i = 0; i < 3000; ++i) {
      tree.add(new Key(i));
      if (i < 64) { // the first splits, checked one by one
        ASSERT_TRUE(tree.verify()) << "order " << order << " after inserting " << i;
      }
    }
    for (int i = 2999; i >= 0; --i)
      tree.add(new Key(i));
    ASSERT_TRUE(tree.verify());
    for (long i = 0; i < 6000; ++i)
      ASSERT_EQ(keyAt(tree, i), i / 2);
    for (int i = 0; i < 3000; ++i) {
      tree.detach(Key(i));
      tree.detach(Key(2999 - i));
      ASSERT_TRUE(tree.verify()) << "order " << order << " step " << i;
    }
    EXPECT_EQ(tree.getItemsInContainer(), 0);
  }
}

} // namespace
