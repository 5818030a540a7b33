#include "kvsupport/netlist/LibraryStream.h"
#include "kvsupport/netlist/LibraryIndex.h"
#include "kvsupport/netlist/NewSpiceStream.h"
#include "kvsupport/netlist/SpiceStream.h"
#include "kvsupport/netlist/Tokenizer.h"

#include "NumberedLine.h"
#include "common/TestFiles.h"

#include <QDirIterator>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Line = NumberedLine;

std::vector<Line> readDefinition(const SymbolLoc &location, const char *name) {
  LibraryStream reader(location, YString(name));
  return readNumberedLines(reader);
}

SymbolLoc at(const char *path, int start, int end, int line) {
  SymbolLoc location;
  location.path = path;
  location.start = start;
  location.end = end;
  location.line = line;
  return location;
}

TEST(LibraryStreamTest, RenamesTheDefinitionLineAndNumbersAsInTheFile) {
  const std::string text = "* lib\n.model QX NPN(BF=100)\n.subckt amp a b\n+ c\nR1 a b 1k\n.ends\n";
  kvtest::TempFile file(text);
  const int model = static_cast<int>(text.find(".model"));
  const int subckt = static_cast<int>(text.find(".subckt"));
  const int all = static_cast<int>(text.size());
  struct Case {
    int start, end, line;
    const char *name;
    std::vector<Line> expected;
  } cases[] = {
      {model, subckt, 2, "Q2N2222", {{2, ".model Q2N2222  NPN(BF=100)"}}},
      {model, subckt, 2, "qx", {{2, ".model QX NPN(BF=100)"}}},
      {model, subckt, 2, "", {{2, ".model QX NPN(BF=100)"}}},
      {subckt, all, 3, "opamp", {{3, ".subckt opamp  a b  c"}, {5, "R1 a b 1k"}, {6, ".ends"}}},
      // A range that starts at the comment: the first definition line is the
      // one renamed.
      {0, subckt, 1, "Q1", {{1, "* lib"}, {2, ".model Q1  NPN(BF=100)"}}},
      // A range ending inside a line yields the partial line, then the end.
      {model, model + 12, 2, "Q9", {{2, ".model Q9  NP"}}},
      {all + 10, all + 20, 9, "Q9", {}},
  };
  for (const Case &c : cases)
    EXPECT_EQ(readDefinition(at(file.path(), c.start, c.end, c.line), c.name), c.expected)
        << c.start << "-" << c.end << " " << c.name;

  EXPECT_TRUE(readDefinition(at("/nonexistent/dir/models.lib", 0, 10, 1), "X").empty());
}

// Comment and blank lines neither end nor extend a model; definitions inside
// a subcircuit are not listed; a name may stand in parentheses; a nameless
// model is none; a subcircuit left open runs to the end. As kind, name,
// start-end offsets and line.
TEST(LibraryStreamTest, IndexListsTopLevelDefinitions) {
  kvtest::TempFile file(".MODEL QA npn\n* c\n\n+ bf=100\n* t\n"
                        ".subckt outer a b\n.model inner d\n.subckt nested c\n.ends nested\n"
                        ".ends outer\n  .model (DB) d(is=1n)\r\n.model\n.ends\n.subckt open x");
  YVector<SymbolLoc> entries;
  ASSERT_TRUE(sp_IndexLibrary(file.path(), &entries));
  std::string listed;
  for (const SymbolLoc &e : entries)
    listed += std::to_string(e.kind) + e.name.tocs() + ":" + std::to_string(e.start) + "-" +
              std::to_string(e.end) + "@" + std::to_string(e.line) + " ";
  ASSERT_EQ(listed, "0QA:0-28@1 1outer:32-107@6 0DB:107-131@11 1open:144-158@14 ");
  EXPECT_STREQ(entries[0].path.tocs(), file.path());
  EXPECT_FALSE(sp_IndexLibrary("/nonexistent/dir/models.lib", &entries));
}

