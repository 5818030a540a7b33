// Internal header, not API: how definitions received from another process
// of the suite enter the option table.
#pragma once

#include "kvsupport/support/Options.h"

namespace kv::support {

/// Adds `definition` unless an option of its name is defined already (the
/// local definition stays as it is); makes the option table when there is
/// none. True when added.
bool addOptionDefinitionIfUndefined(const OptionDefinition &definition);

} // namespace kv::support
