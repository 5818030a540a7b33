// kvtool symbols: the system path symbols, the translation of paths that
// begin with one, and the system values table.
#include "Command.h"

#include <kvsupport/support/SystemSymbols.h>
#include <kvsupport/support/SystemValues.h>

#include <cstdio>
#include <string>

namespace kvtool {
namespace {

const char kName[] = "symbols";

int listSymbols(bool portable) {
  YString names;
  sp_GetSystemPathSymbolValue(nullptr, &names, portable);
  YList<YString> list;
  YString::tokenize(&names, ';', &list);
  for (const YString &name : list) {
    YString value;
    sp_GetSystemPathSymbolValue(name.tocs(), &value, portable);
    std::printf("%s\t%s\n", name.tocs(), value.tocs());
  }
  return ExitOk;
}

int values(const Args &names) {
  if (names.empty()) {
    for (int i = 0; i < sp_GetSystemValueCount(); ++i) {
      YString name, value;
      sp_GetSystemValueRow(i, &name, &value, nullptr);
      std::printf("%s\t%s\n", name.tocs(), value.tocs());
    }
    return ExitOk;
  }
  int result = ExitOk;
  for (const std::string &name : names) {
    bool found = false;
    const YString value = sp_GetSystemValue(YString(name.c_str()), &found);
    if (found)
      std::printf("%s\t%s\n", name.c_str(), value.tocs());
    else
      result = ExitFailure;
  }
  return result;
}

int run(const Args &args) {
  bool portable = false;
  Args rest;
  for (const std::string &arg : args) {
    if (arg == "--portable")
      portable = true;
    else if (arg.size() > 1 && arg[0] == '-' && rest.empty())
      return usageError(kName, "unknown option " + arg);
    else
      rest.push_back(arg);
  }
  if (rest.empty())
    return listSymbols(portable);
  const std::string action = rest[0];
  rest.erase(rest.begin());
  if (portable)
    return usageError(kName, "--portable goes with the list of symbols only");
  if (action == "translate") {
    if (rest.empty())
      return usageError(kName, "no path given");
    for (const std::string &path : rest) {
      YString result;
      sp_TranslateSystemPath(path.c_str(), &result);
      std::printf("%s\t%s\n", path.c_str(), result.tocs());
    }
    return ExitOk;
  }
  if (action == "values")
    return values(rest);
  return usageError(kName, "unknown action " + action);
}

const CommandRegistration registration(
    {kName, "[--portable] | translate PATH... | values [NAME...]",
     "prints the system path symbols, paths with their leading symbol expanded, or system "
     "values",
     run});

} // namespace
} // namespace kvtool
