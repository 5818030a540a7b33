// Internal header, not API: what the shared heap and the tests may ask the
// process's registry of shared blocks.
#pragma once

#include <cstdint>

namespace kv::detail {

/// The number of views of `name` this process has mapped and not released;
/// -1 when the registry holds no record of the name.
int sharedBlockViewCount(const char *name);

/// Whether the registry's record of `name` is the creator's.
bool sharedBlockCreatedHere(const char *name);

/// The number of records in the registry.
int sharedBlockRecordCount();

/// The size in bytes of the block `name`, which this process must have
/// open (created or mapped); false when it is not or the size is unknown.
bool sharedBlockSize(const char *name, uint64_t *size);

} // namespace kv::detail
