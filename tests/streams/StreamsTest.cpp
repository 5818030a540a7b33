// Streams over strings and files, the buffered and the asynchronous file
// buffers, and message handlers.
#include "kvsupport/hooks/DynamicFunction.h"
#include "kvsupport/ipc/SharedBlockManager.h"
#include "kvsupport/streams/FatalMessage.h"
#include "kvsupport/streams/JFileBuf.h"
#include "kvsupport/streams/MessageHandler.h"
#include "kvsupport/streams/MessageReporting.h"
#include "kvsupport/streams/kvfbuf.h"
#include "kvsupport/streams/kvfbuf_async.h"
#include "kvsupport/streams/kvfstream.h"
#include "kvsupport/streams/kvstdstream.h"
#include "kvsupport/streams/kvstrbuf.h"
#include "kvsupport/streams/kvstrstream.h"
#include "kvsupport/strings/YString.h"
#include "kvsupport/support/KelvantaException.h"

#include "common/ChildProcess.h"
#include "common/TestApplication.h"
#include "common/TestFiles.h"
#include "streams/WriteBlockPool_p.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// ---- Stream ----
std::vector<std::string> readLines(kvstream &stream) {
  std::vector<std::string> lines;
  YString line;
  while (stream.getline(&line))
    lines.emplace_back(line.tocs());
  return lines;
}

TEST(StreamTest, BuffersReadSeekAndFlagTheEndAndNoBufferIsAHarmlessNoOp) {
  kvstream none;
  YString line("old");
  EXPECT_FALSE(none.getline(&line)) << "must not loop for ever";
  EXPECT_FALSE(none.writeFailed() || none.eof());
  EXPECT_EQ(none.takeAndWrite(new char[3], 3), 0u); // the block is released, not leaked
  // A string buffer reads, seeks and flags the end.
  kvstrstream stream("abc");
  char text[3];
  EXPECT_EQ(stream.read(text, 3), 3u);
  EXPECT_FALSE(stream.eof());
  EXPECT_EQ(stream.get(), -1);
  EXPECT_TRUE(stream.eof());
  // Positions clamp into the text; ones past the 32-bit range fail. Origin -1:
  // the one-argument form.
  const int64_t seeks[][3] = {{-5, -1, 0},         {10, 0, 3},          {-1, 1, 2},
                              {0x7FFFFFFE, -1, 3}, {0x7FFFFFFF, 0, -1}, {4, 2, 3},
                              {INT32_MIN, -1, -1}, {1, 1, 3},           {-3, 2, 0},
                              {1, 1, 1},           {-1, 2, 2},          {-2, 1, 0}};
  for (const auto &seek : seeks)
    EXPECT_EQ(seek[1] < 0 ? stream.seekg(seek[0])
                          : stream.seekg(seek[0], static_cast<int>(seek[1])),
              seek[2])
        << seek[0] << " from " << seek[1];
  EXPECT_FALSE(stream.eof()) << "a seek clears the end";
  EXPECT_EQ(stream.tellg(), 0);

  kvstrbuf buffer("xy");
  char bytes[8];
  EXPECT_EQ(buffer.read(bytes, 8), 2u);
  EXPECT_FALSE(buffer.eof()) << "the end flag is set only when a read starts at the end";
  buffer.read(bytes, 8);
  buffer.write("z", 1);
  EXPECT_FALSE(buffer.eof()) << "writing clears the end flag";
  EXPECT_EQ(buffer.write("q", 0x7FFFFFFF), 0u);
  EXPECT_STREQ(buffer.getString(), "xyz");
  EXPECT_EQ(kvstrbuf("\xE9").get(), -23) << "bytes are sign-extended";
  EXPECT_STREQ(kvstrstream("abcdef", 3).getString(), "abc");
}

