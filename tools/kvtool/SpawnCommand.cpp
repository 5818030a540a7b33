// kvtool spawn: starts a program as the library starts child programs and
// reports how it went: forwarded output, then the result, exit code and
// process id, one tab-separated line each.
#include "Command.h"

#include <kvsupport/ipc/Process.h>
#include <kvsupport/streams/kvbuf.h>
#include <kvsupport/streams/kvstream.h>

#include <QCoreApplication>

#include <cstdio>
#include <string>

namespace kvtool {
namespace {

const char kName[] = "spawn";

// The child's forwarded output, written to our standard output as it comes.
class StdoutBuffer : public kvbuf {
public:
  bool eof() override { return false; }
  int get() override { return -1; }
  size_t read(char *, size_t) override { return 0; }
  size_t write(const char *data, size_t size) override {
    size_t written = std::fwrite(data, 1, size, stdout);
    std::fflush(stdout);
    return written;
  }
  explicit operator bool() override { return true; }
};

class StdoutStream : public kvstream {
public:
  StdoutStream() { setBuffer(new StdoutBuffer); }
};

const char *resultName(SSPError result) {
  switch (result) {
  case SSP_OK:
    return "SSP_OK";
  case SSP_START_FAILED:
    return "SSP_START_FAILED";
  case SSP_NOT_FOUND:
    return "SSP_NOT_FOUND";
  case SSP_BAD_FORMAT:
    return "SSP_BAD_FORMAT";
  case SSP_NOT_EXECUTABLE:
    return "SSP_NOT_EXECUTABLE";
  case SSP_UNSUPPORTED:
    return "SSP_UNSUPPORTED";
  }
  return "SSP_START_FAILED";
}

int run(const Args &args) {
  uint32_t flags = 0;
  bool old = false;
  std::string commandLine;
  bool onlyOperands = false;
  for (const std::string &arg : args) {
    if (!onlyOperands && arg.rfind("--", 0) == 0) {
      if (arg == "--")
        onlyOperands = true;
      else if (arg == "--wait")
        flags |= SpawnWait;
      else if (arg == "--stdout")
        flags |= SpawnForwardStdout;
      else if (arg == "--stderr")
        flags |= SpawnForwardStderr;
      else if (arg == "--discard")
        flags |= SpawnDiscardOutput;
      else if (arg == "--old")
        old = true;
      else
        return usageError(kName, "unknown option " + arg);
      continue;
    }
    onlyOperands = true; // the command line's own options are its own
    if (!commandLine.empty())
      commandLine += ' ';
    commandLine += arg;
  }
  if (commandLine.empty())
    return usageError(kName, "give a COMMAND-LINE");
  static int argc = 1;
  static char arg0[] = "kvtool";
  static char *argv[] = {arg0, nullptr};
  QCoreApplication app(argc, argv);
  unsigned exitCode = 0;
  int processId = -1;
  SSPError result =
      old ? sp_OldSpawnApplication(commandLine.c_str(), flags, &exitCode, &processId)
          : sp_SpawnApplication(commandLine.c_str(), flags, YRef<kvstream>(new StdoutStream),
                                &exitCode, &processId);
  std::printf("result\t%s\nexit-code\t%u\nprocess-id\t%d\n", resultName(result), exitCode,
              processId);
  return ExitOk;
}

const CommandRegistration registration(
    {kName, "[--wait] [--stdout] [--stderr] [--discard] [--old] COMMAND-LINE",
     "starts a program as the library starts child programs and reports the result", run});

} // namespace
} // namespace kvtool
