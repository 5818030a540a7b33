// kvtool sort: names in natural order (R2 before R10), as lists show them.
#include "Command.h"

#include <kvsupport/netlist/Wildcards.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace kvtool {
namespace {

std::vector<std::string> readLines(std::FILE *in) {
  std::vector<std::string> lines;
  std::string line;
  bool pending = false;
  for (int c; (c = std::fgetc(in)) != EOF;) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
      pending = false;
    } else {
      line += static_cast<char>(c);
      pending = true;
    }
  }
  if (pending)
    lines.push_back(line);
  return lines;
}

int run(const Args &args) {
  if (args.size() == 3 && args[0] == "--compare") {
    std::printf("%d\n", sp_CompareStrings(args[1].c_str(), args[2].c_str()));
    return ExitOk;
  }
  if (args.size() == 1 && args[0] == "--natural") {
    std::vector<std::string> lines = readLines(stdin);
    std::stable_sort(lines.begin(), lines.end(), [](const std::string &a, const std::string &b) {
      return sp_CompareStrings(a.c_str(), b.c_str()) < 0;
    });
    for (const std::string &line : lines) {
      std::fwrite(line.data(), 1, line.size(), stdout);
      std::fputc('\n', stdout);
    }
    return ExitOk;
  }
  for (const std::string &arg : args)
    if (arg.rfind("--", 0) == 0 && arg != "--natural" && arg != "--compare")
      return usageError("sort", "unknown option: " + arg);
  return usageError("sort", "give --natural, or --compare A B");
}

const CommandRegistration registration(
    {"sort", "--natural | --compare A B",
     "--natural: standard input's lines in natural order (stable); --compare: -1, 0 or 1", run});

} // namespace
} // namespace kvtool
