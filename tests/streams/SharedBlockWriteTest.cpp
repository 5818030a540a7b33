#include "kvsupport/ipc/SharedBlockManager.h"
#include "kvsupport/streams/kvfbuf.h"
#include "kvsupport/streams/kvfbuf_async.h"
#include "kvsupport/streams/kvfstream.h"

#include "common/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Fills a free block of the heap with `text` and hands it over (allocated, released).
int64_t filledBlock(SharedBlockManager &heap, const std::string &text) {
  void *data = nullptr;
  int64_t id = -1;
  EXPECT_EQ(heap.alloc(&data, &id), SharedBlockOk);
  std::memcpy(data, text.data(), text.size());
  EXPECT_EQ(heap.release(id), SharedBlockOk);
  return id;
}

// A producer fills heap blocks and hands their ids to a stream, which writes
// them to its file and returns them to the heap; the synchronous and the
// asynchronous buffer agree.
TEST(SharedBlockWriteTest, StreamsWriteHeapBlocksAndFreeThem) {
  QTemporaryDir dir;
  SharedBlockToken token(1000, 8);
  SharedBlockManager *heap = token.get();
  ASSERT_NE(heap, nullptr);
  const std::string first(700, 'a'), second(900, 'b'), busy(1 << 20, 'c');
  for (bool async : {false, true}) {
    const QString path = dir.filePath(async ? "async.bin" : "sync.bin");
    {
      kvfstream stream(path.toUtf8().constData(), kvWrite | kvBinary, false, async);
      stream << "head:";
      EXPECT_EQ(stream.takeAndwriteSharedBlock(token.getId(), filledBlock(*heap, first), 700), 700);
      EXPECT_EQ(stream.takeAndwriteSharedBlock(token.getId(), filledBlock(*heap, second), 900),
                900);
      EXPECT_EQ(stream.tellg(), 5 + 700 + 900);
      // A block cut to nothing writes nothing, also amid blocks queued
      // behind a long write.
      stream.write(busy.data(), busy.size());
      EXPECT_EQ(stream.takeAndwriteSharedBlock(token.getId(), filledBlock(*heap, "none"), 0), 0);
      EXPECT_EQ(stream.takeAndwriteSharedBlock(token.getId(), filledBlock(*heap, first), 700), 700);
      stream << ":tail";
      EXPECT_EQ(stream.takeAndwriteSharedBlock(token.getId(), 3, 10), 0) << "a free block";
      EXPECT_EQ(stream.takeAndwriteSharedBlock(-7, 0, 10), 0) << "no such heap";
    }
    EXPECT_EQ(kvtest::readFile(path), "head:" + first + second + busy + first + ":tail")
        << (async ? "async" : "sync");
    EXPECT_EQ(heap->numBlocksAllocated(), 0) << "every written block went back to the heap";
  }
}

// The asynchronous buffer keeps the heap alive while its block is pending,
// even when the producer drops its own token at once.
TEST(SharedBlockWriteTest, PendingBlocksKeepTheirHeap) {
  QTemporaryDir dir;
  const QString path = dir.filePath("kept.bin");
  kvfbuf_async buffer(path.toUtf8().constData(), kvWrite | kvBinary, false);
  std::string big(1 << 20, 'p');
  buffer.write(big.data(), big.size()); // the writer is busy for a while
  {
    SharedBlockToken token(4096, 2);
    int64_t id = filledBlock(*token.get(), std::string(4096, 'k'));
    EXPECT_EQ(buffer.takeAndwriteSharedBlock(token.getId(), id, 4096), 4096);
  }
  buffer.close();
  EXPECT_EQ(kvtest::readFile(path), big + std::string(4096, 'k'));
}

} // namespace