// A buffer moved to another stream goes on where it was and the source
// starts afresh; a move to itself, from nothing or to nothing changes nothing.
TEST(StreamTest, AMovedBufferGoesOnWhereItWas) {
  kvstrstream from("one\ntwo\n"), to("other");
  YString line;
  ASSERT_TRUE(from.getline(&line));
  kvstream::transferBuffer(&from, &to);
  EXPECT_TRUE(to.getline(&line));
  EXPECT_STREQ(line.tocs(), "two");
  EXPECT_EQ(from.getNumBytes(), 0);
  for (auto [source, target] :
       {std::pair<kvstream *, kvstream *>{&to, &to}, {nullptr, &to}, {&to, nullptr}})
    kvstream::transferBuffer(source, target);
  EXPECT_STREQ(to.getString(), "one\ntwo\n");
}

TEST(StreamTest, GetlineKeepsCarriageReturnsAndTheLastUnterminatedLine) {
  kvstrstream dos("one\r\n\ntwo");
  EXPECT_EQ(readLines(dos), (std::vector<std::string>{"one\r", "", "two"}));
  // Lines longer than the 511-byte chunk are joined exactly.
  for (size_t length : {510u, 511u, 512u, 1023u, 5000u}) {
    std::string longLine(length, 'L');
    longLine[length - 1] = 'E';
    kvstrstream stream((longLine + "\nnext").c_str());
    EXPECT_EQ(readLines(stream), (std::vector<std::string>{longLine, "next"})) << length;
  }
  kvstrstream empty("");
  YString line("stale");
  EXPECT_FALSE(empty.getline(&line));
  empty.flush();
  empty << "fresh\n";
  EXPECT_TRUE(empty.getline(&line) && line == "fresh") << "after a flush, reading starts anew";

  // Into a character buffer: a full buffer gets no terminator.
  kvstrstream lines("abcdef\ncd");
  char text[8];
  std::memset(text, '#', sizeof text);
  lines.getline(text, 4);
  EXPECT_EQ(std::string(text, 5), "abcd#");
  lines.getline(text, 8); // the rest of the first line
  lines.getline(text, 8);
  EXPECT_STREQ(text, "cd") << "the end of input ends the text too";
}

// Decrypts a marked line by dropping the marker and upper-casing the rest.
class UpperCaseDecryptor : public EncryptInterface {
public:
  int decryptCalls = 0, endCalls = 0, result = 0;
  int decryptLine(const char *line, char *output, int *outputLength) override {
    ++decryptCalls;
    int n = 0;
    for (const char *c = line + 3; *c && n < 512; ++c)
      output[n++] = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    *outputLength = n;
    return result;
  }
  void endOfEncryptedLines() override { ++endCalls; }
};

// Per line: the text, whether it was marked, the raw bytes counted so far and
// the ends of runs of marked lines reported. A failed decryption is
// remembered, and later marked lines pass unchanged.
TEST(StreamTest, MarkedLinesAreDecryptedOnceAndCountedRaw) {
  struct Case {
    const char *text;
    int result;
    const char *trace;
    int decryptCalls;
  } cases[] = {
      {"?@@secret\nplain\n?@@again\n", 0, "SECRET E 10 0|plain P 16 1|AGAIN E 25 1|", 2},
      {"?@@one\n?@@two\n", 7, "?@@one E 7 0|?@@two E 14 0|", 1},
  };
  for (const Case &c : cases) {
    kvstrstream stream(c.text);
    UpperCaseDecryptor decryptor;
    decryptor.result = c.result;
    stream.setAllowEncryption(&decryptor);
    std::string trace;
    for (YString line; stream.getline(&line);)
      trace += std::string(line.tocs()) + (stream.lineIsEncrypted() ? " E " : " P ") +
               std::to_string(stream.getCharCount()) + " " + std::to_string(decryptor.endCalls) +
               "|";
    EXPECT_EQ(trace, c.trace);
    EXPECT_EQ(decryptor.decryptCalls, c.decryptCalls);
    EXPECT_EQ(stream.getEncryptReturn(), c.result);
  }
  // Bytes taken one by one from a plain line are counted as taken.
  kvstrstream stream("abc\ndef\n");
  UpperCaseDecryptor decryptor;
  stream.setAllowEncryption(&decryptor);
  EXPECT_EQ(stream.get(), 'a');
  char rest[3];
  stream.read(rest, 3);
  EXPECT_EQ(stream.getCharCount(), 4);
  kvstrstream marked("?@@ab"); // decrypted text outlasts the input it came from
  marked.setAllowEncryption(&decryptor);
  EXPECT_TRUE(marked.get() == 'A' && !marked.eof());
}

