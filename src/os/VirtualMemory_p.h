// Internal header, not API: address-space reservation and page commitment,
// and the true size of C heap blocks, implemented by the platform layer.
#pragma once

#include <cstddef>

namespace kv::os {

/// The system's page size in bytes.
size_t pageSize();
/// The machine's physical memory in bytes; 0 when it cannot be told.
unsigned long long physicalMemoryBytes();
/// Reserves `bytes` of address space with no access; null on failure.
void *reserveAddressSpace(size_t bytes);
/// Makes the first `bytes` of a reservation readable and writable; false on failure.
bool commitPages(void *base, size_t bytes);
/// Gives the whole reservation back.
void releaseAddressSpace(void *base, size_t bytes);
/// The bytes usable in `block`, a live block of the C heap (malloc,
/// realloc): at least the size it was asked for.
size_t heapBlockCapacity(void *block);

} // namespace kv::os
