// kvtool: puts the library's main services in a user's hands.
#include "Command.h"

#include <kvsupport/support/Version.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kvtool {

static std::vector<Command> &registry() {
  static std::vector<Command> all;
  return all;
}

const std::vector<Command> &commands() { return registry(); }

CommandRegistration::CommandRegistration(const Command &command) {
  auto &all = registry();
  auto at =
      std::lower_bound(all.begin(), all.end(), command, [](const Command &a, const Command &b) {
        return std::strcmp(a.name, b.name) < 0;
      });
  all.insert(at, command);
}

static const Command *findCommand(const char *name) {
  for (const Command &command : commands())
    if (std::strcmp(command.name, name) == 0)
      return &command;
  return nullptr;
}

int usageError(const char *commandName, const std::string &message) {
  std::fprintf(stderr, "kvtool %s: %s\n", commandName, message.c_str());
  if (const Command *command = findCommand(commandName))
    std::fprintf(stderr, "usage: kvtool %s %s\n", command->name, command->synopsis);
  return ExitUsage;
}

Args operandsOnly(const char *commandName, const Args &args, int *error) {
  *error = ExitOk;
  if (!args.empty() && args[0] == "--")
    return Args(args.begin() + 1, args.end());
  for (const std::string &arg : args)
    if (arg.rfind("--", 0) == 0) {
      *error = usageError(commandName, "unknown option " + arg);
      return {};
    }
  return args;
}

static void printHelp(std::FILE *out) {
  std::fprintf(out, "usage: kvtool [--version] [--help] COMMAND [ARGS...]\n"
                    "       kvtool COMMAND --help   shows one command's help\n\ncommands:\n");
  for (const Command &command : commands())
    std::fprintf(out, "  %s %s\n      %s\n", command.name, command.synopsis, command.summary);
}

static void printCommandHelp(const Command &command) {
  std::printf("usage: kvtool %s %s\n%s\n", command.name, command.synopsis, command.summary);
}

// "-h" as the first argument, or "--help" anywhere before a "--", asks for the
// command's help rather than being one of its arguments.
static bool asksForHelp(const Args &args) {
  if (!args.empty() && args[0] == "-h")
    return true;
  for (const std::string &arg : args) {
    if (arg == "--")
      return false;
    if (arg == "--help")
      return true;
  }
  return false;
}

} // namespace kvtool

int main(int argc, char **argv) {
  using namespace kvtool;
  if (argc < 2) {
    printHelp(stderr);
    return ExitUsage;
  }
  const char *first = argv[1];
  if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0) {
    printHelp(stdout);
    return ExitOk;
  }
  if (std::strcmp(first, "--version") == 0) {
    std::printf("kvtool %s\n", sp_GetLibraryVersion());
    return ExitOk;
  }
  const Command *command = findCommand(first);
  if (!command) {
    std::fprintf(stderr, "kvtool: unknown command '%s' (see kvtool --help)\n", first);
    return ExitUsage;
  }
  Args args(argv + 2, argv + argc);
  if (asksForHelp(args)) {
    printCommandHelp(*command);
    return ExitOk;
  }
  return command->run(args);
}
