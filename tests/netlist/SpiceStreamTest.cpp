#include "kvsupport/netlist/SpiceStream.h"

#include "NumberedLine.h"
#include "common/TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Line = NumberedLine;

using NetlistFile = kvtest::TempFile;

Line readNumberedLine(SpiceStream &reader) {
  YString text;
  int number = 0;
  EXPECT_TRUE(reader.gets(&text, &number, nullptr, nullptr));
  return {number, text.tocs()};
}

std::vector<Line> readLines(const std::string &bytes, SpiceLanguage language = SPICE_NATIVE) {
  NetlistFile file(bytes);
  SpiceStream reader(file.path(), language);
  bool encrypted = true, high = true;
  std::vector<Line> lines = readNumberedLines(reader, &encrypted, &high);
  EXPECT_TRUE(reader.eof());
  return lines;
}

TEST(SpiceStreamTest, LogicalLinesAcrossDialects) {
  struct Case {
    std::string input;
    std::vector<Line> expected;
    SpiceLanguage language = SPICE_NATIVE;
  } cases[] = {
      // A continuation over a comment line; blank lines between continuations.
      {"R1 a b 1k ; load\n+ tc=0.01\n* note\nC1 b 0 1n\n",
       {{1, "R1 a b 1k   tc=0.01"}, {4, "C1 b 0 1n"}}},
      {"R1 a\n\n   \n+ b\n+c\nR2\n", {{1, "R1 a  b c"}, {6, "R2"}}},
      // Comment and blank lines skipped, tabs kept.
      {"* title\n\n  \t\n;x\nV1\t1 0 5\t\n", {{5, "V1\t1 0 5\t"}}},
      // The dialects' comment characters.
      {"R1 a b 1k $ c ; d\nR2 x;y 2\n", {{1, "R1 a b 1k "}, {2, "R2 x;y 2"}}, SPICE_HSPICE},
      {"R1 a\n;x\nR2 b\n", {{1, "R1 a"}, {3, "R2 b"}}},
      // A header switches the dialect, but only outside any logical line
      // (before the first one): not after a line, nor inside a continued one.
      {"*#HSPICE\nR1 a $ c\n", {{2, "R1 a "}}},
      {"*#hspice\nR1 a $ c\n*#Kelvanta\nR2 b $ c ; d\n", {{2, "R1 a "}, {4, "R2 b "}}},
      {"R1 a\n*#HSPICE\n+ b $ c\n", {{1, "R1 a  b $ c"}}},
      // Carriage returns, NUL, 255 and the end-of-file byte are dropped; lone
      // carriage returns make one long line.
      {std::string("R1\r a\0b\xff c\r\n+\r d\r\n", 17), {{1, "R1 ab c  d"}}},
      // The default evaluate keeps groups, inner braces as parentheses.
      {"V1 a 0 {2*{x}}\nE1 {a\n", {{1, "V1 a 0 {2*(x)}"}, {2, "E1 "}}},
      {"R\xe9 a", {{1, "R\xe9 a"}}}, // high characters kept, no final line feed
  };
  for (const Case &c : cases)
    EXPECT_EQ(readLines(c.input, c.language), c.expected) << c.input;
}

TEST(SpiceStreamTest, EchoBufferHoldsCommentsAndOneLineFeedPerRun) {
  NetlistFile file("R1 a b 1k ; load\n+ tc=0.01\n\n\n* note\nC1 b 0 1n\n");
  SpiceStream reader(file.path(), SPICE_NATIVE);
  YString line;
  ASSERT_TRUE(reader.gets(&line, &SpiceStream::dummyLineNum, nullptr, nullptr));
  EXPECT_STREQ(static_cast<const char *>(*reader.getBuffer()),
               "R1 a b 1k ; load\n+ tc=0.01\n* note\n");
  reader.flushBuffer();
  ASSERT_TRUE(reader.gets(&line, nullptr, nullptr, nullptr));
  EXPECT_STREQ(static_cast<const char *>(*reader.getBuffer()), "C1 b 0 1n\n");

  NetlistFile kept("R1 a\n\n+ b\nC1\n");
  SpiceStream keeping(kept.path(), SPICE_NATIVE);
  keeping.dontSuppressEmptyLines();
  ASSERT_TRUE(keeping.gets(&line, nullptr, nullptr, nullptr));
  EXPECT_STREQ(static_cast<const char *>(*keeping.getBuffer()), "R1 a\n\n+ b\n");

  // A header that ends the file without a line feed is echoed whole.
  NetlistFile last("R1 a\n*#HSPICE x");
  SpiceStream ending(last.path(), SPICE_NATIVE);
  while (ending.gets(&line, nullptr, nullptr, nullptr))
    ;
  EXPECT_STREQ(static_cast<const char *>(*ending.getBuffer()), "R1 a\n*#HSPICE x");
}

