// kvtool printf: formats with the library's engine and shows what it used.
#include "Command.h"

#include <kvsupport/containers/YArray.h>
#include <kvsupport/strings/StringPrintfBuf.h>
#include <kvsupport/strings/YString.h>

#include <cstdio>
#include <cstdlib>

namespace kvtool {
namespace {

class Sink : public VarStringPrintfBuf {
public:
  using PrintfBuf::process;
};

// An argument written as KIND:VALUE, KIND one of i (int), l (64-bit),
// d (double), s (text); a bare word is text.
bool parseArgument(const std::string &word, YArray<PrintfArg> *args) {
  if (word.size() < 2 || word[1] != ':') {
    args->add(PrintfArg(YString(word.c_str())));
    return true;
  }
  const char *value = word.c_str() + 2;
  switch (word[0]) {
  case 'i':
    args->add(PrintfArg(static_cast<int>(std::strtol(value, nullptr, 10))));
    return true;
  case 'l':
    args->add(PrintfArg(std::strtoll(value, nullptr, 10)));
    return true;
  case 'd':
    args->add(PrintfArg(std::strtod(value, nullptr)));
    return true;
  case 's':
    args->add(PrintfArg(YString(value)));
    return true;
  default:
    return false;
  }
}

int run(const Args &arguments) {
  int error = ExitOk;
  const Args args = operandsOnly("printf", arguments, &error);
  if (error != ExitOk)
    return error;
  if (args.empty())
    return usageError("printf", "no format given");
  YArray<PrintfArg> values;
  for (size_t i = 1; i < args.size(); ++i)
    if (!parseArgument(args[i], &values))
      return usageError("printf", "unknown argument kind in " + args[i]);
  const int count = static_cast<int>(values.size());
  const PrintfArg *pointers[64];
  if (count > 64)
    return usageError("printf", "at most 64 arguments");
  for (int i = 0; i < count; ++i)
    pointers[i] = &values[i];
  Sink sink;
  int used = 0;
  bool ok = sink.process(args[0].c_str(), &used, pointers, count);
  std::printf("text\t%s\n", sink.getBuffer());
  std::printf("used\t%d of %d\n", used, count);
  std::printf("result\t%s\n", ok ? "true" : "false");
  return ok ? ExitOk : ExitFailure;
}

const CommandRegistration registration(
    {"printf", "[--] FORMAT [i:INT | l:INT64 | d:DOUBLE | s:TEXT | TEXT]...",
     "formats with the library's printf engine; prints the text, positions used and result", run});

} // namespace
} // namespace kvtool
