// kvtool open-check: whether files open in a mode, and if not, why.
#include "Command.h"

#include <kvsupport/files/FileOpenForensic.h>

#include <cstdio>
#include <cstdlib>

namespace kvtool {
namespace {

constexpr const char *kName = "open-check";

// A mode by name (read, new, append, write) or number; false when neither.
bool parseMode(const std::string &word, GfnOpenMode *mode) {
  static const struct {
    const char *name;
    GfnOpenMode mode;
  } kModes[] = {{"read", 0}, {"new", 3}, {"append", 4}, {"write", 5}};
  for (const auto &named : kModes)
    if (word == named.name) {
      *mode = named.mode;
      return true;
    }
  char *end = nullptr;
  const long number = std::strtol(word.c_str(), &end, 10);
  if (word.empty() || *end || number < 0 || number > 1000)
    return false;
  *mode = static_cast<GfnOpenMode>(number);
  return true;
}

int run(const Args &args) {
  GfnOpenMode mode = 0;
  Args paths;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (optionsEnded || arg.rfind("--", 0) != 0) {
      paths.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--mode" && i + 1 < args.size()) {
      if (!parseMode(args[++i], &mode))
        return usageError(kName, "--mode takes read, new, append, write or a number");
    } else {
      return usageError(kName, "unknown option or missing value: " + arg);
    }
  }
  if (paths.empty())
    return usageError(kName, "no path given");
  bool allOpen = true;
  for (const std::string &path : paths) {
    const YString name(path.c_str());
    if (sp_CheckFileOpen(name, mode)) {
      std::printf("ok\t%s\n", path.c_str());
      continue;
    }
    allOpen = false;
    YString sentence;
    sp_FileOpenForensicMsg(name, mode, &sentence);
    std::printf("%s\n", sentence.tocs());
  }
  return allOpen ? ExitOk : ExitFailure;
}

const CommandRegistration
    registration({kName, "[--mode read|new|append|write|N] PATH...",
                  "whether each path opens in the mode (\"ok\", tab, path), else why not", run});

} // namespace
} // namespace kvtool