// The physical line numbers: 1 + the line feeds before each offset.
std::vector<int> lineStarts(const std::string &bytes) {
  std::vector<int> starts{0};
  for (size_t i = 0; i < bytes.size(); ++i)
    if (bytes[i] == '\n')
      starts.push_back(static_cast<int>(i + 1));
  return starts;
}

int lineAt(const std::vector<int> &starts, int offset) {
  return static_cast<int>(std::upper_bound(starts.begin(), starts.end(), offset) - starts.begin());
}

// The literal buffer holds every physical line as read: the file without its
// carriage returns and unreadable bytes, ended by a line feed.
std::string readableText(const std::string &bytes) {
  std::string text;
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    if (c == '\t' || c == '\n' || (c >= 32 && c <= 254))
      text += ch;
  }
  if (!text.empty() && text.back() != '\n')
    text += '\n';
  return text;
}

// Every file of the real-world corpus through both readers and the indexer.
// Line numbers never decrease and stay within `last`.
bool inOrderWithin(const std::vector<Line> &lines, int last) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].number > last || (i > 0 && lines[i].number < lines[i - 1].number))
      return false;
  return true;
}

// Every file of the real-world corpus through both readers and the indexer.
TEST(LibraryStreamTest, CorpusReadsConsistently) {
  const QString root = QStringLiteral(KV_TEST_CORPUS_DIR "/spice");
  if (!QFileInfo(root).isDir())
    GTEST_SKIP() << "no netlist corpus at " << root.toStdString();
  int files = 0, definitions = 0;
  QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const std::string path = it.next().toStdString();
    const std::string bytes = kvtest::readFile(path);
    const std::vector<int> starts = lineStarts(bytes);
    const int physicalLines = static_cast<int>(starts.size());
    ++files;

    for (SpiceLanguage language : {SPICE_NATIVE, SPICE_PSPICE, SPICE_HSPICE}) {
      SpiceStream reader(path.c_str(), language);
      ASSERT_TRUE(inOrderWithin(readNumberedLines(reader, nullptr, nullptr), physicalLines))
          << path;
      EXPECT_EQ(reader.getLineCount(), physicalLines - 1) << path;
    }
    NewSpiceStream reader(path.c_str());
    ASSERT_TRUE(inOrderWithin(readNumberedLines(reader), physicalLines)) << path;
    EXPECT_EQ(std::string(static_cast<const char *>(reader.getLitBuffer())), readableText(bytes))
        << path;

    YVector<SymbolLoc> entries;
    ASSERT_TRUE(sp_IndexLibrary(path.c_str(), &entries)) << path;
    for (const SymbolLoc &entry : entries) {
      ++definitions;
      ASSERT_EQ(entry.line, lineAt(starts, entry.start)) << path << " " << entry.name.tocs();
      ASSERT_LE(entry.end, static_cast<int>(bytes.size())) << path;
      for (const char *name : {"", "RENAMED_DEFINITION"}) {
        LibraryStream library(entry, YString(name));
        const std::vector<Line> lines = readNumberedLines(library);
        ASSERT_FALSE(lines.empty()) << path << " " << entry.name.tocs();
        EXPECT_EQ(lines[0].number, entry.line) << path;
        const char *cursor = lines[0].text.c_str();
        YString keyword = sp_GetToken(&cursor, " =(),\t", nullptr, nullptr, false);
        YString defined = sp_GetToken(&cursor, " =(),\t", nullptr, nullptr, false);
        EXPECT_STRCASEEQ(keyword.tocs(), entry.kind == SYMBOL_SUBCKT ? ".subckt" : ".model")
            << path;
        EXPECT_STREQ(defined.tocs(), *name ? name : entry.name.tocs()) << path;
        ASSERT_TRUE(inOrderWithin(lines, lineAt(starts, entry.end > 0 ? entry.end - 1 : 0)))
            << path << " " << entry.name.tocs();
      }
    }
  }
  EXPECT_GT(files, 700);
  EXPECT_GT(definitions, 1000);
}

} // namespace
