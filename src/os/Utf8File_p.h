// Internal header, not API: opening, renaming, deleting and examining files
// by UTF-8 path name, implemented by the platform layer. Every function
// returns 0 on success and an errno value on failure.
#pragma once

#include <cstdio>

struct Stat64;

namespace kv::os {

/// Opens `path` for a parsed C mode; *file is null on failure.
int openStream(const char *path, bool read, bool write, bool create, bool truncate, bool append,
               FILE **file);
/// Renames without replacing an existing target.
int renameNoReplace(const char *from, const char *to);
int removeFile(const char *path);
int statFile(const char *path, Stat64 *info);

} // namespace kv::os
