// kvtool netlist and kvtool newnetlist: the logical lines of a netlist as the
// two netlist readers hand them out, one per output line, written as the
// raw bytes they are; with --numbers each is preceded by its physical line
// number and a tab.
#include "Command.h"

#include <kvsupport/netlist/NewSpiceStream.h>
#include <kvsupport/netlist/SpiceStream.h>

#include <cstdio>
#include <cstring>

namespace kvtool {
namespace {

void writeLine(const YString &line, int number, bool numbers) {
  if (numbers)
    std::printf("%d\t", number);
  std::fwrite(line.tocs(), 1, std::strlen(line.tocs()), stdout);
  std::fputc('\n', stdout);
}

bool readable(const char *command, const std::string &path) {
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (!file) {
    std::fprintf(stderr, "kvtool %s: cannot open %s\n", command, path.c_str());
    return false;
  }
  std::fclose(file);
  return true;
}

int runNetlist(const Args &args) {
  SpiceLanguage language = SPICE_NATIVE;
  bool numbers = false;
  Args files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (arg == "--numbers") {
      numbers = true;
    } else if (arg == "--dialect" && i + 1 < args.size()) {
      const std::string &dialect = args[++i];
      if (dialect == "native")
        language = SPICE_NATIVE;
      else if (dialect == "pspice")
        language = SPICE_PSPICE;
      else if (dialect == "hspice")
        language = SPICE_HSPICE;
      else
        return usageError("netlist", "unknown dialect: " + dialect);
    } else if (arg.rfind("--", 0) == 0) {
      return usageError("netlist", "unknown option or missing value: " + arg);
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 1)
    return usageError("netlist", "give exactly one file");
  if (!readable("netlist", files[0]))
    return ExitFailure;
  SpiceStream reader(files[0].c_str(), language);
  YString line;
  int number = 0;
  while (reader.gets(&line, &number, nullptr, nullptr)) {
    writeLine(line, number, numbers);
    reader.flushBuffer(); // the echo is not needed here
  }
  return std::fflush(stdout) == 0 ? ExitOk : ExitFailure;
}

int runNewNetlist(const Args &args) {
  bool numbers = false;
  Args files;
  for (const std::string &arg : args) {
    if (arg == "--numbers")
      numbers = true;
    else if (arg.rfind("--", 0) == 0)
      return usageError("newnetlist", "unknown option: " + arg);
    else
      files.push_back(arg);
  }
  if (files.size() != 1)
    return usageError("newnetlist", "give exactly one file");
  if (!readable("newnetlist", files[0]))
    return ExitFailure;
  NewSpiceStream reader(files[0].c_str());
  YString line;
  int number = 0;
  while (reader.gets(&line, &number)) {
    writeLine(line, number, numbers);
    reader.flushLitBuffer();
  }
  return std::fflush(stdout) == 0 ? ExitOk : ExitFailure;
}

const CommandRegistration netlistRegistration(
    {"netlist", "[--dialect native|pspice|hspice] [--numbers] FILE",
     "prints the logical lines of a netlist (comments dropped, continuations joined)", runNetlist});

const CommandRegistration newNetlistRegistration(
    {"newnetlist", "[--numbers] FILE",
     "prints the logical lines of a netlist, keeping '*' comment lines", runNewNetlist});

} // namespace
} // namespace kvtool
