// kvtool logical: expands and makes logical paths, and lists the user's locations.
#include "Command.h"
#include "ConfigArgs.h"

#include <kvsupport/config/ConfigManager.h>
#include <kvsupport/support/LogicalPaths.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace kvtool {
namespace {

const char kName[] = "logical";

int listLocations() {
  YList<YString> names;
  cfgman_GetConfigKeyNames(YString("Locations"), &names, false);
  std::vector<YString> sorted(names.begin(), names.end());
  std::stable_sort(sorted.begin(), sorted.end(), [](const YString &a, const YString &b) {
    return sp_stricmp(a.tocs(), b.tocs()) < 0;
  });
  for (const YString &name : sorted) {
    YString stored, expanded;
    cfgman_GetConfigSetting("Locations", name.tocs(), &stored, false);
    sp_TranslateLogicalPath(YString("%").concat(name.tocs()).concat("%"), &expanded, false);
    std::printf("%s\t%s\t%s\n", escapeField(name.tocs()).c_str(),
                escapeField(stored.tocs()).c_str(), escapeField(expanded.tocs()).c_str());
  }
  return ExitOk;
}

int run(const Args &args) {
  Args words;
  if (const int error = applyConfigArgs(kName, args, &words))
    return error;
  if (words.empty())
    return usageError(kName, "expects expand, make or locations");
  const std::string action = words[0];
  if (action.size() > 1 && action[0] == '-')
    return usageError(kName, "unknown option " + action);
  bool system = false, noLocations = false, noSystem = false;
  Args operands;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string &arg = words[i];
    if (arg == "--") {
      operands.insert(operands.end(), words.begin() + static_cast<long>(i) + 1, words.end());
      break;
    }
    if (arg == "--system" && action == "expand")
      system = true;
    else if (arg == "--no-locations" && action == "make")
      noLocations = true;
    else if (arg == "--no-system" && action == "make")
      noSystem = true;
    else if (arg.size() > 1 && arg[0] == '-')
      return usageError(kName, "unknown option " + arg);
    else
      operands.push_back(arg);
  }
  if (action == "locations" && operands.empty())
    return listLocations();
  if ((action != "expand" && action != "make") || operands.empty())
    return usageError(kName, "expects expand TEXT..., make PATH... or locations");
  for (const std::string &text : operands) {
    YString result;
    const bool done = action == "expand"
                          ? sp_TranslateLogicalPath(YString(text.c_str()), &result, system)
                          : sp_MakeLogicalPath(YString(text.c_str()), &result,
                                               LogicalPathOptions(noLocations, noSystem));
    std::printf("%s\t%s\t%d\n", escapeField(text.c_str()).c_str(),
                escapeField(result.tocs()).c_str(), done ? 1 : 0);
  }
  return ExitOk;
}

const CommandRegistration
    registration({kName,
                  "[--location LEVEL TEXT]... [--level N] expand [--system] TEXT... | "
                  "make [--no-locations] [--no-system] PATH... | locations",
                  "expands or makes logical paths, or lists the user's locations", run});

} // namespace
} // namespace kvtool
