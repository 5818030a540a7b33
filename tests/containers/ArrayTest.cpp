#include "kvsupport/containers/YArray.h"
#include "kvsupport/containers/YArrayData.h"
#include "kvsupport/strings/YString.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

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

} // namespace
