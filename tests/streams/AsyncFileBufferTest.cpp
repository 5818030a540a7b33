#include "kvsupport/streams/kvfbuf.h"
#include "kvsupport/streams/kvfbuf_async.h"
#include "kvsupport/streams/kvfstream.h"

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
// positions move at once. Positioned writes and seeks from the end are
// compared with a synchronous buffer below.
TEST_F(AsyncFileBufferTest, LargeWritesAreQueuedAndPositionsMoveAtOnce) {
  kvfbuf_async buffer(path("large.bin").constData(), kvWrite | kvBinary, false);
  ASSERT_TRUE(static_cast<bool>(buffer));
  buffer.write("ab", 2);
  buffer.put('c');
  EXPECT_TRUE(buffer.isIdle()) << "no item was queued";
  EXPECT_EQ(buffer.fd(), -1);
  std::string thousand(1000, 'x');
  EXPECT_EQ(buffer.write(thousand.data(), thousand.size()), 1000u);
  EXPECT_FALSE(buffer.isIdle());
  EXPECT_EQ(buffer.seekg(-2, 1), 0);
  EXPECT_EQ(buffer.tellg(), 1001);
  EXPECT_EQ(buffer.seekg(-1), 1);
  EXPECT_EQ(buffer.seekg(0, 7), 1);
  buffer.write("tail", 4); // pending, so queued at 1001
  buffer.flush();
  EXPECT_TRUE(buffer.isIdle());
  EXPECT_EQ(kvtest::readFile(dir.filePath("large.bin")), "abc" + std::string(998, 'x') + "tail");
  // The end while pending is the size the file has reached so far.
  buffer.seekg(0);
  buffer.write(thousand.data(), thousand.size());
  buffer.write(thousand.data(), thousand.size());
  buffer.seekg(0);
  buffer.flush(); // the file now holds 2000 bytes, the caller is at 0
  buffer.write(thousand.data(), thousand.size());
  buffer.write(thousand.data(), thousand.size());
  EXPECT_TRUE(buffer.eof()) << "the caller position is past what the file holds so far";
  buffer.seekg(0);
  EXPECT_FALSE(buffer.eof());

  kvfbuf_async closed;
  EXPECT_EQ(closed.write("x", 1), 0u);
  EXPECT_EQ(closed.takeAndWrite(block("abc"), 3), 0u);
  EXPECT_EQ(closed.writeAt(0, block("abc"), 3), 0u);
  EXPECT_EQ(closed.seekg(0), 1);
  EXPECT_EQ(closed.tellg(), 0);
  EXPECT_EQ(closed.read(nullptr, 0), 0u);
  EXPECT_FALSE(closed.syncData());
  EXPECT_EQ(buffer.takeAndwriteSharedBlock(987654, 0, 100), 0) << "no such heap";
}

TEST_F(AsyncFileBufferTest, WriterErrorsAreReported) {
  kvfbuf_async full("/dev/full", kvWrite, false);
  ASSERT_TRUE(static_cast<bool>(full));
  std::string bytes(1 << 16, 'f');
  for (int i = 0; i < 4; ++i)
    full.write(bytes.data(), bytes.size());
  full.flush();
  EXPECT_TRUE(full.writeFailed());
  full.close();
  EXPECT_TRUE(full.writeFailed()) << "the flag outlives the file";
}

// The bytes of one piece, different in every piece and at every offset.
std::string pieceBytes(int piece, size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>('a' + (piece * 7 + i / 4096) % 26);
  return bytes;
}

constexpr size_t kFileSizeLimit = (3 << 20) / 2;

// The child writes 4 MiB into a file limited to 1.5 MiB; the writer's
// gathered writes end part-way through a piece.
int writePastTheFileSizeLimit() {
  rlimit limit{kFileSizeLimit, kFileSizeLimit};
  std::signal(SIGXFSZ, SIG_IGN); // writes then fail with EFBIG instead of ending the process
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
    return 2;
  kvfbuf_async buffer(kvtest::env("KV_LIMITED_PATH").c_str(), kvWrite | kvBinary, false);
  for (int piece = 0; piece < 4; ++piece) {
    std::string bytes = pieceBytes(piece, 1 << 20);
    buffer.write(bytes.data(), bytes.size());
  }
  buffer.flush();
  bool failedAfterFlush = buffer.writeFailed();
  buffer.close();
  return failedAfterFlush && buffer.writeFailed() ? 0 : 3;
}

TEST_F(AsyncFileBufferTest, AWriteCutShortByTheFileSizeLimitIsReported) {
  if (kvtest::childRole() == "limited")
    std::exit(writePastTheFileSizeLimit());
  const QByteArray file = path("limited.bin");
  ASSERT_EQ(kvtest::runChild("AsyncFileBufferTest.AWriteCutShortByTheFileSizeLimitIsReported",
                             "limited", {{"KV_LIMITED_PATH", file.toStdString()}}),
            0)
      << "the failed write was not reported";
  std::string expected;
  for (int piece = 0; piece < 4; ++piece)
    expected += pieceBytes(piece, 1 << 20);
  expected.resize(kFileSizeLimit);
  EXPECT_TRUE(kvtest::readFile(dir.filePath("limited.bin")) == expected)
      << "everything up to the limit is written, in order";
}

TEST_F(AsyncFileBufferTest, DetachAndReopenWaitForTheWriter) {
  kvfbuf_async buffer(path("a.bin").constData(), kvWrite, false);
  std::string bytes(500, 'a');
  buffer.write(bytes.data(), bytes.size());
  std::FILE *file = buffer.detach();
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(buffer.tellg(), 0);
  std::fclose(file);
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
      SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step));
      const size_t size = random() % 3 == 0 ? 1 + random() % 5000 : 1 + random() % 200;
      const std::string bytes(size, static_cast<char>('a' + step % 26));
      const int64_t at = end ? static_cast<int64_t>(random() % end) : 0;
      switch (random() % 7) {
      case 0:
      case 1:
      case 2:
        end = std::max<int64_t>(end, sync.tellg() + static_cast<int64_t>(size));
        ASSERT_EQ(async.write(bytes.data(), size), sync.write(bytes.data(), size));
        break;
      case 3:
        both([&](auto &b) { b.writeAt(at, block(bytes), size); });
        end = std::max<int64_t>(end, at + static_cast<int64_t>(size));
        break;
      case 4:
        if (step % 8 == 0) // now and then everything so far goes to the device first
          both([](auto &b) { ASSERT_TRUE(b.syncData()); });
        both([&](auto &b) { b.seekg(at); });
        break;
      case 5: { // from the end, or back from the current position
        const int origin = random() % 2 ? 2 : 1;
        const int64_t back =
            -static_cast<int64_t>(random() % ((origin == 2 ? end : sync.tellg()) + 1));
        both([&](auto &b) { b.seekg(back, origin); });
        break;
      }
      default: {
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
      }
      }
      ASSERT_EQ(async.tellg(), sync.tellg());
    }
    both([](auto &b) { b.close(); });
    ASSERT_EQ(kvtest::readFile(dir.filePath("async.bin")),
              kvtest::readFile(dir.filePath("sync.bin")))
        << "seed " << seed;
    EXPECT_FALSE(async.writeFailed());
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

} // namespace
