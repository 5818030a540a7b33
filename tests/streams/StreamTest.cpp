#include "kvsupport/streams/kvstrbuf.h"
#include "kvsupport/streams/kvstrstream.h"
#include "kvsupport/strings/YString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> readLines(kvstream &stream) {
  std::vector<std::string> lines;
  YString line;
  while (stream.getline(&line))
    lines.emplace_back(line.tocs());
  return lines;
}

TEST(StreamTest, AStreamWithoutABufferIsAHarmlessNoOp) {
  kvstream stream;
  char bytes[4] = {'x', 'x', 'x', 'x'};
  YString line("old");
  EXPECT_EQ(stream.get(), 0);
  EXPECT_FALSE(stream.getline(&line)) << "must not loop for ever";
  EXPECT_TRUE(line.isEmpty());
  stream.getline(bytes, 4);
  EXPECT_EQ(bytes[0], 'x');
  EXPECT_EQ(stream.read(bytes, 4), 0u);
  EXPECT_EQ(stream.write("abc", 3), 0u);
  stream << "text" << 5 << 2.5 << 'c';
  stream.printf("%d", 1);
  EXPECT_FALSE(stream.eof() || stream.fail() || static_cast<bool>(stream) || stream.writeFailed());
  EXPECT_EQ(stream.seekg(3), -1);
  EXPECT_EQ(stream.seekg(3, 0), -1);
  EXPECT_EQ(stream.tellg(), -1);
  EXPECT_EQ(stream.takeAndwriteSharedBlock(1, 0, 10), 0);
  EXPECT_EQ(stream.takeAndWrite(new char[3], 3), 0u); // the block is released, not leaked
  stream.close();
  stream.flush();
  EXPECT_EQ(stream.rdbuf(), nullptr);
}

TEST(StreamTest, StringBufferReadsSeeksAndFlagsTheEnd) {
  kvstrstream stream("abc");
  for (int c : {'a', 'b', 'c'})
    EXPECT_EQ(stream.get(), c);
  EXPECT_FALSE(stream.eof());
  EXPECT_EQ(stream.get(), -1);
  EXPECT_TRUE(stream.eof());
  EXPECT_EQ(stream.getCharCount(), 3);
  // Positions clamp into the text; ones past the 32-bit range fail. Origin -1:
  // the one-argument form.
  const int64_t seeks[][3] = {{-5, -1, 0},         {10, 0, 3},           {-1, 1, 2},
                              {0x7FFFFFFE, -1, 3}, {0x7FFFFFFE, 0, 3},   {0x7FFFFFFF, 0, -1},
                              {-3, 2, 0},          {0x7FFFFFFF, -1, -1}, {-0x80000000LL, -1, -1}};
  for (const auto &seek : seeks)
    EXPECT_EQ(seek[1] < 0 ? stream.seekg(seek[0])
                          : stream.seekg(seek[0], static_cast<int>(seek[1])),
              seek[2])
        << seek[0] << " from " << seek[1];
  EXPECT_EQ(stream.tellg(), 0);
  EXPECT_EQ(stream.get(), 'a');

  kvstrbuf buffer("xy");
  char bytes[8];
  EXPECT_EQ(buffer.read(bytes, 8), 2u);
  EXPECT_FALSE(buffer.eof()) << "the end flag is set only when a read starts at the end";
  EXPECT_EQ(buffer.read(bytes, 8), 0u);
  EXPECT_TRUE(buffer.eof());
  EXPECT_EQ(buffer.write("z", 1), 1u);
  EXPECT_FALSE(buffer.eof()) << "writing clears the end flag";
  EXPECT_EQ(buffer.get(), 'z');
  EXPECT_EQ(buffer.read(bytes, 0x7FFFFFFF), 0u);
  EXPECT_EQ(buffer.write("q", 0x7FFFFFFF), 0u);
  EXPECT_STREQ(buffer.getString(), "xyz");
  EXPECT_EQ(kvstrbuf("\xE9").get(), -23) << "bytes are sign-extended";
  EXPECT_EQ(kvstrstream(nullptr).getNumBytes(), 0);
  EXPECT_STREQ(kvstrstream("abcdef", 3).getString(), "abc");
  EXPECT_EQ(kvstrstream("abc", 0).getNumBytes(), 0);
}

