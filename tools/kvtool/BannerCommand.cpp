// kvtool banner: a boxed banner as log files carry them.
#include "Command.h"

#include <kvsupport/netlist/Banner.h>
#include <kvsupport/streams/kvstrstream.h>
#include <kvsupport/strings/Utf8File.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

int run(const Args &args) {
  int width = 60;
  std::string path;
  Args lines;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (optionsEnded || arg.rfind("--", 0) != 0)
      lines.push_back(arg);
    else if (arg == "--")
      optionsEnded = true;
    else if (arg == "--width" && i + 1 < args.size()) {
      if (!parseInt(args[++i], &width))
        return usageError("banner", "not a width: " + args[i]);
    } else if (arg == "--file" && i + 1 < args.size())
      path = args[++i];
    else
      return usageError("banner", "unknown option or missing value: " + arg);
  }
  if (lines.empty())
    return usageError("banner", "give the text");
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i)
    text += (i ? "\n" : "") + lines[i];

  if (path.empty()) {
    kvstrstream banner;
    sp_PrintBoxedText(banner, text.c_str(), width);
    std::fwrite(banner.getString(), 1, static_cast<size_t>(banner.getNumBytes()), stdout);
    return ExitOk;
  }
  std::FILE *file = fopen_utf8(path.c_str(), "wb");
  if (!file) {
    std::fprintf(stderr, "kvtool banner: cannot write %s: %s\n", path.c_str(),
                 std::strerror(errno));
    return ExitFailure;
  }
  sp_PrintBoxedText(file, text.c_str(), width);
  return std::fclose(file) == 0 ? ExitOk : ExitFailure;
}

const CommandRegistration registration(
    {"banner", "[--width N] [--file PATH] TEXT...",
     "the texts, one per line, boxed in asterisks N wide (default 60) on standard output or "
     "into PATH",
     run});

} // namespace

} // namespace kvtool
