#pragma once

#include "kvsupport/strings/YString.h"

// System path symbols: names of folders the library finds on the platform
// (EXEPATH, KVAPPDATAPATH, ...), written as "%NAME%" at the start of a
// stored path so that the path survives a move of the installation or of
// the user's folders. Each value is computed once per process, on first use.

/// Sets `*value` (when not null) to the value of the symbol `name`
/// (compared without regard to ASCII case) and returns its length; an
/// unknown name gives the empty text and 0. With `portable`, only the seven
/// portable symbols are known. A null `name` gives the list of names joined
/// by ';' (the portable ones with `portable`).
int sp_GetSystemPathSymbolValue(const char *name, YString *value, bool portable);

/// Replaces the value of STARTPATH with `path`; a null or empty path, or
/// one longer than 260 bytes, changes nothing. A value already cached keeps
/// what it first saw.
void sp_OverrideStartupPath(const char *path);

/// Expands a leading "%NAME%" of `path` when that symbol has a non-empty
/// value, keeping everything after the closing '%' as it stands; then
/// cleans the path and gives it the platform's separators. An unknown or
/// empty symbol leaves the text as written (still cleaned). A null `path`
/// gives the empty text.
void sp_TranslateSystemPath(const char *path, YString *result);