TEST(StreamTest, GetlineKeepsCarriageReturnsAndTheLastUnterminatedLine) {
  kvstrstream dos("one\r\ntwo\n");
  EXPECT_EQ(readLines(dos), (std::vector<std::string>{"one\r", "two"}));
  kvstrstream unterminated("first\nlast");
  EXPECT_EQ(readLines(unterminated), (std::vector<std::string>{"first", "last"}));
  kvstrstream empties("\n\nx\n");
  EXPECT_EQ(readLines(empties), (std::vector<std::string>{"", "", "x"}));
  // Lines longer than the 511-byte chunk are joined exactly.
  for (size_t length : {510u, 511u, 512u, 1022u, 1023u, 5000u}) {
    std::string longLine(length, 'L');
    longLine[0] = 'S';
    longLine[length - 1] = 'E';
    kvstrstream stream((longLine + "\nnext").c_str());
    EXPECT_EQ(readLines(stream), (std::vector<std::string>{longLine, "next"})) << length;
  }
  kvstrstream empty("");
  YString line("stale");
  EXPECT_FALSE(empty.getline(&line));
  EXPECT_TRUE(line.isEmpty());
  empty.flush();
  empty << "fresh\n";
  ASSERT_TRUE(empty.getline(&line)) << "after a flush, reading starts at the new text's beginning";
  EXPECT_STREQ(line.tocs(), "fresh");
}

TEST(StreamTest, GetlineIntoACharacterBuffer) {
  kvstrstream stream("abcdef");
  char line[8];
  std::memset(line, '#', sizeof line);
  stream.getline(line, 4);
  EXPECT_EQ(std::string(line, 5), "abcd#") << "four bytes stored, no terminator";
  kvstrstream lines("ab\ncd");
  lines.getline(line, 8);
  EXPECT_STREQ(line, "ab");
  lines.getline(line, 8);
  EXPECT_STREQ(line, "cd") << "the end of input ends the text too";
  std::memset(line, '#', sizeof line);
  lines.getline(line, 0);
  EXPECT_EQ(line[0], '#');
}

TEST(StreamTest, FormattedOutput) {
  kvstrstream stream;
  const char *none = nullptr;
  stream << "v=" << 42 << ' ' << 2.5 << ' ' << none << ' ' << YString("ys");
  stream.printf("|%05.1f|%s", 3.14159, "end");
  EXPECT_STREQ(stream.getString(), "v=42 2.5 (null) ys|003.1|end");
}

TEST(StreamTest, TextRecordsRoundTripThroughAStream) {
  kvstrstream stream;
  std::string huge(40000, 'h');
  EXPECT_TRUE(stream.write(YString("short"), false));
  EXPECT_TRUE(stream.write(YString(huge.c_str()), false));
  EXPECT_TRUE(stream.write(YString(huge.c_str()), true));
  EXPECT_TRUE(stream.write(YString(), false));
  EXPECT_EQ(stream.getNumBytes(), 2 + 5 + 2 + 32767 + 4 + 40000 + 2);

  YString text;
  EXPECT_EQ(stream.read(&text, false), 1);
  EXPECT_STREQ(text.tocs(), "short");
  EXPECT_EQ(stream.read(&text, false), 1);
  EXPECT_EQ(text.length(), 32767) << "short records cut long texts";
  EXPECT_EQ(stream.read(&text, true), 1);
  EXPECT_EQ(text.length(), 40000);
  EXPECT_EQ(stream.read(&text, false), 1);
  EXPECT_TRUE(text.isEmpty());
  EXPECT_EQ(stream.read(&text, false), 0) << "end of input";

  kvstrstream limited;
  limited.write(YString("toolong"), false);
  EXPECT_EQ(text.restore(limited, 3), 0);
  kvstrstream truncated;
  int16_t claimed = 50;
  truncated.write(reinterpret_cast<const char *>(&claimed), 2);
  truncated.write("abc", 3);
  YString kept("kept");
  EXPECT_EQ(kept.restore(truncated, 0), 0) << "a record cut short is not a success";
  EXPECT_STREQ(kept.tocs(), "kept");
  kvstream bufferless;
  EXPECT_EQ(kept.restoreLong(bufferless), 0);
}

// Decrypts a marked line by dropping the marker and upper-casing the rest.
class UpperCaseDecryptor : public EncryptInterface {
public:
  int decryptCalls = 0;
  int endCalls = 0;
  int result = 0;
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
    EXPECT_TRUE(stream.encryptionAllowed());
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
  EXPECT_EQ(stream.getCharCount(), 1);
  char rest[3];
  EXPECT_EQ(stream.read(rest, 3), 3u);
  EXPECT_EQ(stream.getCharCount(), 4);
  stream.clearCount();
  EXPECT_EQ(stream.getCharCount(), 0);
}

TEST(StreamTest, TransferBufferMovesTheBufferAndRenewsTheSource) {
  kvstrstream source("payload");
  kvstrstream target("old");
  kvbuf *moved = source.rdbuf();
  kvstream::transferBuffer(&source, &target);
  EXPECT_EQ(target.rdbuf(), moved);
  EXPECT_STREQ(target.getString(), "payload");
  ASSERT_NE(source.rdbuf(), nullptr);
  EXPECT_NE(source.rdbuf(), moved);
  EXPECT_EQ(source.getNumBytes(), 0);
  kvstream::transferBuffer(&target, &target); // no effect, nothing destroyed
  EXPECT_STREQ(target.getString(), "payload");
}

} // namespace
