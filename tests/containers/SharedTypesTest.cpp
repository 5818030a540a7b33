#include "kvsupport/containers/YHashTable.h"
#include "kvsupport/containers/YList.h"
#include "kvsupport/containers/YVector.h"
#include "kvsupport/strings/YString.h"
#include "kvsupport/support/KelvantaException.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

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

} // namespace
