// The ascii line reader on arbitrary files. Checks: the line counter never
// goes back and ends at the number of line feeds; identifiers and property
// names are single words (names non-empty, without blank, tab, '=', CR or
// LF); an object that cannot be read leaves no lines, and skipping it agrees
// with reading it; the header version is one of the known versions.
#include "kvsupport/netlist/SchematicFile.h"
#include "kvsupport/netlist/StandardLine.h"

#include "FuzzSupport.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using kvfuzz::check;

bool hasAny(const YString &text, const char *characters) {
  return std::strpbrk(text.tocs(), characters) != nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string &path = kvfuzz::scratchFile("StandardLine");
  if (!kvfuzz::writeScratchFile("StandardLine", std::string(reinterpret_cast<const char *>(data), size)))
    return 0;
  const int lineFeeds = static_cast<int>(std::count(data, data + size, '\n'));

  std::FILE *file = std::fopen(path.c_str(), "rb");
  StandardLine line;
  int number = 0, before = 0;
  while (line.readLine(file, &number)) {
    check(number >= before && number <= lineFeeds, "line counter within the line feeds");
    before = number;
    check(!hasAny(line.id(), " \t\r\n"), "identifier is one word");
    for (const StandardLineProperty &property : line.properties()) {
      check(!property.name.isEmpty(), "property name non-empty");
      check(!hasAny(property.name, " \t=\r\n"), "property name is one word");
      check(!hasAny(property.value, "\r"), "carriage returns dropped");
    }
  }
  check(number == lineFeeds, "every line feed counted");

  // Objects: read each one a line opens, then the same by skipping.
  std::rewind(file);
  std::FILE *second = std::fopen(path.c_str(), "rb");
  StandardLine other;
  while (line.readLine(file, nullptr)) {
    check(other.readLine(second, nullptr) && other.id() == line.id(), "both passes in step");
    YList<YString> lines;
    bool found = line.readObject(file, &lines);
    check(found ? lines.count() >= 1 && lines.first() == line.id() : lines.isEmpty(),
          "object lines start with the identifier, or are none");
    check(other.skipObject(second) == found, "skipping agrees with reading");
  }
  std::fclose(second);

  std::rewind(file);
  int version = sp_GetAsciiSchematicFileVersion(file, nullptr);
  check(version >= 0 && version <= 10, "version in range");
  std::fclose(file);

  YString text;
  file = std::fopen(path.c_str(), "rb");
  while (sp_ReadNextNonBlankLine(file, &text, nullptr))
    check(!text.isEmpty() && !hasAny(text, "\r\n") &&
              std::strspn(text.tocs(), " \t") < static_cast<size_t>(text.length()),
          "lines are non-blank, without CR or LF");
  std::fclose(file);
  return 0;
}
