#pragma once

#include <cstddef>

/// A zero-filled block of `size` bytes; null for a size of 0 or less, or
/// when memory cannot be had.
void *tmalloc(int size);
/// Resizes `block` (added bytes are not zeroed). A size of 0 or less frees
/// it and returns null; a null block behaves as tmalloc.
void *trealloc(void *block, int size);
/// Frees `block` when it is not null.
void txfree(void *block);

/// A zero-filled block aligned to 16 bytes; null on failure. Free with sp_Free16.
void *sp_Malloc16(int size);
/// A zero-filled block aligned to max(`alignment`, 8) bytes; null on failure
/// or for an alignment above 32768. Free with sp_FreeAlign.
void *sp_MallocAlign(int size, int alignment);
/// Frees a block of sp_Malloc16 or sp_MallocAlign; null does nothing.
void sp_Free16(void *block);
void sp_FreeAlign(void *block);

/// Reserves `reserveMegabytes` MB of address space and commits what `size`
/// bytes need; the block can later grow in place up to the reservation.
/// Null when the reservation or the commitment fails.
void *vMalloc(size_t size, size_t reserveMegabytes);
/// Grows a vMalloc block in place to `size` bytes and returns it (it never
/// moves); null when it does not fit in its reservation, or when `block` is
/// not a live vMalloc block.
void *vRealloc(void *block, size_t size);
/// Releases a vMalloc block and its reservation; anything else is ignored.
void vFree(void *block);
