#include "kvsupport/netlist/Banner.h"

#include "kvsupport/streams/kvstrstream.h"

#include <gtest/gtest.h>

#include <cstdio>
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

std::string streamBytes(const kvstrstream &stream) {
  return std::string(stream.getString(), static_cast<size_t>(stream.getNumBytes()));
}

// A final line feed adds no empty line; an empty text has no lines; too
// narrow a width never cuts the text nor goes negative. Files get the same
// bytes, the console none.
TEST(BannerTest, BoxesTextLineByLine) {
  kvstrstream stream;
  std::FILE *file = std::tmpfile();
  sp_PrintBoxedText(stream, YString("ab\ncd\n"), 12);
  sp_PrintBoxedText(file, YString("ab\ncd\n"), 12);
  sp_PrintBoxedText(stream, YString(), 8);
  sp_PrintBoxEdge(stream, -3);
  sp_PrintSides(stream, 2);
  sp_PrintLineCentred(stream, YString("abcdef"), 20); // leans left by a blank
  sp_PrintLineCentred(stream, YString("abcdef"), 13);
  sp_PrintLine(file, "abcdef", 10);
  EXPECT_EQ(streamBytes(stream), "************\n***      ***\n***  ab  ***\n***  cd  ***\n"
                                 "***      ***\n************\n"
                                 "********\n***  ***\n***  ***\n********\n"
                                 "\n******\n***    abcdef    ***\n*** abcdef***\n");
  EXPECT_EQ(fileBytes(file), streamBytes(stream).substr(0, 78) + "*** abcdef***\n");
  std::fclose(file);

  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  for (std::FILE *console : {stdout, stderr, static_cast<std::FILE *>(nullptr)})
    sp_PrintBoxedText(console, "x", 10);
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
  // No room: an empty field and the name kept; no name: blanks.
  char out[4] = {'x', 'x', 'x', 'x'};
  YString name("abc");
  sp_FormatName(out, 0, '.', &name);
  EXPECT_EQ(std::string(out) + "|" + name.tocs(), "|abc");
}

} // namespace
