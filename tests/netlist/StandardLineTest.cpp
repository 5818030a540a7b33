#include "kvsupport/netlist/StandardLine.h"
#include "kvsupport/strings/TextEncoding.h"

#include "common/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A temporary file holding `bytes`, positioned at its start; a `fresh` one
// has never been read or written through its stream, which then has no
// buffer yet.
struct MemoryFile {
  explicit MemoryFile(const std::string &bytes, bool fresh = false) : file(std::tmpfile()) {
    if (fresh) {
      EXPECT_EQ(::write(fileno(file), bytes.data(), bytes.size()), ssize_t(bytes.size()));
      ::lseek(fileno(file), 0, SEEK_SET);
    } else {
      std::fwrite(bytes.data(), 1, bytes.size(), file);
      std::rewind(file);
    }
  }
  ~MemoryFile() { std::fclose(file); }
  std::FILE *file;
};

std::string listing(const StandardLine &line) {
  std::string out = line.id().tocs();
  for (const StandardLineProperty &p : line.properties())
    out += std::string("|") + p.name.tocs() + "=" + p.value.tocs();
  return out;
}

TEST(StandardLineTest, ParsesIdentifierAndProperties) {
  struct Case {
    std::string bytes, expected;
  } cases[] = {
      {".Wire x=10 y=\"a \\\"b\\\"\" name = w1\n", ".Wire|x=10|y=a \"b\"|name=w1"},
      {"id a=1 b\n", "id|a=1"},
      {"  id\ta=\"x\\ty\\nz\\\\\"", "id|a=x\ty\nz\\"},
      {"id a==b c= d", "id|a=b|c=d"},
      {"id a=\"x\"b=2 c=\"\"", "id|a=x|b=2|c="},
      {"id a=\"x\ry\"\r\r\n", "id|a=xy"},
      {std::string("id a=1\0 b=2\nnext", 16), "id|a=1"},
      {std::string("\0x a=1\nid b=2", 13), "id|b=2"},
  };
  for (const Case &c : cases) {
    for (bool fresh : {false, true}) {
      MemoryFile f(c.bytes, fresh);
      StandardLine line;
      ASSERT_TRUE(line.readLine(f.file, nullptr)) << c.bytes;
      EXPECT_EQ(listing(line), c.expected) << c.bytes << (fresh ? " fresh" : "");
    }
  }
}

TEST(StandardLineTest, SkipsBlankLinesAndCountsEveryLineFeed) {
  std::string longWord(100000, 'w');
  MemoryFile f("\n  \t\nid1\r\n\n \n" + longWord + "\n" + std::string("\0 x\n", 4) + "id2");
  StandardLine line;
  int number = 0;
  std::string seen; // line number: identifier length
  while (line.readLine(f.file, &number))
    seen += std::to_string(number) + ":" + std::to_string(line.id().length()) + " ";
  // The NUL line holds no text, so it is blank; its line feed still counts.
  // The count is of line feeds read, so the last line, without one, is at 7.
  EXPECT_EQ(seen, "3:3 6:100000 7:3 ");
  EXPECT_EQ(number, 7);
  EXPECT_EQ(listing(line), "");

  YString text;
  MemoryFile h("x\n");
  EXPECT_FALSE(sp_ReadNextNonBlankLine(h.file, nullptr, &number));
  MemoryFile g(" \t \n a b \r\n");
  EXPECT_TRUE(sp_ReadNextNonBlankLine(g.file, &text, &number));
  EXPECT_EQ(text, " a b ");
  EXPECT_EQ(number, 9);
}

