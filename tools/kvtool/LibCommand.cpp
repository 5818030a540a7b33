// kvtool lib: the index of a model library (one "kind<TAB>name<TAB>start
// <TAB>end<TAB>line" line per definition), or one definition read back
// through the library reader, renamed when asked.
#include "Command.h"

#include <kvsupport/netlist/LibraryIndex.h>
#include <kvsupport/netlist/LibraryStream.h>

#include <cstdio>
#include <cstring>

namespace kvtool {
namespace {

int run(const Args &args) {
  bool index = false, numbers = false;
  Args words;
  for (const std::string &arg : args) {
    if (arg == "--index")
      index = true;
    else if (arg == "--numbers")
      numbers = true;
    else if (arg.rfind("--", 0) == 0)
      return usageError("lib", "unknown option: " + arg);
    else
      words.push_back(arg);
  }
  if (index ? words.size() != 1 : words.size() < 2 || words.size() > 3)
    return usageError("lib", index ? "--index takes one file" : "give FILE NAME [AS]");

  YVector<SymbolLoc> entries;
  if (!sp_IndexLibrary(words[0].c_str(), &entries)) {
    std::fprintf(stderr, "kvtool lib: cannot open %s\n", words[0].c_str());
    return ExitFailure;
  }
  if (index) {
    for (const SymbolLoc &entry : entries)
      std::printf("%s\t%s\t%d\t%d\t%d\n", entry.kind == SYMBOL_SUBCKT ? "subckt" : "model",
                  entry.name.tocs(), entry.start, entry.end, entry.line);
    return std::fflush(stdout) == 0 ? ExitOk : ExitFailure;
  }

  const SymbolLoc *found = nullptr;
  for (const SymbolLoc &entry : entries) {
    if (sp_stricmp(entry.name.tocs(), words[1].c_str()) == 0) {
      found = &entry;
      break;
    }
  }
  if (!found) {
    std::fprintf(stderr, "kvtool lib: no definition %s in %s\n", words[1].c_str(),
                 words[0].c_str());
    return ExitFailure;
  }
  LibraryStream reader(*found, YString(words.size() == 3 ? words[2].c_str() : ""));
  YString line;
  int number = 0;
  while (reader.gets(&line, &number)) {
    if (numbers)
      std::printf("%d\t", number);
    std::fwrite(line.tocs(), 1, std::strlen(line.tocs()), stdout);
    std::fputc('\n', stdout);
    reader.flushLitBuffer();
  }
  return std::fflush(stdout) == 0 ? ExitOk : ExitFailure;
}

const CommandRegistration registration(
    {"lib", "--index FILE | [--numbers] FILE NAME [AS]",
     "lists the .model/.subckt definitions of a library (kind, name, start, end, line), or "
     "prints definition NAME (renamed to AS)",
     run});

} // namespace
} // namespace kvtool