// ---- FileBuffer ----
class FileBufferTest : public ::testing::Test {
protected:
  QTemporaryDir dir;
  std::string tempPath(const char *name) const { return dir.filePath(name).toStdString(); }
};

TEST_F(FileBufferTest, OpenReadsWritesAndAppends) {
  const std::string path = tempPath("data.txt");
  {
    kvfbuf out(path.c_str(), kvWrite, false);
    EXPECT_EQ(out.write("hello\n", 6), 6u);
    out.put('!');
  }
  {
    kvfbuf append(path.c_str(), kvAppend, false);
    append.write("+", 1);
  }
  EXPECT_EQ(kvtest::readFile(path), "hello\n!+");
  kvfbuf in(path.c_str(), kvRead | kvBinary, false);
  EXPECT_EQ(in.seekg(-2, 2), 0);
  char tail[4] = {};
  EXPECT_EQ(in.read(tail, 4), 2u);

  // Reading straight after writing finds the end, not the bytes written.
  kvfstream both(path.c_str(), kvRead | kvWrite | kvBinary);
  both.write("xyz", 3);
  EXPECT_EQ(both.get(), -1);
  both.seekg(1);
  EXPECT_EQ(both.get(), 'y');
  EXPECT_STREQ(kvfbuf::cModeFor(kvRead | kvWrite | kvAppend), "a+");
  EXPECT_STREQ(kvfbuf::cModeFor(kvRead | kvAppend), "r");

  kvfbuf closed;
  for (const char *path : {static_cast<const char *>(nullptr), "", "/nonexistent-dir/x"}) {
    closed.open(path, path ? kvRead : kvWrite, false);
    EXPECT_FALSE(static_cast<bool>(closed));
  }
}

TEST_F(FileBufferTest, RemoveFirstCreatesANewFileInsteadOfTruncatingTheOld) {
  const std::string path = tempPath("model.lib");
  const std::string link = tempPath("link.lib");
  kvtest::writeFile(path, "old contents");
  ASSERT_EQ(::link(path.c_str(), link.c_str()),
            0); // a second name, same file
  {
    kvfbuf removing(path.c_str(), kvWrite | kvRemoveFirst, false);
    removing.write("new", 3);
  }
  EXPECT_EQ(kvtest::readFile(path), "new");
  EXPECT_EQ(kvtest::readFile(link), "old contents") << "the old file was deleted, not truncated";
}

TEST_F(FileBufferTest, ALockedFileCannotBeOpenedLockedTwice) {
  const QByteArray path = dir.filePath("locked.out").toUtf8();
  kvfbuf first(path.constData(), kvWrite, true);
  EXPECT_TRUE(QFileInfo::exists(dir.filePath("locked.out.lck")));
  kvfbuf second(path.constData(), kvWrite, true);
  EXPECT_FALSE(static_cast<bool>(second)) << "the lock is held by the first buffer";
  first.close();
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("locked.out.lck")));
}

TEST_F(FileBufferTest, AFullDiskIsReportedAsAFailedWrite) {
  kvfbuf full("/dev/full", kvWrite, false);
  full.write("small", 5); // sits in the C library's buffer for now
  full.flush();
  EXPECT_TRUE(full.writeFailed());
  EXPECT_LT(full.write(std::string(1 << 20, 'b').data(), 1 << 20), size_t(1) << 20);
}

