// Internal header, not API: options of the start-up profile file, which the
// library reads before the configuration exists.
#pragma once

#include "kvsupport/strings/YString.h"

namespace kv::detail {

/// The value of `key` in section "Options" of the start-up profile
/// "%EXEPATH%/startup.ini"; empty when the file or the key is missing.
YString readStartupOption(const char *key);

/// Makes readStartupOption answer with `reader` in this process (for tests);
/// null restores the profile file.
void setStartupOptionReader(YString (*reader)(const char *key));

} // namespace kv::detail
