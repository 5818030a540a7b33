// kvtool option: reads, writes and deletes one option.
#include "Command.h"
#include "ConfigArgs.h"

#include <kvsupport/netlist/EngineeringNumbers.h>
#include <kvsupport/support/Options.h>

#include <cstdio>
#include <string>

namespace kvtool {
namespace {

const char kName[] = "option";

OptionType definedType(const char *name) {
  std::pair<const char *, OptionType> found{name, OptionUnknown};
  sp_ForEachOptionDefinition(
      [](const OptionDefinition &d, void *data) {
        auto *f = static_cast<std::pair<const char *, OptionType> *>(data);
        if (f->second == OptionUnknown && sp_stricmp(d.name.tocs(), f->first) == 0)
          f->second = d.type;
      },
      &found);
  return found.second;
}

int run(const Args &args) {
  Args words, rest;
  if (const int error = applyConfigArgs(kName, args, &words))
    return error;
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "--") {
      rest.insert(rest.end(), words.begin() + static_cast<long>(i) + 1, words.end());
      break;
    }
    if (words[i].size() > 1 && words[i][0] == '-')
      return usageError(kName, "unknown option " + words[i]);
    rest.push_back(words[i]);
  }
  if (rest.size() == 2 && rest[0] == "get") {
    const char *name = rest[1].c_str();
    if (!sp_OptionExists(YString(name)))
      return ExitFailure;
    bool defined = false;
    std::printf("%s\n", optionValueText(name, &defined).c_str());
    return ExitOk;
  }
  if (rest.size() == 3 && rest[0] == "set") {
    const YString name(rest[1].c_str());
    const std::string &text = rest[2];
    switch (definedType(rest[1].c_str())) {
    case OptionReal: {
      char *cursor = const_cast<char *>(text.c_str());
      bool failed = true;
      const double value = sp_GetEngToken(&cursor, &failed);
      if (failed || *cursor)
        return usageError(kName, "a real option takes a number: " + text);
      sp_WriteOption(name, OptionValue(value));
      return ExitOk;
    }
    case OptionBool:
      if (sp_stricmp(text.c_str(), "true") != 0 && sp_stricmp(text.c_str(), "false") != 0)
        return usageError(kName, "a bool option takes true or false: " + text);
      sp_WriteOption(name, OptionValue(sp_stricmp(text.c_str(), "true") == 0));
      return ExitOk;
    default:
      sp_WriteOption(name, YString(text.c_str()));
      return ExitOk;
    }
  }
  if (rest.size() == 2 && rest[0] == "delete")
    return sp_DeleteOption(YString(rest[1].c_str())) ? ExitOk : ExitFailure;
  return usageError(kName, "expects get NAME, set NAME VALUE or delete NAME");
}

const CommandRegistration registration(
    {kName, "[--location LEVEL TEXT]... [--level N] get NAME | set NAME VALUE | delete NAME",
     "reads, writes or deletes one option at the current level", run});

} // namespace
} // namespace kvtool
