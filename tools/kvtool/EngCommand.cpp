// kvtool eng: shows how each argument reads as an engineering number and how
// the number is written back.
#include "Command.h"

#include <kvsupport/netlist/EngineeringNumbers.h>

#include <cstdio>

namespace kvtool {
namespace {

int run(const Args &arguments) {
  int error = ExitOk;
  const Args values = operandsOnly("eng", arguments, &error);
  if (error != ExitOk)
    return error;
  if (values.empty())
    return usageError("eng", "no value given");
  for (const std::string &argument : values) {
    const char *text = argument.c_str();
    char *end = nullptr;
    double value = sp_ConvertEngToReal(text, &end);
    std::printf("%.17g\t%d\t%s\t\"%s\"\n", value, static_cast<int>(end - text),
                sp_ConvertRealToJSEng(value, 6, false).tocs(),
                sp_FormatEng(value, 10, false, false).tocs());
  }
  return ExitOk;
}

const CommandRegistration registration(
    {"eng", "[--] VALUE...",
     "reads each value as an engineering number: value, index where reading stopped, compact "
     "and field text",
     run});

} // namespace
} // namespace kvtool
