// Internal header, not API: the pure expansion and making core of logical
// paths, and the hooks by which the options store drops translations.
//
// The core works on the definitions and the option reader it is given and
// touches no file, so tests and the fuzzer drive it directly.
#pragma once

#include "kvsupport/strings/YString.h"

#include <functional>
#include <utility>
#include <vector>

namespace kv::support {

/// What one translation has under way. A translation nested in another
/// (an option read inside an expansion expands a path-flagged value) shares
/// it, so a name being expanded anywhere in the chain is not expanded again.
struct LogicalPathExpansion {
  std::vector<YString> locationsInUse; ///< "%NAME%" references being expanded
  std::vector<YString> optionsInUse;   ///< "$NAME$" references being expanded
  int depth = 0;                       ///< current nesting of expansion steps
  int maxDepth = 0;                    ///< deepest nesting seen
  int locationsExpanded = 0;           ///< "%" expansions done, nested ones included
};

/// The path of the "%" definition `name` (case ignored), or null.
using FindLocation = std::function<const YString *(const YString &name)>;
/// The value of the string option `name`, empty when none.
using ReadOption = std::function<YString(const YString &name)>;

/// Expands the leading symbol of `path` (recursively). True when a "%"
/// definition was expanded during this call, nested translations included.
bool expandLogicalPath(const YString &path, const FindLocation &find, const ReadOption &readOption,
                       LogicalPathExpansion &state, YString *result);

/// expandLogicalPath, then the result cleaned (sp_CleanPath) and, with
/// `windowsPaths`, every '\' turned into '/'.
bool translateLogicalPath(const YString &path, const FindLocation &find,
                          const ReadOption &readOption, LogicalPathExpansion &state,
                          bool windowsPaths, YString *result);

/// One candidate of making: a name and its translated path in '/' form.
using MakeCandidate = std::pair<YString, YString>;

/// Whether a candidate can take part in making: a name without '%' and a
/// non-empty translation without '%', so that "%NAME%" reads back as it.
bool isMakeCandidate(const YString &name, const YString &translated);

/// The longest candidate whose path is a whole-component prefix of the
/// cleaned `path` (compared as paths; ties keep the earlier one) gives
/// "%NAME%" + the rest. False, and `*result` untouched, when none applies.
bool makeLogicalPath(const YString &cleanedPath, const std::vector<MakeCandidate> &candidates,
                     YString *result);

/// Drops every cached translation (an option or its definition changed).
void dropLogicalPathTranslations();

} // namespace kv::support
