#include "kvsupport/containers/YArray.h"
#include "kvsupport/containers/YArrayData.h"
#include "kvsupport/strings/YString.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

void *item(intptr_t n) { return reinterpret_cast<void *>(n); }

TEST(ArrayTest, CapacityStartsAtOneOrMore) {
  EXPECT_EQ(YArrayData(0).capacity(), 1);
  EXPECT_EQ(YArrayData(-5).capacity(), 1);
  EXPECT_EQ(YArrayData(7).capacity(), 7);
}

TEST(ArrayTest, FullArraysGrowByHalf) {
  YArrayData data(4);
  std::vector<int64_t> capacities;
  for (int i = 0; i < 12; ++i) {
    data.addDataAt(item(i + 1), data.count());
    capacities.push_back(data.capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int64_t>{4, 4, 4, 4, 6, 6, 9, 9, 9, 13, 13, 13}));
  YArrayData one(1);
  one.addDataAt(item(1), 0);
  one.addDataAt(item(2), 1);
  EXPECT_EQ(one.capacity(), 2);
  one.addDataAt(item(3), 2);
  EXPECT_EQ(one.capacity(), 3);
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(data.at(i), item(i + 1));
  EXPECT_EQ(data.data()[12], nullptr) << "slots beyond the count stay zero";
}

TEST(ArrayTest, InsertionIndexesAreClampedAndRemovalClosesTheGap) {
  YArrayData data(2);
  EXPECT_EQ(data.addDataAt(item(1), 0), 0);
  EXPECT_EQ(data.addDataAt(item(2), -5), 0);
  EXPECT_EQ(data.addDataAt(item(3), 99), 2);
  EXPECT_EQ(data.addDataAt(item(4), 1), 1);
  auto contents = [&] { return std::vector<void *>(data.data(), data.data() + data.count()); };
  EXPECT_EQ(contents(), (std::vector<void *>{item(2), item(4), item(1), item(3)}));
  data.removeDataItemAt(0);
  data.removeDataItemAt(5);
  data.removeDataItemAt(-1);
  EXPECT_EQ(contents(), (std::vector<void *>{item(4), item(1), item(3)}));
  EXPECT_EQ(data.at(3), nullptr);
}

TEST(ArrayTest, ReservationAndCopiesKeepThePointers) {
  YArrayData data(1);
  data.checkAlloc(10);
  EXPECT_EQ(data.capacity(), 10);
  data.addDataAt(item(1), 0);
  data.checkAlloc(5);
  EXPECT_EQ(data.capacity(), 10);
  data.checkAlloc(20); // a late reservation still keeps what is held
  EXPECT_EQ(data.at(0), item(1));
  YArrayData copy(data);
  copy.addDataAt(item(2), 0);
  EXPECT_EQ(data.count(), 1);
  EXPECT_EQ(copy.count(), 2);
  data = copy;
  EXPECT_EQ(data.at(0), item(2));
}

TEST(ArrayTest, TypedArraysOwnTheirValuesAndCopyDeeply) {
  YArray<YString> words(1);
  words.add(YString("b"));
  words.insertAt(0, YString("a"));
  words.add(YString("c"));
  YArray<YString> copy(words);
  words.removeAt(1);
  words[0] = "z";
  ASSERT_EQ(copy.size(), 3);
  EXPECT_STREQ(copy[0].tocs(), "a");
  EXPECT_STREQ(copy[1].tocs(), "b");
  EXPECT_EQ(words.size(), 2);
  EXPECT_STREQ(words[1].tocs(), "c");
  EXPECT_EQ(words.get(2), nullptr);
  YArray<YString> moved(std::move(copy));
  EXPECT_EQ(moved.size(), 3);
  EXPECT_EQ(copy.size(), 0);
  copy = moved;
  EXPECT_EQ(copy.size(), 3);
}

} // namespace
