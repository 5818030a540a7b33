// kvtool match: wildcard and regular-expression searches as the front end
// runs them.
#include "Command.h"

#include <kvsupport/netlist/Wildcards.h>

#include <cstdio>

namespace kvtool {
namespace {

int run(const Args &args) {
  enum { Glob, Regexp, Show } mode = Glob;
  Args rest;
  bool optionsEnded = false;
  for (const std::string &arg : args) {
    if (optionsEnded || arg.rfind("--", 0) != 0)
      rest.push_back(arg);
    else if (arg == "--")
      optionsEnded = true;
    else if (arg == "--regexp")
      mode = Regexp;
    else if (arg == "--show")
      mode = Show;
    else
      return usageError("match", "unknown option: " + arg);
  }
  if (mode == Show) {
    if (rest.size() != 1)
      return usageError("match", "--show takes exactly one pattern");
    std::printf("%s\n", sp_GlobToRegExp(rest[0].c_str()).tocs());
    return ExitOk;
  }
  if (rest.size() < 2)
    return usageError("match", "give a pattern and at least one text");
  const char *pattern = rest[0].c_str();
  for (size_t i = 1; i < rest.size(); ++i) {
    const char *text = rest[i].c_str();
    if (mode == Regexp)
      std::printf("%d\t%s\n", sp_RegexpMatch(pattern, text), text);
    else
      std::printf("%d\t%d\t%d\t%s\n", sp_GlobMatch(pattern, text),
                  sp_FilterString(text, pattern, false) ? 1 : 0,
                  sp_FilterString(text, pattern, true) ? 1 : 0, text);
  }
  return ExitOk;
}

const CommandRegistration registration(
    {"match", "PATTERN NAME... | --regexp PATTERN TEXT... | --show PATTERN",
     "per NAME: glob position, whole-name filter ignoring case and with case (1/0), NAME; "
     "--regexp: regular-expression position, TEXT; --show: the pattern's regular expression",
     run});

} // namespace
} // namespace kvtool
