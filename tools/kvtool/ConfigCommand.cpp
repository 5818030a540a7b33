// kvtool config: the configuration levels as a program of the suite sets
// them up, and settings read through and written to them.
#include "Command.h"
#include "ConfigArgs.h"

#include <kvsupport/config/ConfigManager.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace kvtool {
namespace {

const char kName[] = "config";

const char *stateName(ConfigStatus status) {
  switch (status) {
  case ConfigExists:
    return "exists";
  case ConfigCreated:
    return "missing";
  case ConfigFailed:
    break;
  }
  return "unusable";
}

int showLevels() {
  const int current = cfgman_GetConfigLevel();
  for (int level = 0; level <= 4; ++level) {
    goToConfigLevel(level);
    const ConfigLocation *location = nullptr;
    cfgman_GetConfigLocation(&location);
    ConfigStatus status = ConfigFailed;
    location->verify(&status, true);
    std::printf("%d\t%s\t%s\t%s\n", level, location->getString().tocs(), location->getFile().tocs(),
                stateName(status));
  }
  goToConfigLevel(current);
  std::printf("current\t%d\n", current);
  return ExitOk;
}

int printKeys(const std::string &section, bool bySection) {
  YList<YString> names;
  if (!cfgman_GetConfigKeyNames(YString(section.c_str()), &names, bySection))
    return ExitFailure;
  std::vector<YString> sorted(names.begin(), names.end());
  std::sort(sorted.begin(), sorted.end(),
            [](const YString &a, const YString &b) { return sp_stricmp(a.tocs(), b.tocs()) < 0; });
  for (const YString &name : sorted)
    std::printf("%s\n", name.tocs());
  return ExitOk;
}

int run(const Args &args) {
  Args words;
  if (const int error = applyConfigArgs(kName, args, &words))
    return error;
  bool bySection = false;
  bool haveDefault = false;
  std::string defaultValue;
  Args rest;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string &arg = words[i];
    if (arg == "--by-section") {
      bySection = true;
    } else if (arg == "--default") {
      if (i + 1 >= words.size())
        return usageError(kName, "--default takes a value");
      haveDefault = true;
      defaultValue = words[++i];
    } else if (arg == "--") {
      rest.insert(rest.end(), words.begin() + static_cast<long>(i) + 1, words.end());
      break;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usageError(kName, "unknown option " + arg);
    } else {
      rest.push_back(arg);
    }
  }
  if (rest.empty())
    return showLevels();
  const std::string action = rest[0];
  if (action == "get" && rest.size() == 3) {
    YString value;
    if (!cfgman_GetConfigSetting(rest[1].c_str(), rest[2].c_str(), &value, bySection))
      return ExitFailure;
    std::printf("%s\n", value.tocs());
    return ExitOk;
  }
  if (action == "set" && rest.size() == 4) {
    const bool done = cfgman_WriteConfigSetting(rest[1].c_str(), rest[2].c_str(), rest[3].c_str(),
                                                haveDefault ? defaultValue.c_str() : nullptr, -1);
    int error = 0;
    const ProfileWriteStatus status = sp_GetLastProfileWriteStatus(&error);
    if (done && (status == ProfileWritten || status == ProfileUnchanged))
      return ExitOk;
    const ConfigLocation *location = nullptr;
    cfgman_GetConfigLocation(&location);
    std::fprintf(stderr, "kvtool config: %s: %s\n", location->getString().tocs(),
                 location->getFile().isEmpty() ? "the location cannot be used"
                 : status == ProfileFailed     ? std::strerror(error)
                 : status == ProfilePending    ? "the file is locked by another program"
                                               : "not written");
    return ExitFailure;
  }
  if (action == "keys" && rest.size() == 2)
    return printKeys(rest[1], bySection);
  return usageError(kName, "unknown action or wrong arguments: " + action);
}

const CommandRegistration registration(
    {kName,
     "[--location LEVEL TEXT]... [--level N] [get [--by-section] SECTION KEY | "
     "set SECTION KEY VALUE [--default D] | keys [--by-section] SECTION]",
     "shows the configuration levels, or reads and writes settings through them", run});

} // namespace
} // namespace kvtool
