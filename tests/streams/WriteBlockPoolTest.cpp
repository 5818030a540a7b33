#include "streams/WriteBlockPool_p.h"

#include <gtest/gtest.h>

namespace {

using kv::streams::WriteBlockPool;

TEST(WriteBlockPoolTest, WrittenBlocksAreReusedWhenTheyFit) {
  WriteBlockPool &pool = WriteBlockPool::instance();
  pool.releaseAll();
  size_t capacity = 0;
  char *block = pool.take(1 << 20, &capacity);
  ASSERT_NE(block, nullptr);
  EXPECT_GE(capacity, size_t(1) << 20);
  block[capacity - 1] = 'x';
  pool.give(block, capacity);

  size_t again = 0;
  EXPECT_EQ(pool.take((1 << 20) - 100, &again), block) << "a kept block that fits is reused";
  EXPECT_EQ(again, capacity);
  pool.give(block, again);

  // A kept block more than twice the request would tie up memory for a small
  // write: such a request gets a block of its own.
  size_t small = 0;
  char *other = pool.take(100 << 10, &small);
  EXPECT_NE(other, block);
  EXPECT_GE(small, size_t(100) << 10);
  EXPECT_LT(small, size_t(1) << 20);
  pool.give(other, small);

  // Small blocks come from the allocator and are sized exactly.
  size_t tiny = 0;
  char *bytes = pool.take(300, &tiny);
  EXPECT_EQ(tiny, 300u);
  pool.give(bytes, tiny);
  pool.releaseAll();
}

} // namespace
