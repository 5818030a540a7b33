#include "kvsupport/netlist/SchematicFile.h"

#include "common/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// A record as YString::save writes it: a 16-bit little-endian length, the bytes.
std::string record(const std::string &text) {
  std::string out;
  out += static_cast<char>(text.size() & 0xFF);
  out += static_cast<char>(text.size() >> 8);
  return out + text;
}

std::string le32(int32_t value) {
  auto v = static_cast<uint32_t>(value);
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

// A symbol file header: signature, name, offset of the version, optionally a
// skipped record, the version.
std::string symbolHeader(const std::string &version, bool skip, int32_t offset = -1) {
  std::string head = record("Kelvanta Component") + record("name");
  std::string skipped = skip ? record("skip") : "";
  if (offset == -1)
    offset = static_cast<int32_t>(head.size() + 4 + skipped.size());
  return head + le32(offset) + skipped + record(version);
}

TEST(SchematicFileTest, AsciiVersionTable) {
  struct Case {
    const char *format;
    int revision;
    SchematicFileVersion version;
  } cases[] = {
      {"1.0", 0, SFV_1_0_REV_1},      {"1.0", 1, SFV_1_0_REV_1},   {"1.0", 2, SFV_1_0_REV_2},
      {"1.0", 8, SFV_1_0_REV_8},      {"1.0", 9, SFV_1_0_NEWER},   {"1.0", -1, SFV_1_0_NEWER},
      {"2.0", 1, SFV_UNKNOWN_FORMAT}, {"", 8, SFV_UNKNOWN_FORMAT},
  };
  for (const Case &c : cases)
    EXPECT_EQ(sp_GetAsciiSchematicFileVersion(c.format, c.revision), c.version)
        << c.format << " " << c.revision;
}

TEST(SchematicFileTest, AsciiVersionOfAnOpenFile) {
  struct Case {
    std::string bytes;
    SchematicFileVersion version;
  } cases[] = {
      {"\nkelvantafile type=Schematic format=1.0 revision=5\n", SFV_1_0_REV_5},
      {"KelvantaFile format=1.0 revision=99999999999\n", SFV_1_0_NEWER},
      {"Kelvanta File format=1.0\n", SFV_NOT_ASCII},
      {"", SFV_NOT_ASCII},
  };
  for (const Case &c : cases) {
    std::FILE *file = std::tmpfile();
    std::fwrite(c.bytes.data(), 1, c.bytes.size(), file);
    std::rewind(file);
    int line = 0;
    EXPECT_EQ(sp_GetAsciiSchematicFileVersion(file, &line), c.version) << c.bytes;
    std::fclose(file);
  }
}

TEST(SchematicFileTest, RestoreVersions) {
  struct Case {
    const char *text;
    int schematic, symbolLib;
  } cases[] = {
      {"4.27", 427, 421}, {"4.12", 410, 410}, {"4.2", 420, 420}, {"4.2x", 427, 421},
      {"4.3", 0, 0},      {"1.2", 102, 0},    {"4.", 0, 0},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(schem_GetRestoreVersion(c.text), c.schematic) << c.text;
    EXPECT_EQ(schem_GetSymbolLibRestoreVersion(c.text), c.symbolLib) << c.text;
  }
}

TEST(SchematicFileTest, SimulatorTypesRoundTrip) {
  EXPECT_EQ(support_CrackSimulatorType("QUORVIN||other|"), SIMULATOR_QUORVIN);
  EXPECT_EQ(support_CrackSimulatorType(nullptr), 0);
  const char *names[] = {"", "Kelvanta", "QUORVIN", "QUORVIN|Kelvanta"};
  for (int flags = 0; flags < 4; ++flags) {
    YString text = support_BuildSimulatorTypeString(static_cast<SimulatorType>(flags));
    EXPECT_EQ(text, names[flags]);
    EXPECT_EQ(support_CrackSimulatorType(text.tolower().tocs()), flags);
  }
}

class SchematicFileKindTest : public ::testing::Test {
protected:
  std::string file(const std::string &bytes) {
    std::string path = dir_.path().toStdString() + "/" + std::to_string(count_++);
    kvtest::writeFile(path, bytes);
    return path;
  }
  std::string kindOf(const std::string &path) {
    SchematicFormatInfo info;
    schem_GetSchematicFileVersion(path.c_str(), &info);
    return std::string(info.fileKind.tocs()) + "|" + info.format.tocs() + "|" +
           info.revision.tocs();
  }
  QTemporaryDir dir_;
  int count_ = 0;
};

TEST_F(SchematicFileKindTest, IdentifiesEachKind) {
  struct Case {
    std::string bytes, kind;
    bool found, schematic, restorable;
    const char *note; // "keep" when left as it was
  } cases[] = {
      {"KelvantaFile type=Schematic format=1.0 revision=8\n", "ASCII|1.0|8", 1, 1, 1, ""},
      {"\r\n KELVANTAFILE format=1.0\n", "ASCII|1.0|1", 1, 1, 1, ""},
      {"KelvantaFile format=2.0 revision=1\n", "ASCII|2.0|1", 1, 1, 0, "keep"},
      {record("1.2") + "body", "Binary|1.2|", 1, 1, 0, "7.2"},
      {record("2.5") + "\n\n", "Binary|2.5|", 1, 1, 1, ""},
      {record("2.6"), "Unknown||", 1, 0, 0, "keep"},
      {symbolHeader("4.21", false), "Binary|4.21|", 1, 1, 1, ""},
      {symbolHeader("4.3", true), "Binary|4.3|", 1, 1, 1, "keep"},
      {symbolHeader("2.5", true, 20) + "more", "Binary|name|", 1, 1, 1, "keep"},
      {symbolHeader("", false), "Unknown||", 1, 0, 0, "keep"},
      {symbolHeader("4.2", true, 1000), "Unknown||", 1, 0, 0, "keep"},
      {std::string("\xFF\xFF", 2) + "x", "Unknown||", 1, 0, 0, "keep"},
      {"", "Unknown||", 1, 0, 0, "keep"},
  };
  for (const Case &c : cases) {
    std::string path = file(c.bytes);
    EXPECT_EQ(kindOf(path), c.kind) << c.kind;
    TestSchematicFormat test;
    test.versionNote = "keep";
    schem_TestSchematicFormat(path.c_str(), &test);
    EXPECT_EQ(test.fileFound, c.found) << c.kind;
    EXPECT_EQ(test.isSchematic, c.schematic) << c.kind;
    EXPECT_EQ(test.canRestore, c.restorable) << c.kind;
    EXPECT_EQ(test.versionNote, c.note) << c.kind;
  }
}

// Every cut of a symbol header short of its end is no binary file, never a
// "Binary" kind with an empty or half-read version.
TEST_F(SchematicFileKindTest, TruncatedSymbolHeadersAreUnknown) {
  for (bool skip : {false, true}) {
    std::string header = symbolHeader("4.21", skip);
    for (size_t size = 0; size < header.size(); ++size)
      EXPECT_EQ(kindOf(file(header.substr(0, size))), "Unknown||") << size;
    EXPECT_EQ(kindOf(file(header)), "Binary|4.21|");
  }
}

TEST_F(SchematicFileKindTest, UnreadablePathsFail) {
  TestSchematicFormat test;
  for (const std::string &path : {dir_.path().toStdString(), dir_.path().toStdString() + "/no"}) {
    EXPECT_EQ(kindOf(path), "Failed||");
    test.fileFound = test.isSchematic = test.canRestore = true;
    schem_TestSchematicFormat(path.c_str(), &test);
    EXPECT_FALSE(test.fileFound || test.isSchematic || test.canRestore);
  }
}

} // namespace
