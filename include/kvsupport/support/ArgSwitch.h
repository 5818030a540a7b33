#pragma once

#include "kvsupport/strings/YString.h"

#include <vector>

/// One command-line switch, looked for and consumed in an argument vector.
///
/// A switch is an entry made of the switch character and the switch's name
/// (compared without regard to ASCII case), followed by its arguments.
/// Construction finds the first such entry among `argv[1]`…`argv[argc-1]`,
/// takes up to `maxArgs` entries after it as the switch's arguments, and sets
/// the switch's entry and every entry taken to null. A program can so parse
/// its switches one by one and treat what is left as plain arguments: a
/// later search neither finds a consumed switch again nor takes a consumed
/// argument, since a null entry ends an argument run.
///
/// The switch character is "/" unless `setSwitchChar` changed it. Note that
/// "/" also begins every absolute path: the entry "/out" is the switch `out`,
/// and with `stopAtSwitch` an absolute path ends a switch's arguments. Pick
/// "-" where paths are expected among the arguments.
///
/// Copies are deep: each object owns its own copy of the arguments taken.
class ArgSwitch {
public:
  /// Searches `argv` (`argc` entries, null entries allowed) for the switch
  /// `name` and consumes it and at most `maxArgs` arguments after it; with
  /// `stopAtSwitch`, an entry beginning with the switch character ends the
  /// arguments. A null `argv` or `name`, or fewer than two entries, find
  /// nothing; a negative `maxArgs` takes no argument. The last parameter is
  /// not used.
  ArgSwitch(int argc, char **argv, const char *name, int maxArgs, bool stopAtSwitch,
            bool unused = false);

  /// Whether the switch was found.
  operator bool() const { return found_; }
  /// The number of arguments taken.
  int size() const { return static_cast<int>(args_.size()); }
  /// The argument at `index`; empty text when `index` is negative or not below `size()`.
  YString operator[](int index) const;

  /// Sets the switch character of every later search, process-wide. The
  /// character 0 is ignored: it would make every empty entry a switch.
  static void setSwitchChar(char c);
  /// The switch character in use.
  static char switchChar();
  /// Does nothing; kept for callers that name their command.
  static void setCurrentCommand(const YString &command);

private:
  bool found_ = false;
  std::vector<YString> args_;
};
