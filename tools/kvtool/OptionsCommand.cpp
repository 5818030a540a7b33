// kvtool options: every defined option with its value and where it comes from.
#include "Command.h"
#include "ConfigArgs.h"

#include <kvsupport/streams/kvfstream.h>
#include <kvsupport/support/Options.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace kvtool {
namespace {

const char kName[] = "options";
const char *const kTypeWords[] = {"string", "real", "bool", "unknown"};

int printDefaults() {
  // The listing is written through a library stream, which owns its file:
  // a temporary one, copied out.
  std::FILE *file = std::tmpfile();
  if (!file)
    return ExitFailure;
  {
    kvfstream out(file, false);
    sp_PrintAllOptions(out);
    out.flush();
    std::rewind(file);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
      std::fwrite(buffer, 1, n, stdout);
  }
  return ExitOk;
}

int run(const Args &args) {
  Args rest;
  if (const int error = applyConfigArgs(kName, args, &rest))
    return error;
  bool defaults = false;
  for (const std::string &arg : rest) {
    if (arg == "--defaults")
      defaults = true;
    else if (arg[0] == '-')
      return usageError(kName, "unknown option " + arg);
    else
      return usageError(kName, "takes no operands");
  }
  if (defaults)
    return printDefaults();
  std::vector<std::pair<std::string, OptionType>> options;
  sp_ForEachOptionDefinition(
      [](const OptionDefinition &d, void *data) {
        auto *list = static_cast<std::vector<std::pair<std::string, OptionType>> *>(data);
        for (const auto &seen : *list)
          if (sp_stricmp(seen.first.c_str(), d.name.tocs()) == 0)
            return; // hidden by a newer definition
        list->emplace_back(d.name.tocs(), d.type);
      },
      &options);
  std::stable_sort(options.begin(), options.end(), [](const auto &a, const auto &b) {
    return sp_stricmp(a.first.c_str(), b.first.c_str()) < 0;
  });
  for (const auto &option : options) {
    bool defined = false;
    const std::string value = optionValueText(option.first.c_str(), &defined);
    const int level = sp_GetOptionLevel(option.first.c_str());
    std::printf("%s\t%s\t%s\t%s\n", option.first.c_str(), kTypeWords[option.second & 3],
                value.c_str(), level < 0 ? "default" : std::to_string(level).c_str());
  }
  return ExitOk;
}

const CommandRegistration
    registration({kName, "[--location LEVEL TEXT]... [--level N] [--defaults]",
                  "lists the defined options: name, type, value and the level it comes from", run});

} // namespace
} // namespace kvtool