TEST(SpiceStreamTest, HeadersSetDialectSeparatorAndHierarchy) {
  struct Case {
    std::string header;
    SpiceLanguage language;
    const char *separator;
  } cases[] = {
      {"*#KELVANTA sep=.\n", SPICE_NATIVE, "."},
      {"*#kelvanta SEP = ( / )\n", SPICE_NATIVE, "/"},
      {"*#KELVANTA sep=ab\n", SPICE_NATIVE, "$"},
      {"*#HSPICE\n", SPICE_HSPICE, ""},
      {"*# \n", SPICE_PSPICE, "$"},
  };
  for (const Case &c : cases) {
    NetlistFile file(c.header + "R1 a b\n");
    SpiceStream reader(file.path(), SPICE_PSPICE);
    EXPECT_EQ(readNumberedLine(reader), (Line{2, "R1 a b"})) << c.header;
    EXPECT_EQ(reader.getLanguage(), c.language) << c.header;
    EXPECT_STREQ(reader.getSeparator(), c.separator) << c.header;
  }

  // The hierarchy mark counts inside a continued line and is cleared by the
  // next gets.
  NetlistFile file("X1 a\n*#Hierarchy\n+ b\nX2 c\n");
  SpiceStream reader(file.path(), SPICE_NATIVE);
  YString line;
  ASSERT_TRUE(reader.gets(&line, nullptr, nullptr, nullptr));
  EXPECT_TRUE(reader.isHierarchy());
  ASSERT_TRUE(reader.gets(&line, nullptr, nullptr, nullptr));
  EXPECT_FALSE(reader.isHierarchy());
}

// Counters as "last accepted line:char, line:char".
std::string counts(const SpiceStream &reader) {
  return std::to_string(reader.getLastAcceptedLineCount()) + ":" +
         std::to_string(reader.getLastAcceptedCharCount()) + ", " +
         std::to_string(reader.getLineCount()) + ":" + std::to_string(reader.getCharCount());
}

TEST(SpiceStreamTest, PositionsNameTheLastAcceptedCharacter) {
  NetlistFile file("* t\nR1 a\r\n+ b\n\nC1\n");
  SpiceStream reader(file.path(), SPICE_NATIVE);
  std::string seen;
  for (int c; (c = reader.get(false)) != 'b';)
    seen += static_cast<char>(c);
  EXPECT_EQ(seen, "R1 a  "); // a blank for the '+', then the one after it
  EXPECT_EQ(counts(reader), "2:13, 2:13");
  // The line end that completes the line is the last accepted position.
  EXPECT_EQ(reader.get(false), '\n');
  EXPECT_EQ(counts(reader), "3:14, 4:16");
  EXPECT_EQ(reader.get(false), 'C');
  reader.clearCounts();
  EXPECT_EQ(counts(reader), "4:0, 0:0");
}

TEST(SpiceStreamTest, TitleLiteralModeAndInit) {
  NetlistFile file("My * title ; x\n* c\nR1 a ; z\n");
  SpiceStream reader(file.path(), SPICE_NATIVE);
  reader.readTitle();
  reader.setLiteralMode(true);
  std::vector<Line> lines{{reader.getLineCount(), ""}};
  lines.push_back(readNumberedLine(reader));
  // The title and the literal line, as read.
  EXPECT_STREQ(static_cast<const char *>(*reader.getBuffer()), "My * title ; x* c\n");
  reader.setLiteralMode(false);
  lines.push_back(readNumberedLine(reader));
  // init restarts the counts on the same stream; seeking back rereads it.
  reader.seekg(0);
  reader.init();
  lines.push_back(readNumberedLine(reader));
  EXPECT_EQ(lines, (std::vector<Line>{{1, ""}, {2, "* c"}, {3, "R1 a "}, {1, "My * title "}}));
  // The end met in literal mode is the end.
  reader.setLiteralMode(true);
  YString line;
  while (reader.gets(&line, nullptr, nullptr, nullptr)) {
  }
  EXPECT_TRUE(reader.eof());
  EXPECT_EQ(reader.get(false), -1);
}

TEST(SpiceStreamTest, FlagsHighCharactersAndMissingFiles) {
  NetlistFile file("R\xc3\xa9 a\nR2 b\n");
  SpiceStream reader(file.path(), SPICE_NATIVE);
  YString line;
  bool high = false, encrypted = true;
  ASSERT_TRUE(reader.gets(&line, nullptr, &encrypted, &high));
  EXPECT_TRUE(high && !encrypted);
  ASSERT_TRUE(reader.gets(&line, nullptr, &encrypted, &high));
  EXPECT_FALSE(high);

  SpiceStream missing("/nonexistent/dir/x.cir", SPICE_HSPICE);
  EXPECT_FALSE(missing.gets(&line, nullptr, nullptr, nullptr));
  kvstream empty;
  SpiceStream unbuffered(empty);
  EXPECT_FALSE(unbuffered.gets(&line, nullptr, nullptr, nullptr));
}

// Megabyte lines and long runs of comment lines read in linear time and come
// back whole.
TEST(SpiceStreamTest, HugeLinesComeBackWhole) {
  std::string big(3 << 20, 'x');
  std::string input = "R1 " + big + "\n" + std::string(1 << 20, '\n') + "+ y\n";
  std::vector<Line> lines = readLines(input);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, "R1 " + big + "  y");
}

} // namespace
