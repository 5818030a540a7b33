#include "kvsupport/streams/kvstrbuf.h"
#include "kvsupport/streams/kvstrstream.h"
#include "kvsupport/strings/YString.h"

#include <gtest/gtest.h>

#include <cstdint>
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
}

} // namespace
