// kvtool's subcommands. Each lives in its own source file and registers
// itself with a static `CommandRegistration`, so adding one touches nothing else.
#pragma once

#include <string>
#include <vector>

namespace kvtool {

using Args = std::vector<std::string>;

/// Exit codes shared by every subcommand.
enum ExitCode { ExitOk = 0, ExitFailure = 1, ExitUsage = 2 };

struct Command {
  const char *name;             ///< the word after "kvtool"
  const char *synopsis;         ///< its arguments, for --help
  const char *summary;          ///< one line on what it does
  int (*run)(const Args &args); ///< the arguments after the name; returns an ExitCode
};

/// Every registered command, sorted by name.
const std::vector<Command> &commands();

struct CommandRegistration {
  explicit CommandRegistration(const Command &command);
};

/// The arguments of a command that takes no options: all of them, but a
/// leading "--" (which lets an operand start with "--") is dropped. Any other
/// word starting with "--" is an unknown option: `*error` receives the
/// usage-error exit code (message printed) and the result is empty.
Args operandsOnly(const char *commandName, const Args &args, int *error);

/// Prints "kvtool NAME: message" and the command's synopsis to stderr; returns ExitUsage.
int usageError(const char *commandName, const std::string &message);

} // namespace kvtool
