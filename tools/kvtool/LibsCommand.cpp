// kvtool libs: the library lists of the configuration.
#include "Command.h"
#include "ConfigArgs.h"

#include <kvsupport/config/LibraryManager.h>

#include <cstdio>
#include <string>

namespace kvtool {
namespace {

const char kName[] = "libs";

int run(const Args &args) {
  Args words;
  if (const int error = applyConfigArgs(kName, args, &words))
    return error;
  if (words.empty())
    return usageError(kName, "expects list, add, remove or edit");
  const std::string action = words[0];
  if (action.size() > 1 && action[0] == '-')
    return usageError(kName, "unknown option " + action);
  bool raw = false, asGiven = false, literal = false;
  Args operands;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string &arg = words[i];
    if (arg == "--") {
      operands.insert(operands.end(), words.begin() + static_cast<long>(i) + 1, words.end());
      break;
    }
    if (arg == "--raw" && (action == "list" || action == "remove"))
      raw = true;
    else if (arg == "--as-given" && action == "add")
      asGiven = true;
    else if (arg == "--literal" && action == "add")
      literal = true;
    else if (arg.size() > 1 && arg[0] == '-')
      return usageError(kName, "unknown option " + arg);
    else
      operands.push_back(arg);
  }
  if (action == "list" && operands.size() == 1) {
    YList<YString> files;
    libman_GetFiles(&files, YString(operands[0].c_str()), !raw);
    for (const YString &file : files)
      std::printf("%s\n", file.tocs());
    return ExitOk;
  }
  if ((action == "add" || action == "remove") && operands.size() >= 2) {
    YList<YString> files;
    for (size_t i = 1; i < operands.size(); ++i)
      files.append(YString(operands[i].c_str()));
    const YString section(operands[0].c_str());
    const int count = action == "add" ? libman_AddFiles(files, section, !asGiven, literal)
                                      : libman_RemoveFiles(files, section, !raw);
    std::printf("%d\n", count);
    return count > 0 ? ExitOk : ExitFailure;
  }
  if (action == "edit" && operands.size() == 3)
    return libman_EditFile(YString(operands[1].c_str()), YString(operands[2].c_str()),
                           YString(operands[0].c_str()))
               ? ExitOk
               : ExitFailure;
  return usageError(kName, "unknown action or wrong arguments: " + action);
}

const CommandRegistration
    registration({kName,
                  "[--location LEVEL TEXT]... [--level N] list [--raw] SECTION | "
                  "add [--as-given] [--literal] SECTION FILE... | remove [--raw] SECTION FILE... | "
                  "edit SECTION OLD NEW",
                  "lists and changes the library lists of the configuration", run});

} // namespace
} // namespace kvtool
