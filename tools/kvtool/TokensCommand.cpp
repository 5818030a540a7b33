// kvtool tokens: cuts a line into words the way the netlist readers do.
#include "Command.h"

#include <kvsupport/netlist/Tokenizer.h>

#include <cstdio>

namespace kvtool {
namespace {

int run(const Args &args) {
  std::string delimiters, openQuotes, closeQuotes;
  bool quoting = false, keep = false, nest = false;
  Args lines;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (optionsEnded || arg.rfind("--", 0) != 0) {
      lines.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--delims" && i + 1 < args.size()) {
      delimiters = args[++i];
    } else if (arg == "--quotes" && i + 2 < args.size()) {
      openQuotes = args[++i];
      closeQuotes = args[++i];
      quoting = true;
    } else if (arg == "--keep") {
      keep = true;
    } else if (arg == "--nest") {
      nest = true;
    } else {
      return usageError("tokens", "unknown option or missing value: " + arg);
    }
  }
  if (lines.size() != 1)
    return usageError("tokens", "give exactly one line");

  ScanSpec spec{" \t",
                quoting ? openQuotes.c_str() : nullptr,
                quoting ? closeQuotes.c_str() : nullptr,
                delimiters.c_str(),
                keep,
                nest};
  YArray<ScanToken> tokens;
  sp_ScanLine(lines[0].c_str(), spec, &tokens, -1);
  for (int64_t i = 0; i < tokens.size(); ++i) {
    const ScanToken &token = tokens[i];
    if (token.delimiter)
      std::printf("D\t%c\n", static_cast<char>(token.delimiter));
    else
      std::printf("W\t%s\n", token.text.tocs());
  }
  return ExitOk;
}

const CommandRegistration registration(
    {"tokens", "[--delims CHARS] [--quotes OPEN CLOSE] [--keep] [--nest] LINE",
     "prints the words of LINE (separated by blanks and tabs): W<tab>word or D<tab>delimiter",
     run});

} // namespace
} // namespace kvtool
