// Telling schematic and symbol files apart: the ascii form by its header
// line, the older binary form by the records at its start, and the tables
// that map version texts to what the restore code understands.
#include "kvsupport/netlist/SchematicFile.h"

#include "kvsupport/netlist/StandardLine.h"
#include "kvsupport/netlist/Tokenizer.h"
#include "kvsupport/streams/kvfstream.h"
#include "kvsupport/strings/Utf8File.h"
#include "netlist/StandardLine_p.h"

#include <cstdint>

namespace {

struct AsciiFormatRow {
  const char *format; // "*" matches any format
  int revision;       // -1 matches any revision
  SchematicFileVersion version;
  bool latest;
};

constexpr AsciiFormatRow kAsciiFormats[] = {
    {"1.0", 0, SFV_1_0_REV_1, false},     {"1.0", 1, SFV_1_0_REV_1, false},
    {"1.0", 2, SFV_1_0_REV_2, false},     {"1.0", 3, SFV_1_0_REV_3, false},
    {"1.0", 4, SFV_1_0_REV_4, false},     {"1.0", 5, SFV_1_0_REV_5, false},
    {"1.0", 6, SFV_1_0_REV_6, false},     {"1.0", 7, SFV_1_0_REV_7, false},
    {"1.0", 8, SFV_1_0_REV_8, true},      {"1.0", -1, SFV_1_0_NEWER, false},
    {"*", -1, SFV_UNKNOWN_FORMAT, false},
};

// The row marked latest, found while compiling so the exported constants
// are set before any code runs (no start-up order to get wrong).
constexpr AsciiFormatRow latestAsciiRow() {
  for (const AsciiFormatRow &row : kAsciiFormats)
    if (row.latest)
      return row;
  return {"*", -1, SFV_UNKNOWN_FORMAT, false};
}

struct RestoreRow {
  const char *text;
  int restoreVersion;
  bool restorable;
  const char *note;
};

constexpr RestoreRow kSchematicRestore[] = {
    {"4.27", 427, true, ""},    {"4.26", 426, true, ""},    {"4.25", 425, true, ""},
    {"4.24", 424, true, ""},    {"4.23", 423, true, ""},    {"4.22", 422, true, ""},
    {"4.21", 421, true, ""},    {"4.2", 420, true, ""},     {"4.12", 410, true, ""},
    {"4.1", 410, true, ""},     {"2.5", 250, true, ""},     {"1.2", 102, false, "7.2"},
    {"1.1", 101, false, "4.0"}, {"1.0", 100, false, "4.0"},
};

constexpr RestoreRow kSymbolLibRestore[] = {
    {"4.21", 421, true, ""},    {"4.2", 420, true, ""},    {"4.12", 410, true, ""},
    {"4.1", 410, true, ""},     {"2.5", 250, true, "7.2"}, {"1.1", 101, false, "7.2"},
    {"1.0", 100, false, "7.2"},
};

template <size_t N>
const RestoreRow *findRestoreRow(const RestoreRow (&table)[N], const char *text) {
  for (const RestoreRow &row : table)
    if (sp_stricmp(row.text, text) == 0)
      return &row;
  return nullptr;
}

template <size_t N> int restoreVersion(const RestoreRow (&table)[N], const YString &text) {
  if (const RestoreRow *row = findRestoreRow(table, text.tocs()))
    return row->restoreVersion;
  // An unknown 4.2x is newer than the tables: restore it as the newest.
  if (sp_strnicmp(text.tocs(), table[0].text, 3) == 0)
    return table[0].restoreVersion;
  return 0;
}

constexpr char kAsciiHeaderWord[] = "KelvantaFile";
constexpr char kSymbolSignature[] = "Kelvanta Component";
constexpr int kSignatureLimit = 60;
constexpr int kVersionLimit = 10;

// The version text of a binary file on `stream`, positioned at its start;
// empty when the start is no binary header that can be read in full.
YString binaryVersion(kvfstream &stream) {
  YString signature;
  if (!signature.restore(stream, kSignatureLimit))
    return YString();
  if (signature == kSymbolSignature) {
    YString name, skipped, version;
    if (!name.restore(stream, kVersionLimit))
      return YString();
    unsigned char bytes[4];
    if (stream.read(reinterpret_cast<char *>(bytes), sizeof bytes) != sizeof bytes)
      return YString();
    int64_t offset = static_cast<int32_t>(
        static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
        static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
    if (stream.tellg() != offset) {
      if (!skipped.restore(stream, kVersionLimit))
        return YString();
      if (offset < 0 || offset > stream.getFileSize() || stream.seekg(offset) != 0)
        return YString();
    }
    if (!version.restore(stream, kVersionLimit))
      return YString();
    return version;
  }
  for (const char *known : {"1.2", "1.1", "1.0", "2.5"})
    if (signature == known)
      return signature;
  return YString();
}

} // namespace

// constexpr: the compiler refuses anything but a constant initialisation.
constexpr const char *SCHEMATIC_ASCII_FORMAT = latestAsciiRow().format;
constexpr int SCHEMATIC_ASCII_FORMAT_REVISION = latestAsciiRow().revision;
constexpr SchematicFileVersion GLOBAL_LATEST_FILE_VERSION = latestAsciiRow().version;

SchematicFileVersion sp_GetAsciiSchematicFileVersion(const YString &format, int revision) {
  for (const AsciiFormatRow &row : kAsciiFormats) {
    bool formatMatches =
        sp_stricmp(row.format, format.tocs()) == 0 || (row.format[0] == '*' && !row.format[1]);
    if (formatMatches && (row.revision == revision || row.revision == -1))
      return row.version;
  }
  return SFV_UNKNOWN_FORMAT;
}

SchematicFileVersion sp_GetAsciiSchematicFileVersion(std::FILE *file, int *lineNumber) {
  StandardLine line;
  line.readLine(file, lineNumber);
  if (sp_stricmp(line.id().tocs(), kAsciiHeaderWord) != 0)
    return SFV_NOT_ASCII;
  int revision = 0;
  line.intPropValue("revision", &revision);
  return sp_GetAsciiSchematicFileVersion(line.propValue("format", SLE_RAW), revision);
}

void schem_GetSchematicFileVersion(const YString &path, SchematicFormatInfo *info) {
  if (!info)
    return;
  std::FILE *file = fopen_utf8(path.tocs(), "rb");
  if (!file) {
    *info = {"Failed", YString(), YString()};
    return;
  }
  StandardLine line;
  line.readLine(file, nullptr);
  if (sp_stricmp(line.id().tocs(), kAsciiHeaderWord) == 0) {
    YString revision = line.propValue("revision", SLE_RAW);
    *info = {"ASCII", line.propValue("format", SLE_RAW), revision.isEmpty() ? "1" : revision};
    std::fclose(file);
    return;
  }
  std::rewind(file);
  kvfstream stream(file, false); // owns the file from here
  YString version = binaryVersion(stream);
  if (version.isEmpty())
    *info = {"Unknown", YString(), YString()};
  else
    *info = {"Binary", version, YString()};
}

void schem_TestSchematicFormat(const YString &path, TestSchematicFormat *result) {
  if (!result)
    return;
  SchematicFormatInfo info;
  schem_GetSchematicFileVersion(path, &info);
  const char *kind = info.fileKind.tocs();
  result->fileFound = result->isSchematic = result->canRestore = false;
  if (sp_stricmp(kind, "binary") == 0) {
    result->fileFound = result->isSchematic = true;
    const RestoreRow *row = findRestoreRow(kSchematicRestore, info.format.tocs());
    result->canRestore = row ? row->restorable : true;
    if (row)
      result->versionNote = row->note;
  } else if (sp_stricmp(kind, "ascii") == 0) {
    result->fileFound = result->isSchematic = true;
    for (const AsciiFormatRow &row : kAsciiFormats)
      if (sp_stricmp(row.format, info.format.tocs()) == 0 && row.version != SFV_UNKNOWN_FORMAT) {
        result->canRestore = true;
        result->versionNote = YString();
        break;
      }
  } else if (sp_stricmp(kind, "unknown") == 0) {
    result->fileFound = true;
  }
}

int schem_GetRestoreVersion(const YString &versionText) {
  return restoreVersion(kSchematicRestore, versionText);
}

int schem_GetSymbolLibRestoreVersion(const YString &versionText) {
  return restoreVersion(kSymbolLibRestore, versionText);
}

YString sp_GetLatestBinarySchematicVersion() { return kSchematicRestore[0].text; }
YString sp_GetLatestBinarySymbolLibVersion() { return kSymbolLibRestore[0].text; }

YString support_BuildSimulatorTypeString(SimulatorType type) {
  YString text;
  if (type & SIMULATOR_QUORVIN)
    text = "QUORVIN";
  if (type & SIMULATOR_KELVANTA)
    text = text.isEmpty() ? YString("Kelvanta") : (text &= "|Kelvanta");
  return text;
}

SimulatorType support_CrackSimulatorType(const char *text) {
  int flags = 0;
  if (!text || !*text)
    return SimulatorType(0);
  YArray<YString> parts;
  sp_SplitLine(text, '|', &parts, 0);
  for (int64_t i = 0; i < parts.size(); ++i) {
    if (sp_stricmp(parts[i].tocs(), "QUORVIN") == 0)
      flags |= SIMULATOR_QUORVIN;
    else if (sp_stricmp(parts[i].tocs(), "Kelvanta") == 0)
      flags |= SIMULATOR_KELVANTA;
  }
  return static_cast<SimulatorType>(flags);
}
