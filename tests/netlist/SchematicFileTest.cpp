#include "kvsupport/netlist/SchematicFile.h"

#include "common/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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

// The version of a format and revision, and of the header line of a file.
TEST(SchematicFileTest, AsciiVersions) {
  struct Case {
    const char *format;
    int revision;
    SchematicFileVersion version;
  } cases[] = {
      {"1.0", 0, SFV_1_0_REV_1},  {"1.0", 8, SFV_1_0_REV_8},      {"1.0", 9, SFV_1_0_NEWER},
      {"1.0", -1, SFV_1_0_NEWER}, {"2.0", 1, SFV_UNKNOWN_FORMAT}, {"", 8, SFV_UNKNOWN_FORMAT},
  };
  for (const Case &c : cases)
    EXPECT_EQ(sp_GetAsciiSchematicFileVersion(c.format, c.revision), c.version)
        << c.format << " " << c.revision;
  for (const auto &[bytes, version] : std::vector<std::pair<std::string, SchematicFileVersion>>{
           {"\nkelvantafile type=Schematic format=1.0 revision=5\n", SFV_1_0_REV_5},
           {"Kelvanta File format=1.0\n", SFV_NOT_ASCII}}) {
    std::FILE *file = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    int line = 0;
    EXPECT_EQ(sp_GetAsciiSchematicFileVersion(file, &line), version) << bytes;
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
  // The kind, format and revision, then what the format test says: found,
  // schematic, restorable and the version note ("keep" when left as it was).
  std::string kindOf(const std::string &path) {
    SchematicFormatInfo info;
    schem_GetSchematicFileVersion(path.c_str(), &info);
    TestSchematicFormat test;
    test.versionNote = "keep";
    schem_TestSchematicFormat(path.c_str(), &test);
    return std::string(info.fileKind.tocs()) + "|" + info.format.tocs() + "|" +
           info.revision.tocs() + " " + std::to_string(test.fileFound) +
           std::to_string(test.isSchematic) + std::to_string(test.canRestore) + " " +
           test.versionNote.tocs();
  }
  QTemporaryDir dir_;
  int count_ = 0;
};

TEST_F(SchematicFileKindTest, IdentifiesEachKind) {
  const std::pair<std::string, const char *> cases[] = {
      {"KelvantaFile type=Schematic format=1.0 revision=8\n", "ASCII|1.0|8 111 "},
      {"\r\n KELVANTAFILE format=1.0\n", "ASCII|1.0|1 111 "},
      {"KelvantaFile format=2.0 revision=1\n", "ASCII|2.0|1 110 keep"},
      {record("1.0") + "body", "Binary|1.0| 110 4.0"},
      {record("2.5") + "\n\n", "Binary|2.5| 111 "},
      {record("2.6"), "Unknown|| 100 keep"},
      {symbolHeader("4.3", true), "Binary|4.3| 111 keep"},
      {symbolHeader("2.5", true, 20) + "more", "Binary|name| 111 keep"},
      {symbolHeader("", false), "Unknown|| 100 keep"},
      {symbolHeader("4.2", true, 1000), "Unknown|| 100 keep"},
  };
  for (const auto &[bytes, kind] : cases)
    EXPECT_EQ(kindOf(file(bytes)), kind);
  for (const std::string v :
       {"4.27", "4.26", "4.25", "4.24", "4.23", "4.22", "4.21", "4.2", "4.12", "4.1"})
    EXPECT_EQ(kindOf(file(symbolHeader(v, false))), "Binary|" + v + "| 111 ") << "restorable";
  // Every cut of a symbol header short of its end is no binary file, never a
  // "Binary" kind with an empty or half-read version.
  for (bool skip : {false, true}) {
    std::string header = symbolHeader("4.21", skip);
    for (size_t size = 0; size < header.size(); ++size)
      EXPECT_EQ(kindOf(file(header.substr(0, size))), "Unknown|| 100 keep") << size;
  }
  // Unreadable paths: a directory, a missing file.
  EXPECT_EQ(kindOf(dir_.path().toStdString()), "Failed|| 000 keep");
  EXPECT_EQ(kindOf(dir_.path().toStdString() + "/no"), "Failed|| 000 keep");
}

} // namespace
