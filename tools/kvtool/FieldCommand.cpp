// kvtool field: a long name laid out over fixed-width fields, as listings do.
#include "Command.h"

#include <kvsupport/netlist/Banner.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace kvtool {

namespace {

// A whole decimal int.
bool parseInt(const std::string &text, int *value) {
  if (text.empty())
    return false;
  errno = 0;
  char *end = nullptr;
  long parsed = std::strtol(text.c_str(), &end, 10);
  if (errno || *end || parsed < -2147483647L - 1 || parsed > 2147483647L)
    return false;
  *value = static_cast<int>(parsed);
  return true;
}

constexpr int kWidestField = 1 << 20;

int run(const Args &args) {
  int width = 0;
  bool haveWidth = false;
  char separator = '\0';
  Args rest;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (optionsEnded || arg.rfind("--", 0) != 0)
      rest.push_back(arg);
    else if (arg == "--")
      optionsEnded = true;
    else if (arg == "--width" && i + 1 < args.size()) {
      if (!parseInt(args[++i], &width))
        return usageError("field", "not a width: " + args[i]);
      haveWidth = true;
    } else if (arg == "--sep" && i + 1 < args.size()) {
      if (args[++i].size() != 1)
        return usageError("field", "the separator is one character: " + args[i]);
      separator = args[i][0];
    } else
      return usageError("field", "unknown option or missing value: " + arg);
  }
  if (!haveWidth)
    return usageError("field", "give --width N");
  if (width < 1 || width > kWidestField)
    return usageError("field", "the width must be from 1 to " + std::to_string(kWidestField));
  if (rest.size() != 1)
    return usageError("field", "give exactly one name");
  YString name(rest[0].c_str());
  std::vector<char> out(static_cast<size_t>(width) + 1);
  while (!name.isEmpty()) {
    sp_FormatName(out.data(), width, separator, &name);
    std::printf("[%s]\n", out.data());
  }
  return ExitOk;
}

const CommandRegistration registration(
    {"field", "--width N [--sep C] NAME",
     "NAME cut into fields N wide, after the latest C where one fits: one [field] a line", run});

} // namespace
} // namespace kvtool
