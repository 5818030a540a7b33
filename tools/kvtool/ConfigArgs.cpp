#include "ConfigArgs.h"

#include <kvsupport/config/ConfigManager.h>
#include <kvsupport/support/Options.h>

#include <cstdio>
#include <cstdlib>

namespace kvtool {
namespace {

bool parseLevel(const std::string &text, int *level) {
  char *end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || value < 0 || value > 4)
    return false;
  *level = static_cast<int>(value);
  return true;
}

struct TypeOf {
  OptionType type = OptionUnknown;
  const char *name = nullptr;
};

} // namespace

void goToConfigLevel(int level) {
  while (cfgman_GetConfigLevel() < level && cfgman_IncConfigLevel()) {
  }
  while (cfgman_GetConfigLevel() > level && cfgman_DecConfigLevel()) {
  }
}

int applyConfigArgs(const char *commandName, const Args &args, Args *rest) {
  ConfigLocation::initialiseConfig(false);
  int level = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    int target = 0;
    if (arg == "--") {
      rest->insert(rest->end(), args.begin() + static_cast<long>(i), args.end());
      break;
    }
    if (arg == "--location") {
      if (i + 2 >= args.size() || !parseLevel(args[i + 1], &target))
        return usageError(commandName, "--location takes a level 0 to 4 and a location text");
      goToConfigLevel(target);
      cfgman_SetConfigLocation(ConfigLocation(YString(args[i + 2].c_str())));
      i += 2;
    } else if (arg == "--level") {
      if (i + 1 >= args.size() || !parseLevel(args[i + 1], &level))
        return usageError(commandName, "--level takes a level 0 to 4");
      ++i;
    } else {
      rest->push_back(arg);
    }
  }
  goToConfigLevel(level);
  return ExitOk;
}

std::string escapeField(const char *text) {
  std::string out;
  for (const char *c = text; *c; ++c) {
    if (*c == '\t')
      out += "\\t";
    else if (*c == '\n')
      out += "\\n";
    else if (*c == '\\')
      out += "\\\\";
    else
      out += *c;
  }
  return out;
}

std::string optionValueText(const char *name, bool *defined) {
  TypeOf found;
  found.name = name;
  sp_ForEachOptionDefinition(
      [](const OptionDefinition &d, void *data) {
        auto *f = static_cast<TypeOf *>(data);
        // The first in table order is the newest definition of its chain.
        if (f->type == OptionUnknown && sp_stricmp(d.name.tocs(), f->name) == 0)
          f->type = d.type;
      },
      &found);
  *defined = found.type != OptionUnknown;
  if (found.type == OptionReal) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.12g", sp_GetDoubleOption(name));
    return buffer;
  }
  if (found.type == OptionBool)
    return sp_GetBoolOption(name, nullptr) ? "TRUE" : "FALSE";
  return escapeField(sp_GetStringOption(name).tocs());
}

} // namespace kvtool
