// kvtool hooks: runs the hooks asked for, then lists every hook with its
// functions in the order they run, and the report of named timers.
#include "Command.h"

#include <kvsupport/hooks/AutoFunc.h>
#include <kvsupport/streams/kvstrstream.h>
#include <kvsupport/threads/KvTimer.h>

#include <cstdio>

namespace kvtool {
namespace {

int run(const Args &args) {
  Args toRun;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (arg == "--run") {
      if (i + 1 == args.size())
        return usageError("hooks", "--run needs a hook name");
      toRun.push_back(args[++i]);
    } else if (arg.rfind("-", 0) == 0) {
      return usageError("hooks", "unknown option " + arg);
    } else {
      return usageError("hooks", "unexpected argument " + arg);
    }
  }
  for (const std::string &hook : toRun)
    executeAutoFunction(hook.c_str(), nullptr);

  YList<YString> hooks;
  sp_GetAutoFunctionHooks(&hooks);
  for (const YString &hook : hooks) {
    std::printf("%s\n", hook.tocs());
    YList<YString> functions;
    sp_GetAutoFunctionNames(hook.tocs(), &functions);
    for (const YString &function : functions)
      std::printf("  %s\n", function.tocs());
  }
  kvstrstream report;
  KvTimer::print(&report);
  std::fputs(report.getString(), stdout);
  return ExitOk;
}

const CommandRegistration
    registration({"hooks", "[--run HOOK]...",
                  "runs each HOOK (with no data), then lists every hook with its functions in "
                  "the order they run, and the named timers' report",
                  run});

} // namespace
} // namespace kvtool
