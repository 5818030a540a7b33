// Schematic file identification on arbitrary files. Checks: the kind is one
// of the four; binary files name a version, other kinds none; the format
// test finds every file that could be opened and calls only files of a
// known kind schematics.
#include "kvsupport/netlist/SchematicFile.h"
#include "kvsupport/netlist/StandardLine.h"

#include "FuzzSupport.h"

#include <cstdint>
#include <cstdio>
#include <string>

using kvfuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string &path = kvfuzz::scratchFile("SchematicFile");
  if (!kvfuzz::writeScratchFile("SchematicFile", std::string(reinterpret_cast<const char *>(data), size)))
    return 0;

  SchematicFormatInfo info;
  schem_GetSchematicFileVersion(path.c_str(), &info);
  const YString &kind = info.fileKind;
  check(kind == "ASCII" || kind == "Binary" || kind == "Unknown" || kind == "Failed",
        "one of the four kinds");
  if (kind == "Binary")
    check(!info.format.isEmpty() && info.format.length() <= 60 && info.revision.isEmpty(),
          "a binary file names its version");
  if (kind == "Unknown" || kind == "Failed")
    check(info.format.isEmpty() && info.revision.isEmpty(), "no version without a kind");
  if (kind == "ASCII")
    check(!info.revision.isEmpty(), "an ascii revision defaults to 1");

  TestSchematicFormat test;
  schem_TestSchematicFormat(path.c_str(), &test);
  check(test.fileFound == (kind != "Failed"), "fileFound false only when Failed");
  check(test.isSchematic == (kind == "ASCII" || kind == "Binary"), "schematics are of a kind");
  check(!test.canRestore || test.isSchematic, "only schematics restore");

  bool ascii = StandardLine::isKelvantaAsciiFile(path.c_str());
  (void)ascii;
  return 0;
}
