// Internal header, not API: where the platform keeps the folders behind the
// system path symbols.
#pragma once

#include "kvsupport/strings/YString.h"

namespace kv::os {

/// The directory of the running executable; empty when it cannot be told.
YString executableDirectory();

/// Whether `path` names an existing directory.
bool isDirectory(const char *path);

} // namespace kv::os
