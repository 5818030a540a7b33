// kvtool filter: file-dialog filter entries built from a "name|patterns|..." text.
#include "Command.h"

#include <kvsupport/netlist/Wildcards.h>

#include <cstdio>

namespace kvtool {
namespace {

int run(const Args &args) {
  std::string separator = " ";
  Args rest;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (optionsEnded || arg.rfind("--", 0) != 0)
      rest.push_back(arg);
    else if (arg == "--")
      optionsEnded = true;
    else if (arg == "--sep" && i + 1 < args.size())
      separator = args[++i];
    else
      return usageError("filter", "unknown option or missing value: " + arg);
  }
  if (rest.size() != 1)
    return usageError("filter", "give exactly one filter text");
  YArray<YString> entries;
  sp_CompileFilter(rest[0].c_str(), &entries, separator.c_str());
  for (int64_t i = 0; i < entries.size(); ++i)
    std::printf("%s\n", entries[i].tocs());
  return ExitOk;
}

const CommandRegistration registration(
    {"filter", "[--sep TEXT] FILTERS",
     "the file-dialog entries of NAME|PATTERN;PATTERN|... (patterns joined by TEXT, default a "
     "blank)",
     run});

} // namespace
} // namespace kvtool
