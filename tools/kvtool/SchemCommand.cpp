// kvtool schem: what the schematic readers make of files.
#include "Command.h"

#include <kvsupport/netlist/EscapeCoding.h>
#include <kvsupport/netlist/SchematicFile.h>
#include <kvsupport/netlist/StandardLine.h>
#include <kvsupport/strings/Utf8File.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kvtool {
namespace {

int identify(const Args &paths) {
  int result = ExitOk;
  for (const std::string &path : paths) {
    SchematicFormatInfo info;
    schem_GetSchematicFileVersion(path.c_str(), &info);
    TestSchematicFormat test;
    schem_TestSchematicFormat(path.c_str(), &test);
    YString type;
    int version = SFV_NOT_ASCII;
    if (info.fileKind == "ASCII") {
      if (std::FILE *file = fopen_utf8(path.c_str(), "rb")) {
        StandardLine header;
        header.readLine(file, nullptr);
        type = header.propValue("type", SLE_RAW);
        std::rewind(file);
        version = sp_GetAsciiSchematicFileVersion(file, nullptr);
        std::fclose(file);
      }
    }
    if (info.fileKind == "Failed")
      result = ExitFailure;
    std::printf("%s\t%s\t%s\t%s\t%d\t%d\t%s\t%s\n", info.fileKind.tocs(), type.tocs(),
                info.format.tocs(), info.revision.tocs(), version, test.canRestore ? 1 : 0,
                test.versionNote.tocs(), path.c_str());
  }
  return result;
}

int listLines(const std::string &path) {
  std::FILE *file = fopen_utf8(path.c_str(), "rb");
  if (!file) {
    std::fprintf(stderr, "kvtool schem: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return ExitFailure;
  }
  StandardLine line;
  int number = 0;
  while (line.readLine(file, &number)) {
    std::printf("%d\t%s", number, line.id().tocs());
    for (const StandardLineProperty &property : line.properties())
      std::printf("\t%s=\"%s\"", property.name.tocs(), sp_ConvertToCString(property.value).tocs());
    std::printf("\n");
  }
  std::fclose(file);
  return ExitOk;
}

int run(const Args &args) {
  if (!args.empty() && args[0] == "--lines") {
    if (args.size() != 2)
      return usageError("schem", "--lines takes exactly one file");
    return listLines(args[1]);
  }
  if (!args.empty() && args[0] == "--restore") {
    if (args.size() < 2)
      return usageError("schem", "--restore takes at least one version text");
    for (size_t i = 1; i < args.size(); ++i)
      std::printf("%d\t%d\t%s\n", schem_GetRestoreVersion(args[i].c_str()),
                  schem_GetSymbolLibRestoreVersion(args[i].c_str()), args[i].c_str());
    return ExitOk;
  }
  Args paths;
  bool optionsEnded = false;
  for (const std::string &arg : args) {
    if (optionsEnded || arg.rfind("--", 0) != 0)
      paths.push_back(arg);
    else if (arg == "--")
      optionsEnded = true;
    else
      return usageError("schem", "unknown option: " + arg);
  }
  if (paths.empty())
    return usageError("schem", "give at least one file");
  return identify(paths);
}

const CommandRegistration registration(
    {"schem", "FILE... | --lines FILE | --restore TEXT...",
     "per FILE: kind, header type, format, revision, ascii version, restorable (1/0), note, "
     "FILE (exit 1 if one failed); --lines: counter, identifier and properties of each line; "
     "--restore: schematic and symbol-library restore versions",
     run});

} // namespace
} // namespace kvtool
