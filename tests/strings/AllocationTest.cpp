#include "kvsupport/strings/Allocation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

bool allZero(const void *block, size_t size) {
  const char *bytes = static_cast<const char *>(block);
  return std::all_of(bytes, bytes + size, [](char c) { return c == 0; });
}

TEST(AllocationTest, HeapAndAlignedBlocksAreZeroFilled) {
  EXPECT_EQ(tmalloc(0), nullptr);
  void *heap = tmalloc(100);
  ASSERT_NE(heap, nullptr);
  EXPECT_TRUE(allZero(heap, 100));
  heap = trealloc(heap, 5000);
  EXPECT_EQ(trealloc(heap, 0), nullptr); // frees it (ASan would report a leak otherwise)
  void *fresh = trealloc(nullptr, 8);
  EXPECT_TRUE(allZero(fresh, 8));
  txfree(fresh);
  // Aligned blocks are aligned and zero-filled too.
  for (int size : {0, 1, 15, 16, 17, 1000}) {
    void *block = sp_Malloc16(size);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
    EXPECT_TRUE(allZero(block, static_cast<size_t>(size)));
    sp_Free16(block);
  }
  for (int alignment : {4, 64, 32768}) {
    void *block = sp_MallocAlign(10, alignment);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % std::max(alignment, 8), 0u) << alignment;
    std::memset(block, 0xAB, 10);
    sp_FreeAlign(block);
  }
  EXPECT_EQ(sp_MallocAlign(10, 65536), nullptr) << "the back distance must fit in 16 bits";
  EXPECT_EQ(sp_MallocAlign(-1, 16), nullptr);
}

// Reserved blocks grow in place within their reservation; foreign pointers are ignored.
TEST(AllocationTest, ReservedBlocksGrowInPlaceWithinTheirReservation) {
  char *block = static_cast<char *>(vMalloc(100, 1));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(vRealloc(block, 900000), block);
  std::memset(block, 2, 900000); // every byte is writable
  EXPECT_EQ(vRealloc(block, 1048576 - 64 - 4096), block) << "the last whole page still fits";
  EXPECT_EQ(vRealloc(block, 2000000), nullptr);
  EXPECT_EQ(block[899999], 2) << "a failed growth keeps the block";
  EXPECT_EQ(vRealloc(block, 10), block) << "shrinking never moves or loses pages";
  vFree(block);
  EXPECT_EQ(vRealloc(block, 10), nullptr) << "a freed block is no longer accepted";
  vFree(block); // and freeing it again does nothing
  void *heap = std::malloc(256);
  EXPECT_EQ(vRealloc(heap, 10), nullptr);
  vFree(heap); // must not touch it
  std::free(heap);
  EXPECT_EQ(vMalloc(2 * 1048576, 1), nullptr) << "more than the reservation";
  EXPECT_TRUE(!vMalloc(10, 0) && !vMalloc(10, SIZE_MAX / 1048576 + 2))
      << "none, or one past the address space";
}

} // namespace
