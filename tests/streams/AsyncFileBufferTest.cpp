#include "kvsupport/ipc/SharedBlockManager.h"
#include "kvsupport/streams/kvfbuf.h"
#include "kvsupport/streams/kvfbuf_async.h"
#include "kvsupport/streams/kvfstream.h"
#include "streams/WriteBlockPool_p.h"

#include "common/ChildProcess.h"
#include "common/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <sys/resource.h>

namespace {

char *block(const std::string &bytes) {
  char *data = new char[bytes.size()];
  std::memcpy(data, bytes.data(), bytes.size());
  return data;
}

class AsyncFileBufferTest : public ::testing::Test {
protected:
  QTemporaryDir dir;
  QByteArray path(const char *name) { return dir.filePath(name).toUtf8(); }
};

// Small writes while idle go straight to the file; large ones are queued and
// positions move at once. Positioned writes and seeks are compared with a
// synchronous buffer below.
TEST_F(AsyncFileBufferTest, LargeWritesAreQueuedAndPositionsMoveAtOnce) {
  kvfbuf_async buffer(path("large.bin").constData(), kvWrite | kvBinary, false);
  const std::string direct(128, 'a'); // the largest write made at once
  buffer.write(direct.data(), direct.size());
  buffer.put('c');
  EXPECT_TRUE(buffer.isIdle()) << "no item was queued";
  std::string thousand(1000, 'x');
  EXPECT_EQ(buffer.write(thousand.data(), thousand.size()), 1000u);
  EXPECT_FALSE(buffer.isIdle());
  buffer.flush();
  EXPECT_EQ(kvtest::readFile(dir.filePath("large.bin")), direct + "c" + thousand);
  // The end while pending is the size the file has reached so far.
  buffer.seekg(0);
  buffer.write(thousand.data(), thousand.size());
  buffer.write(thousand.data(), thousand.size());
  buffer.seekg(0);
  buffer.flush(); // the file now holds 2000 bytes, the caller is at 0
  buffer.write(thousand.data(), thousand.size());
  buffer.write(thousand.data(), thousand.size());
  EXPECT_TRUE(buffer.eof()) << "the caller position is past what the file holds so far";
  EXPECT_EQ(buffer.seekg(0), 0);
  EXPECT_FALSE(buffer.eof());
  EXPECT_FALSE(kvfbuf_async().syncData()) << "a closed buffer";
  EXPECT_EQ(kvfbuf_async().takeAndwriteSharedBlock(1, 0, 10), 0) << "a closed buffer";
  EXPECT_EQ(kvfbuf_async().takeAndWrite(new char[3], 3), 0u) << "a closed buffer";
}

// Four pieces of 1 MiB, different in every piece and at every offset.
std::string fourPieces() {
  std::string bytes(4 << 20, '\0');
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>('a' + ((i >> 20) * 7 + (i & 0xFFFFF) / 4096) % 26);
  return bytes;
}

constexpr size_t kFileSizeLimit = (3 << 20) / 2;

// The child writes 4 MiB into a file limited to 1.5 MiB; the writer's
// gathered writes end part-way through a piece. The failure is reported after
// the flush and still after the close.
int writePastTheFileSizeLimit() {
  rlimit limit{kFileSizeLimit, kFileSizeLimit};
  std::signal(SIGXFSZ, SIG_IGN); // writes then fail with EFBIG instead of ending the process
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
    return 2;
  kvfbuf_async buffer(kvtest::env("KV_LIMITED_PATH").c_str(), kvWrite | kvBinary, false);
  const std::string bytes = fourPieces();
  for (size_t at = 0; at < bytes.size(); at += 1 << 20)
    buffer.write(bytes.data() + at, 1 << 20);
  buffer.flush();
  const bool failedAfterFlush = buffer.writeFailed();
  buffer.close();
  return failedAfterFlush && buffer.writeFailed() ? 0 : 3;
}

TEST_F(AsyncFileBufferTest, AWriteCutShortByTheFileSizeLimitIsReported) {
  if (kvtest::childRole() == "limited")
    std::exit(writePastTheFileSizeLimit());
  ASSERT_EQ(kvtest::runChild("AsyncFileBufferTest.AWriteCutShortByTheFileSizeLimitIsReported",
                             "limited", {{"KV_LIMITED_PATH", path("limited.bin").toStdString()}}),
            0)
      << "the failed write was not reported";
  EXPECT_TRUE(kvtest::readFile(dir.filePath("limited.bin")) ==
              fourPieces().substr(0, kFileSizeLimit))
      << "everything up to the limit is written, in order";
}

TEST_F(AsyncFileBufferTest, DetachAndReopenWaitForTheWriter) {
  kvfbuf_async buffer(path("a.bin").constData(), kvWrite, false);
  std::string bytes(500, 'a');
  buffer.write(bytes.data(), bytes.size());
  std::fclose(buffer.detach());
  EXPECT_EQ(kvtest::readFile(dir.filePath("a.bin")), bytes);
  buffer.open(path("a.bin").constData(), kvAppend, false);
  EXPECT_EQ(buffer.tellg(), 500) << "an appending file starts at its end";
  buffer.write(bytes.data(), bytes.size());
  buffer.open(path("b.bin").constData(), kvWrite, false);
  EXPECT_EQ(kvtest::readFile(dir.filePath("a.bin")).size(), 1000u);
}

// Any sequence of writes, positioned writes, seeks, syncs and reads leaves the
// same file as a plain synchronous buffer given the same sequence.
TEST_F(AsyncFileBufferTest, RandomOperationsMatchASynchronousBuffer) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    std::mt19937 random(seed);
    kvfbuf_async async(path("async.bin").constData(), kvRead | kvWrite | kvBinary, false);
    kvfbuf sync(path("sync.bin").constData(), kvRead | kvWrite | kvBinary, false);
    auto both = [&](auto operation) {
      operation(async);
      operation(sync);
    };
    int64_t end = 0;
    for (int step = 0; step < 400; ++step) {
      const size_t size = random() % 3 == 0 ? 1 + random() % 5000 : 1 + random() % 200;
      const std::string bytes(size, static_cast<char>('a' + step % 26));
      const int64_t at = end ? static_cast<int64_t>(random() % end) : 0;
      switch (random() % 6) {
      case 0:
        both([&](auto &b) { b.writeAt(at, block(bytes), size); });
        end = std::max<int64_t>(end, at + static_cast<int64_t>(size));
        break;
      case 1: {
        // To a position, back from the current one or back from the end; now
        // and then everything so far goes to the device first.
        if (step % 8 == 0)
          both([](auto &b) { ASSERT_TRUE(b.syncData()); });
        const int origin = static_cast<int>(random() % 3);
        const int64_t back =
            static_cast<int64_t>(random() % ((origin == 2 ? end : sync.tellg()) + 1));
        both([&](auto &b) { b.seekg(origin ? -back : at, origin); });
        break;
      }
      case 2: {
        char fromAsync[64], fromSync[64];
        const size_t n = random() % 8 == 0 ? 0 : random() % sizeof fromAsync;
        sync.seekg(sync.tellg()); // C stdio: a positioning call between writing and reading
        if (n == 0) {
          ASSERT_EQ(async.get(), sync.get());
        } else {
          const size_t a = async.read(fromAsync, n), s = sync.read(fromSync, n);
          ASSERT_EQ(std::string(fromAsync, a), std::string(fromSync, s));
        }
        both([](auto &b) { b.seekg(b.tellg()); }); // and between reading and writing
        break;
      }
      default:
        end = std::max<int64_t>(end, sync.tellg() + static_cast<int64_t>(size));
        ASSERT_EQ(async.write(bytes.data(), size), sync.write(bytes.data(), size));
      }
      ASSERT_EQ(async.tellg(), sync.tellg()) << "seed " << seed << " step " << step;
    }
    both([](auto &b) { b.close(); });
    ASSERT_EQ(kvtest::readFile(dir.filePath("async.bin")),
              kvtest::readFile(dir.filePath("sync.bin")))
        << "seed " << seed;
  }
}

