#include "kvsupport/netlist/NewSpiceStream.h"
#include "kvsupport/streams/kvstrstream.h"

#include "NumberedLine.h"
#include "common/TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Line = NumberedLine;

std::vector<Line> readLines(const std::string &bytes) {
  kvtest::TempFile file(bytes);
  NewSpiceStream reader(file.path());
  return readNumberedLines(reader);
}

TEST(NewSpiceStreamTest, LogicalLinesKeepStarComments) {
  const std::pair<std::string, std::vector<Line>> cases[] = {
      // A comment between lines is a line; inside a continued line it vanishes.
      {"R1 a b 1k\n* note\nC1 b 0 1n\n", {{1, "R1 a b 1k"}, {2, "* note"}, {3, "C1 b 0 1n"}}},
      {"R1 a b\n* note\n+ 1k\n", {{1, "R1 a b  1k"}}},
      // Inline comments are dropped, semicolon lines never reach the caller.
      {"R1 a\n; two\nR2 b\n", {{1, "R1 a"}, {3, "R2 b"}}},
      {"R1 a\n* one\n; two\n* three\nR2 b\n",
       {{1, "R1 a"}, {2, "* one"}, {4, "* three"}, {5, "R2 b"}}},
      // Replayed comments keep their own numbers.
      {"R1 a b 1k ; load\n+ tc=0.01\n\n* note\n\n*x ; y\nC1 b 0 1n\n",
       {{1, "R1 a b 1k   tc=0.01"}, {4, "* note"}, {6, "*x "}, {7, "C1 b 0 1n"}}},
      // At the start: semicolon lines and blanks are skipped, star lines are
      // lines; at the very start only the semicolons themselves are skipped.
      {";;\n\n  R1 a\n", {{3, "R1 a"}}},
      // Carriage returns and control bytes; no final line feed.
      {std::string("R1\r\n+\0 b\x1a\xff\r\n", 13), {{1, "R1  b"}}},
  };
  for (const auto &[input, expected] : cases)
    EXPECT_EQ(readLines(input), expected) << input;
}

TEST(NewSpiceStreamTest, GetHandsOutLinesWithLineFeeds) {
  kvstrstream text("R1 a\n* c\n+ b\nR2\n* d\nR3 ; e\n");
  NewSpiceStream reader(text);
  std::string seen;
  for (int c; (c = reader.get()) != -1;)
    seen += static_cast<char>(c);
  EXPECT_EQ(seen + " " + std::to_string(reader.getLineCount()) + ":" +
                std::to_string(reader.getCharCount()),
            "R1 a  b\nR2\n* d\nR3  6:27");

  // init restarts reading where the stream is.
  reader.seekg(0);
  reader.init();
  EXPECT_EQ(readNumberedLines(reader).front(), (Line{1, "R1 a  b"}));
  kvtest::TempFile file("R1 a\n* c\n+ b\nR2\n* d\nR3 ; e\n");
  NewSpiceStream lines(file.path());
  readNumberedLines(lines);
  EXPECT_EQ(lines.getCharCount(), 27) << "lines count their characters as get() does";
}

// The literal buffer holds the physical lines of each line read, whole, and
// nothing yet of the next.
TEST(NewSpiceStreamTest, LiteralBufferHoldsTheLinesRead) {
  kvtest::TempFile file("R1 a\n*comment text\n+ b\nR2 ; c\n* d\nR3\nR4 b\n");
  NewSpiceStream reader(file.path());
  std::vector<std::string> literal;
  for (YString line; reader.gets(&line, &NewSpiceStream::dummyLineNum); reader.flushLitBuffer())
    literal.emplace_back(reader.getLitBuffer(), reader.getLitBuffer().getLength());
  EXPECT_EQ(literal, (std::vector<std::string>{"R1 a\n*comment text\n+ b\n", "R2 ; c\n", "* d\n",
                                               "R3\n", "R4 b\n"}));
}

TEST(NewSpiceStreamTest, MissingFileAndHugeLines) {
  NewSpiceStream missing("/nonexistent/dir/x.cir");
  YString line;
  EXPECT_FALSE(missing.gets(&line, &NewSpiceStream::dummyLineNum));
  EXPECT_STREQ(missing.getSourceFile().tocs(), "/nonexistent/dir/x.cir");

  std::string big(3 << 20, 'y');
  std::string comments;
  for (int i = 0; i < 100000; ++i)
    comments += "* c\n";
  std::vector<Line> lines = readLines("R1 " + big + "\n" + comments + "+ z\nR2\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].text, "R1 " + big + "  z");
  EXPECT_EQ(lines[1].number, 100003);
}

} // namespace