// Bytes taken through the stream's inline read window must leave the file
// exactly where as many fgetc calls would: every other operation (gets, >>,
// read) sees the same position, and lines read back are the same bytes, CR
// kept, also lines longer than the C library's buffer and a last line
// without a newline.
TEST_F(FileBufferTest, ReadWindowKeepsTheFilePositionExact) {
  const std::string path = tempPath("window.txt");
  std::string text = "lin\r\n42 2.5e3\n";
  for (int i = 0; i < 20000; ++i)
    text += "line " + std::to_string(i) + (i % 7 != 3 ? "\n" : std::string(700, 'x') + "\n");
  text += "last";
  kvtest::writeFile(path, text);
  kvfstream stream(path.c_str(), kvRead | kvBinary);
  EXPECT_EQ(stream.get(), 'l');
  EXPECT_EQ(stream.get(), 'i');
  EXPECT_EQ(stream.tellg(), 2);
  char line[64];
  stream.gets(line, sizeof line); // straight from the C file
  EXPECT_STREQ(line, "n\r");
  int whole = 0;
  double real = 0;
  stream >> whole >> real;
  EXPECT_EQ(whole + real, 2542.0);
  EXPECT_EQ(stream.get(), '\n');
  EXPECT_EQ(stream.rdbuf()->get(), 'l');
  char bytes[3];
  EXPECT_EQ(stream.read(bytes, 3), 3u);
  EXPECT_EQ(std::string(bytes, 3), "ine");

  stream.seekg(0);
  stream.clearCount();
  YString read;
  size_t at = 0;
  int lines = 0;
  while (stream.getline(&read)) {
    size_t end = std::min(text.find('\n', at), text.size());
    ASSERT_EQ(std::string(read.tocs()), text.substr(at, end - at)) << lines;
    at = end + 1;
    ++lines;
  }
  EXPECT_EQ(lines, 20003);
  EXPECT_EQ(stream.getCharCount(), static_cast<int64_t>(text.size()));
  kvfstream closed;
  line[0] = '#';
  closed.gets(line, 0); // no room, not even for the terminator
  EXPECT_EQ(line[0], '#');
}

// Reads lines with no decryption to do.
class PlainLines : public EncryptInterface {
  int decryptLine(const char *, char *, int *) override { return 1; }
  void endOfEncryptedLines() override {}
};

TEST_F(FileBufferTest, GetlineKeepsTextPastANulPieceByPiece) {
  const std::string path = tempPath("nul.txt");
  // A NUL ends the text of its 511-byte piece; later pieces are kept, by the
  // read window, by the asynchronous buffer (which has none) and by the
  // reader that looks out for encrypted lines.
  std::string first(600, 'a');
  first[10] = '\0';
  kvtest::writeFile(path, "x\n" + first + "\nlast");
  PlainLines plain;
  for (int way = 0; way < 3; ++way) {
    kvfstream stream(path.c_str(), kvRead | kvBinary, false, way == 1);
    if (way == 2)
      stream.setAllowEncryption(&plain);
    YString line;
    ASSERT_TRUE(stream.getline(&line)) << way;
    ASSERT_TRUE(stream.getline(&line)) << way; // read from a filled window
    EXPECT_EQ(std::string(line.tocs()), std::string(99, 'a')) << way;
    EXPECT_EQ(stream.getCharCount(), 603) << way;
  }
}

TEST_F(FileBufferTest, OwnStdioBufferServesReadsUntilTheFileCloses) {
  const std::string path = tempPath("big.txt");
  std::string text;
  for (int i = 0; i < 30000; ++i)
    text += "row " + std::to_string(i) + "\n";
  kvtest::writeFile(path, text);
  kvfbuf buffer(path.c_str(), kvRead | kvBinary, false);
  EXPECT_FALSE(buffer.setStdioBufferSize(0));
  ASSERT_TRUE(buffer.setStdioBufferSize(1 << 16));
  std::string read(text.size() + 1, '\0');
  EXPECT_EQ(buffer.read(&read[0], read.size()), text.size());
  EXPECT_EQ(read.c_str(), text);
  // Reopening closes the file that used the memory, then frees it; a
  // handed-out file still reads through its own.
  buffer.open(path.c_str(), kvRead | kvBinary, false);
  ASSERT_TRUE(buffer.setStdioBufferSize(1 << 12));
  std::FILE *file = buffer.detach();
  EXPECT_EQ(std::fgetc(file), 'r');
  std::fclose(file);
}

