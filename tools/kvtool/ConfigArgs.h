// kvtool: the configuration options every settings command takes,
// "--location LEVEL TEXT"... and "--level N", parsed in one place.
#pragma once

#include "Command.h"

#include <string>

namespace kvtool {

/// Sets the configuration up as a program of the suite does, applies each
/// "--location LEVEL TEXT" and finally goes to the level of "--level N"
/// (0 when not given). Every other word goes to `*rest` in order. ExitOk,
/// or the usage error (printed) of a malformed option.
int applyConfigArgs(const char *commandName, const Args &args, Args *rest);

/// Moves the configuration to `level` (0 to 4).
void goToConfigLevel(int level);

/// `text` with tab, line feed and backslash written as "\t", "\n", "\\".
std::string escapeField(const char *text);

/// An option's value as read, for listings: reals "%.12g", bools TRUE or
/// FALSE, texts escaped; `*defined` tells whether a definition exists.
std::string optionValueText(const char *name, bool *defined);

} // namespace kvtool
