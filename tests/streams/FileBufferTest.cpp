#include "kvsupport/streams/JFileBuf.h"
#include "kvsupport/streams/kvfbuf.h"
#include "kvsupport/streams/kvfstream.h"
#include "kvsupport/strings/YString.h"

#include "common/TestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <string>

namespace {

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

} // namespace
