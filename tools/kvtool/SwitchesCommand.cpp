// kvtool switches: command-line switches found and consumed one by one.
#include "Command.h"

#include <kvsupport/support/ArgSwitch.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace kvtool {
namespace {

constexpr const char *kName = "switches";

struct SwitchSpec {
  std::string name;
  int maxArgs = 0;
  bool stopAtSwitch = false;
};

// NAME[:MAX[:stop]]; false when MAX is no number or the third part is not "stop".
bool parseSpec(const std::string &word, SwitchSpec *spec) {
  const size_t colon = word.find(':');
  spec->name = word.substr(0, colon);
  if (colon == std::string::npos)
    return true;
  const size_t second = word.find(':', colon + 1);
  const std::string max = word.substr(colon + 1, second - colon - 1);
  char *end = nullptr;
  const long number = std::strtol(max.c_str(), &end, 10);
  if (max.empty() || *end || number < -1000000 || number > 1000000)
    return false;
  spec->maxArgs = static_cast<int>(number);
  if (second == std::string::npos)
    return true;
  spec->stopAtSwitch = word.substr(second + 1) == "stop";
  return spec->stopAtSwitch;
}

int run(const Args &args) {
  std::vector<SwitchSpec> specs;
  size_t i = 0;
  for (; i < args.size() && args[i] != "--"; ++i) {
    if (args[i] == "--char" && i + 1 < args.size()) {
      if (args[++i].size() != 1)
        return usageError(kName, "--char takes one character");
      ArgSwitch::setSwitchChar(args[i][0]);
    } else if (args[i].rfind("--", 0) == 0) {
      return usageError(kName, "unknown option or missing value: " + args[i]);
    } else {
      SwitchSpec spec;
      if (!parseSpec(args[i], &spec))
        return usageError(kName, "a switch is NAME[:MAX[:stop]]: " + args[i]);
      specs.push_back(spec);
    }
  }
  if (specs.empty() || i == args.size())
    return usageError(kName, "give NAME... -- ARG...");

  std::vector<std::string> entries{"kvtool"};
  entries.insert(entries.end(), args.begin() + static_cast<long>(i) + 1, args.end());
  std::vector<char *> argv;
  for (std::string &entry : entries)
    argv.push_back(&entry[0]);
  const int argc = static_cast<int>(argv.size());
  for (const SwitchSpec &spec : specs) {
    ArgSwitch found(argc, argv.data(), spec.name.c_str(), spec.maxArgs, spec.stopAtSwitch);
    std::printf("%s\t%s", spec.name.c_str(), found ? "found" : "absent");
    for (int taken = 0; taken < found.size(); ++taken)
      std::printf("\t%s", found[taken].tocs());
    std::printf("\n");
  }
  std::printf("rest");
  for (int at = 1; at < argc; ++at)
    if (argv[static_cast<size_t>(at)])
      std::printf("\t%s", argv[static_cast<size_t>(at)]);
  std::printf("\n");
  return ExitOk;
}

const CommandRegistration registration(
    {kName, "[--char C] NAME[:MAX[:stop]]... -- ARG...",
     "looks for each switch in turn over (kvtool, ARG...): found or absent and the arguments "
     "taken, then the entries left",
     run});

} // namespace
} // namespace kvtool
