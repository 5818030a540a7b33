#pragma once

#include "kvsupport/strings/YString.h"

// Logical paths: stored paths that begin with a system path symbol
// ("%EXEPATH%/..."), a user location (a key of the configuration section
// "Locations", "%NAME%/...") or an option reference ("$OPTION$/..."). Only
// the leading symbol is expanded. Translations are cached per path and
// dropped when the configuration changes, when an option is written or
// when an option's definition or default changes. Not thread-safe.

/// Which definitions making a logical path may use.
struct LogicalPathOptions {
  LogicalPathOptions() = default;
  LogicalPathOptions(bool noUserLocations, bool noSystemSymbols)
      : noUserLocations(noUserLocations), noSystemSymbols(noSystemSymbols) {}
  /// The third argument is not used.
  LogicalPathOptions(bool noUserLocations, bool noSystemSymbols, bool)
      : LogicalPathOptions(noUserLocations, noSystemSymbols) {}
  bool noUserLocations = false;
  bool noSystemSymbols = false;
};

/// `sp_BaseTranslateLogicalPath(path, result, systemOnly, false)`.
bool sp_TranslateLogicalPath(YString path, YString *result, bool systemOnly);
/// Expands the leading "%NAME%" (a system symbol, or, unless `systemOnly`,
/// a user location; a symbol hides a location of its name) or "$OPTION$"
/// (a non-empty string option), recursively; a reference to a name whose
/// expansion is under way stays as written. The result is cleaned, in the
/// platform's separators ('\' turned into '/' too when the option
/// "TranslateWindowsPaths" is true). True when a "%" definition was
/// expanded, also inside an option's value; a cached translation answers
/// what the first one did. A null `result` is skipped; the result is still
/// computed. The fourth argument is not used.
bool sp_BaseTranslateLogicalPath(YString path, YString *result, bool systemOnly, bool ignored);

/// The shortest logical form of `path`: the user location or portable
/// system symbol with the longest translated path that is a whole-component
/// prefix of the cleaned path (paths compared as the platform compares
/// them), written "%NAME%" + the rest. Locations named like a system
/// symbol, empty or still holding '%' after translation are skipped, so
/// that translating the result gives the cleaned path back. False when no
/// definition applies: the result is then `path` with the platform's
/// separators.
bool sp_MakeLogicalPath(YString path, YString *result, const LogicalPathOptions &options);

/// The system value `name` (see SystemValues.h); a path-flagged value comes
/// back translated with `systemOnly` true.
YString sp_GetSystemValuePath(const YString &name, bool *found);
