// Internal header, not API: what path-name handling needs to know about the
// platform's file system.
#pragma once

#include "kvsupport/strings/YString.h"

#include <cstdint>

namespace kv::os {

/// The platform's directory separator.
char pathSeparator();

/// Whether the platform's file names compare without regard to case.
bool pathsIgnoreCase();

/// The network form of `path` (the form behind a mapped drive), or `path`
/// itself where the platform has no such form.
YString networkPath(const YString &path);

/// What makes a file the file it is, whatever name reaches it.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
};

/// The identity of the existing file or directory `path`; false when it
/// cannot be queried (missing, no access).
bool fileIdentity(const char *path, FileIdentity *identity);

} // namespace kv::os
