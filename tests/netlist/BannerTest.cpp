#include "kvsupport/netlist/Banner.h"

#include "kvsupport/streams/kvstrstream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

std::string fileBytes(std::FILE *file) {
  std::rewind(file);
  std::string bytes;
  for (int c; (c = std::fgetc(file)) != EOF;)
    bytes += static_cast<char>(c);
  return bytes;
}

// Runs `write` on a string stream and on a file; both must give the same bytes.
template <class Write> std::string bothForms(Write write) {
  kvstrstream stream;
  write(static_cast<kvstream &>(stream));
  std::FILE *file = std::tmpfile();
  write(file);
  std::string fromFile = fileBytes(file);
  std::fclose(file);
  std::string fromStream(stream.getString(), static_cast<size_t>(stream.getNumBytes()));
  EXPECT_EQ(fromStream, fromFile);
  return fromStream;
}

TEST(BannerTest, BoxesTextLineByLine) {
  // A final line feed adds no empty line; an empty text has no lines.
  EXPECT_EQ(bothForms([](auto &&out) { sp_PrintBoxedText(out, YString("ab\ncd\n"), 12); }),
            "************\n***      ***\n***  ab  ***\n***  cd  ***\n***      ***\n"
            "************\n");
  EXPECT_EQ(bothForms([](auto &&out) { sp_PrintBoxedText(out, YString(), 8); }),
            "********\n***  ***\n***  ***\n********\n");
}

// Centred text leans left by a blank; too narrow a width never cuts the text
// nor goes negative.
TEST(BannerTest, PiecesKeepTheirWidthAndNeverGoNegative) {
  struct Case {
    int width;
    const char *text;
    std::string centred, line;
  } cases[] = {
      {20, "abcdef", "***    abcdef    ***\n", "*** abcdef       ***\n"},
      {13, "abcdef", "*** abcdef***\n", "*** abcdef***\n"},
      {10, "abcdef", "*** abcdef***\n", "*** abcdef***\n"},
      {-5, "", "*** ***\n", "*** ***\n"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(bothForms([&](auto &&out) { sp_PrintLineCentred(out, YString(c.text), c.width); }),
              c.centred)
        << c.width;
    std::FILE *file = std::tmpfile();
    sp_PrintLine(file, c.text, c.width);
    EXPECT_EQ(fileBytes(file), c.line) << c.width;
    std::fclose(file);
  }
  EXPECT_EQ(bothForms([](auto &&out) { sp_PrintBoxEdge(out, -3); }), "\n");
  EXPECT_EQ(bothForms([](auto &&out) { sp_PrintSides(out, 2); }), "******\n");
}

TEST(BannerTest, ConsoleStreamsGetNothing) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  for (std::FILE *file : {stdout, stderr, static_cast<std::FILE *>(nullptr)}) {
    sp_PrintLine(file, "x", 10);
    sp_PrintBoxedText(file, "x", 10);
  }
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(BannerTest, FormatNameCutsAfterTheLatestSeparator) {
  struct Case {
    const char *name;
    int width;
    char separator;
    std::vector<std::string> pieces;
  } cases[] = {
      {"top.sub.inst", 8, '.', {"top.sub.", "inst    "}},
      {"abcde", 5, '\0', {"abcd ", "e    "}},
      {".abcd", 3, '.', {".a ", "bc ", "d  "}},
      {"abc", 1, '.', {"a", "b", "c"}},
      {"ab", 2, 'b', {"ab"}},
  };
  for (const Case &c : cases) {
    YString rest(c.name);
    std::vector<std::string> pieces;
    std::vector<char> field(static_cast<size_t>(c.width) + 1);
    while (!rest.isEmpty() && pieces.size() < 100) {
      sp_FormatName(field.data(), c.width, c.separator, &rest);
      pieces.push_back(field.data());
    }
    EXPECT_EQ(pieces, c.pieces) << c.name << " " << c.width;
  }
  char out[4] = {'x', 'x', 'x', 'x'};
  YString name("abc");
  sp_FormatName(out, 0, '.', &name);
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(name, "abc");
  out[0] = 'x';
  sp_FormatName(out, -1, '.', &name);
  EXPECT_EQ(out[0], 'x');
  sp_FormatName(out, 3, '.', nullptr);
  EXPECT_STREQ(out, "   ");
}

// The pieces, each without the blanks it was padded with, give the name
// back, and no piece is empty while the name is not.
TEST(BannerTest, FormatNamePiecesRejoinToTheName) {
  std::mt19937 random(9);
  for (int i = 0; i < 3000; ++i) {
    std::string name(random() % 20, ' ');
    for (char &c : name)
      c = "ab. _"[random() % 5];
    int width = 1 + static_cast<int>(random() % 7);
    char separator = "._x"[random() % 3];
    YString rest(name.c_str());
    std::string joined;
    std::vector<char> field(static_cast<size_t>(width) + 1);
    for (int calls = 0; !rest.isEmpty(); ++calls) {
      ASSERT_LE(calls, static_cast<int>(name.size()));
      std::string before = rest.tocs();
      sp_FormatName(field.data(), width, separator, &rest);
      size_t taken = before.size() - static_cast<size_t>(rest.length());
      ASSERT_GT(taken, 0u);
      ASSERT_EQ(before.substr(taken), rest.tocs());
      ASSERT_EQ(std::string(field.data()),
                before.substr(0, taken) + std::string(width - taken, ' '));
      joined += before.substr(0, taken);
    }
    ASSERT_EQ(joined, name);
  }
}

} // namespace