// Far more data than the writer keeps in flight, from any alignment of the
// caller's bytes and of any length (large copies take another path than
// small ones): the producer waits for room, written blocks are reused, no
// block is reused while still pending, and the caller may reuse its bytes at
// once. Then many small pieces, some empty, that the writer takes in runs.
TEST_F(AsyncFileBufferTest, AProducerAheadOfTheDiskLosesNothing) {
  std::string source(1 << 20, '\0'), expected;
  const size_t offsets[] = {0, 1, 7, 15, 16, 33};
  const size_t lengths[] = {262144, 262145, 300001, 524287, 1000000, 262207};
  for (size_t i = 0; i < source.size(); ++i)
    source[i] = static_cast<char>(i * 131 + i / 977);
  {
    kvfbuf_async buffer(path("many.bin").constData(), kvWrite | kvBinary, false);
    for (int piece = 0; piece < 40; ++piece) {
      for (size_t i = 0; i < source.size(); i += 4096)
        source[i] = static_cast<char>(piece); // the caller reuses its bytes at once
      buffer.write(source.data() + offsets[piece % 6], lengths[piece % 6]);
      expected.append(source, offsets[piece % 6], lengths[piece % 6]);
    }
    for (int piece = 0; piece < 3000; ++piece) {
      std::string bytes(100 + piece % 7, static_cast<char>('a' + piece % 26));
      buffer.write(bytes.data(), bytes.size());
      if (piece % 10 == 0)
        buffer.takeAndWrite(new char[1], 0);
      expected += bytes;
    }
  }
  EXPECT_TRUE(kvtest::readFile(dir.filePath("many.bin")) == expected);
}

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
  const std::string first(700, 'a'), second(900, 'b'), busy(1 << 20, 'c');
  for (bool async : {false, true}) {
    const QString path = dir.filePath(async ? "async.bin" : "sync.bin");
    {
      kvfstream stream(path.toUtf8().constData(), kvWrite | kvBinary, false, async);
      auto hand = [&](const std::string &text, int size) {
        return stream.takeAndwriteSharedBlock(token.getId(), filledBlock(*heap, text), size);
      };
      stream << "head:";
      EXPECT_EQ(hand(first, 700), 700);
      EXPECT_EQ(hand(second, 900), 900);
      // A block cut to nothing writes nothing, also amid blocks queued
      // behind a long write.
      stream.write(busy.data(), busy.size());
      EXPECT_EQ(hand("none", 0), 0);
      hand(first, 700);
      stream << ":tail";
      EXPECT_EQ(stream.takeAndwriteSharedBlock(token.getId(), 3, 10), 0) << "a free block";
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

TEST(WriteBlockPoolTest, WrittenBlocksAreReusedWhenTheyFit) {
  kv::streams::WriteBlockPool &pool = kv::streams::WriteBlockPool::instance();
  pool.releaseAll();
  size_t capacity = 0;
  char *block = pool.take(1 << 20, &capacity);
  ASSERT_GE(capacity, size_t(1) << 20);
  block[capacity - 1] = 'x';
  pool.give(block, capacity);

  EXPECT_EQ(pool.take((1 << 20) - 100, &capacity), block) << "a kept block that fits is reused";
  pool.give(block, capacity);

  // A kept block more than twice the request would tie up memory for a small
  // write: such a request gets a block of its own.
  size_t small = 0;
  char *other = pool.take(100 << 10, &small);
  EXPECT_LT(small, size_t(1) << 20);
  pool.give(other, small);

  pool.releaseAll();
}

} // namespace