TEST(JFileBufTest, LoadsWholeFilesInTextAndBinaryMode) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("script.txt").toStdString(), empty = path + ".empty";
  std::ofstream(path, std::ios::binary) << "\r\nline one\r\nline two\r\n\x1a";
  JFileBuf binary(path.c_str(), false);
  EXPECT_EQ(std::string(binary.get(), binary.getSize()), "\r\nline one\r\nline two\r\n\x1a");
  JFileBuf text;
  ASSERT_NE(text.open(path.c_str(), true), nullptr);
  EXPECT_STREQ(text, "\nline one\nline two\n\x1a") << "text mode reads CR LF as LF, NUL-terminated";
  EXPECT_EQ(text.getSize(), 20u);
  EXPECT_EQ(text.open("/nonexistent/file", false), nullptr);
  EXPECT_EQ(text.get(), nullptr) << "a failed open releases the previous data";
  std::ofstream{empty};
  EXPECT_EQ(text.open(empty.c_str(), false), nullptr);
}

// ---- AsyncFileBuffer ----
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
  ASSERT_EQ(kvtest::runChild(kvtest::currentTest(), "limited",
                             {{"KV_LIMITED_PATH", path("limited.bin").toStdString()}}),
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

// ---- MessageHandler ----
// The message box test needs a widget application.
const bool kWidgets = kvtest::requestWidgetApplication();

std::vector<std::string> texts(const StringMessageHandler &handler) {
  std::vector<std::string> all;
  for (int64_t i = 0; i < handler.getStrings().size(); ++i)
    all.emplace_back(handler.getStrings()[i].tocs());
  return all;
}

// Each kind is counted and prefixed (copies keep the counters); standard
// output and error become messages, other files are written, and a file
// handler writes each message to its file once attached.
TEST(MessageHandlerTest, EachKindIsCountedPrefixedAndRouted) {
  StringMessageHandler handler;
  handler.error("bad value %d", 3);
  handler.warning("check %s", "R1");
  handler.formattedOutput(MT_FATAL, YString("gone"));
  handler.formattedOutput(MT_HTML, YString("<b>x</b>"));
  handler.formattedOutput(static_cast<MessageType>(42), YString("lost"));
  handler.unexpected("u %d", 1);
  handler.fprintf(stderr, "err %s", "x");
  std::FILE *file = std::tmpfile();
  YArray<PrintfArg> args;
  args.add(PrintfArg("seven"));
  handler.fprintf(file, "%s\n", args);
  EXPECT_EQ(texts(handler),
            (std::vector<std::string>{
                "Error : bad value 3\n", "Warning : check R1\n", "Fatal Error : gone\n", "<b>x</b>",
                "", "Unexpected error, please contact support : u 1\n", "err x"}));
  const StringMessageHandler copy(handler);
  const int counts[] = {copy.getErrorCount(), copy.getWarningCount(), copy.getInfoCount(),
                        copy.getTextCount(),  copy.getFatalCount(),   copy.getUnexpectedCount()};
  EXPECT_EQ(std::vector<int>(counts, counts + 6), (std::vector<int>{2, 1, 0, 2, 1, 1}));
  FileMessageHandler toFile;
  toFile.error("not attached");
  toFile.attach(file);
  toFile.warning("attached");
  std::rewind(file);
  StringMessageHandler lines;
  lines.outputFile(file);
  EXPECT_EQ(texts(lines), (std::vector<std::string>{"seven\n", "Warning : attached\n"}));
  std::fclose(file);
  // A standard stream turns each write into a message; without a host
  // handler messages go to one that discards them but counts.
  YRef<MessageHandler> shared(new StringMessageHandler());
  kvstdstream_html(shared) << "<i>y</i>" << 5;
  EXPECT_EQ(shared->getTextCount(), 2);
  kv_error("nobody hears %s", "this");
  EXPECT_TRUE(sp_GetDefaultMessageHandler()->hasErrors());
}

// The host's handler and built-in scripts, offered through
// "getDefaultMessageHandler" and "findBuiltInScript". The test switches the
// handler per call like a host capturing a command's output.
YRef<MessageHandler> gHostHandler;
YRef<MessageHandler> hostHandler() { return gHostHandler; }
kvstream *findScript(const YString &name, const YString &unused) {
  if (name == "hello" && unused.isEmpty())
    return new kvstrstream("print hello\n");
  return nullptr;
}

TEST(MessageHandlerTest, HostFunctionsServeMessagesAndScripts) {
  if (kvtest::childRole() != "host") {
    // The host functions are looked up once per process: run it in a fresh one.
    EXPECT_EQ(kvtest::runChild(kvtest::currentTest(), "host"), 0);
    return;
  }
  MakeDynamicFunction handlerFunction(reinterpret_cast<void *>(&hostHandler),
                                      "getDefaultMessageHandler");
  MakeDynamicFunction scriptFunction(&findScript, "findBuiltInScript");
  JFileBuf script;
  ASSERT_NE(script.open("internal:scripts/hello.kvs", true), nullptr);
  EXPECT_STREQ(script, "print hello\n");
  auto *capture = new StringMessageHandler();
  gHostHandler = YRef<MessageHandler>(capture);
  YRef<MessageHandler> keep = gHostHandler;
  kv_printf("%s=%d", "n", 4);
  check_error("p != 0", "a.cpp", 12);
  EXPECT_EQ(texts(*capture), (std::vector<std::string>{"n=4", "Unexpected error, please contact "
                                                              "support : Test p != 0 failed in "
                                                              "module a.cpp, line 12\n"}));
  gHostHandler = YRef<MessageHandler>();
  kv_printf("falls back to the discarding handler");
  EXPECT_EQ(capture->getTextCount(), 1);
}

std::string assertText(const char *expression, const char *file) {
  try {
    sp_Assert(expression, file, 12);
  } catch (const KelvantaException &e) {
    EXPECT_EQ(e.getCode(), 8);
    return e.getMessage();
  }
  return "no exception";
}

// Asserts throw the library exception; error lists grow at the front without
// repeats (in any case); both texts are cut safely to their buffers.
TEST(MessageHandlerTest, ErrorListsGrowAtTheFrontWithoutRepeats) {
  EXPECT_EQ(assertText("p != 0", "a.cpp"), "Assert failed: p != 0 in file a.cpp line 12");
  YList<YString> list;
  sp_AddError(&list, "Missing node %s", "N1");
  sp_AddError(&list, "missing NODE %s", "n1");
  sp_WriteErrorList(&list, "listed %s", "too");
  ASSERT_EQ(list.size(), 2);
  EXPECT_STREQ(list.first().tocs(), "*** ERROR *** listed too");
  sp_AddError(&list, "%s", std::string(5000, 'z').c_str());
  EXPECT_EQ(list.first().length(), 511) << "cut safely to the 512-byte buffer";
}

TEST(MessageHandlerTest, FatalMessagesAreShownOnTheGuiThread) {
  ASSERT_TRUE(kWidgets && qobject_cast<QApplication *>(QCoreApplication::instance()));
  QString shownTitle, shownText;
  // Closes whatever message box is up, noting what it showed.
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
      shownTitle = box->windowTitle();
      shownText = box->text();
      box->accept();
    }
  });
  closer.start(5);
  sp_FatalMessage("disk gone");
  EXPECT_EQ(shownTitle + ":" + shownText, QStringLiteral("Fatal:disk gone"));

  shownText.clear();
  std::thread worker([] { sp_ThreadFatalMessage("from a worker"); });
  worker.join();
  EXPECT_TRUE(shownText.isEmpty()) << "nothing is shown off the GUI thread";
  QCoreApplication::processEvents(); // delivers the posted message; the timer closes its box
  EXPECT_EQ(shownText, QStringLiteral("from a worker"));
}

} // namespace
