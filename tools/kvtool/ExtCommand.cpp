// kvtool ext: the extensions of file types, and names forced onto them.
#include "Command.h"
#include "ConfigArgs.h"

#include <kvsupport/config/Extensions.h>

#include <cstdio>
#include <string>

namespace kvtool {
namespace {

const char kName[] = "ext";

int run(const Args &args) {
  Args words, operands;
  if (const int error = applyConfigArgs(kName, args, &words))
    return error;
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "--") {
      operands.insert(operands.end(), words.begin() + static_cast<long>(i) + 1, words.end());
      break;
    }
    if (words[i].size() > 1 && words[i][0] == '-')
      return usageError(kName, "unknown option " + words[i]);
    operands.push_back(words[i]);
  }
  if (operands.empty())
    return usageError(kName, "expects TYPES");
  const char *types = operands[0].c_str();
  if (operands.size() == 1) {
    YList<YString> extensions;
    if (!sp_GetKelvantaFileExtension(types, &extensions))
      return ExitFailure;
    std::string joined;
    for (const YString &extension : extensions)
      joined += (joined.empty() ? "" : ";") + std::string(extension.tocs());
    std::printf("%s\n", joined.c_str());
    return ExitOk;
  }
  for (size_t i = 1; i < operands.size(); ++i)
    std::printf("%s\n", sp_ForceKelvantaExtension(types, YString(operands[i].c_str())).tocs());
  return ExitOk;
}

const CommandRegistration registration(
    {kName, "[--location LEVEL TEXT]... [--level N] TYPES [PATH...]",
     "gives the extensions of file types (joined by &), or forces them onto paths", run});

} // namespace
} // namespace kvtool