// Names match in any case, the last occurrence wins; numbers saturate.
TEST(StandardLineTest, NumbersSaturateLikeTheirLibraryReaders) {
  MemoryFile f("id a=12abc b=\" -7\" c=99999999999 d=-99999999999 e=x "
               "h=0x10 i=010 j=0xFFFFFFFF k=-0x80000001 l=1 L=\xE9\n");
  StandardLine line;
  ASSERT_TRUE(line.readLine(f.file, nullptr));
  struct Case {
    const char *name;
    int atoi, strtol;
  } cases[] = {
      {"a", 12, 12}, {"B", -7, -7}, {"c", INT_MAX, INT_MAX}, {"d", INT_MIN, INT_MIN},
      {"h", 0, 16},  {"i", 10, 8},  {"j", 0, INT_MAX},       {"k", 0, INT_MIN},
  };
  for (const Case &c : cases) {
    int value = 1, hex = 1;
    long wide = 1;
    EXPECT_TRUE(line.intPropValue(c.name, &value) && line.intPropValue(c.name, &wide) &&
                line.hexPropValue(c.name, &hex));
    EXPECT_EQ(std::to_string(value) + " " + std::to_string(wide) + " " + std::to_string(hex),
              std::to_string(c.atoi) + " " + std::to_string(c.atoi) + " " +
                  std::to_string(c.strtol))
        << c.name;
  }
  int untouched = 5;
  EXPECT_FALSE(line.intPropValue("absent", &untouched));
  EXPECT_FALSE(line.hexPropValue("absent", &untouched));
  EXPECT_TRUE(line.intPropValue("a", static_cast<int *>(nullptr)) &&
              line.intPropValue("a", static_cast<long *>(nullptr)) &&
              line.hexPropValue("a", nullptr));
  EXPECT_EQ(untouched, 5);
  EXPECT_TRUE(line.propValue("absent", SLE_UTF8).isEmpty());
  EXPECT_TRUE(line.hasProperty("H"));
  EXPECT_EQ(line.propValue("L", SLE_RAW), "\xE9");
  EXPECT_EQ(line.propValue("l", SLE_LOCAL), sp_ConvertFromLocal("\xE9"));
}

TEST(StandardLineTest, ReadsObjectsToTheirClosingLine) {
  const std::string cases[][3] = {
      {".Component a=1", ".Component x\n.EndComponent\n\n.EndComponent\nnext\n",
       "1 .Component|.Component x|.EndComponent|.EndComponent| next"},
      {".comp", "  .ENDCOMP\r\nnext\n", "1 .comp|  .ENDCOMP| next"},
      {".Pin", "x .EndPin\n.EndPinX\n.EndPin y\nnext", "1 .Pin|x .EndPin|.EndPinX|.EndPin y| next"},
      {"Wire a=1", "next\n", "1 Wire| next"},
      {".Component", ".Component\n.EndComponent\n", "0  "},
  };
  for (const auto &[opening, body, expected] : cases) {
    MemoryFile f(opening + "\n" + body);
    StandardLine line;
    ASSERT_TRUE(line.readLine(f.file, nullptr));
    YList<YString> lines;
    lines.append("stale");
    std::string got = line.readObject(f.file, &lines) ? "1 " : "0 ";
    for (const YString &text : lines)
      got += std::string(text.tocs()) + "|";
    line.readLine(f.file, nullptr);
    EXPECT_EQ(got + " " + line.id().tocs(), expected) << opening;
  }
}

TEST(StandardLineTest, RecognisesAndWritesTheHeader) {
  QTemporaryDir dir;
  std::string base = dir.path().toStdString() + "/";
  int n = 0;
  for (const auto &[bytes, ascii] :
       std::vector<std::pair<std::string, bool>>{{" \tkelvantafile", true},
                                                 {"KelvantaFiles x\n", false},
                                                 {std::string(497, ' ') + "KelvantaFile", false},
                                                 {std::string(486, ' ') + "KelvantaFile", true}}) {
    std::string path = base + std::to_string(n++);
    kvtest::writeFile(path, bytes);
    EXPECT_EQ(StandardLine::isKelvantaAsciiFile(path.c_str()), ascii) << bytes;
  }
  EXPECT_FALSE(StandardLine::isKelvantaAsciiFile((base + "missing").c_str()));

  std::string path = base + "header";
  std::FILE *file = std::fopen(path.c_str(), "wb");
  StandardLine::writeHeader(file, "Schematic", 8);
  std::fclose(file);
  EXPECT_EQ(kvtest::readFile(path), "KelvantaFile type=Schematic format=1.0 revision=8\n");
}

} // namespace
