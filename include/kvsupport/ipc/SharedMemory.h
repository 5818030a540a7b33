#pragma once

#include "kvsupport/strings/YString.h"

#include <cstdint>

/// Named shared blocks: regions of memory that one process creates under a
/// generated name and any process of the same user maps by that name.
///
/// Each process keeps a registry of the names it created or opened and a
/// map from each of its views to the name behind it, both guarded by a
/// process-local lock, so calls may come from any thread.

/// Creates a shared block of `size` bytes and returns its new name,
/// "KelvantaSharedBlock" + counter + "_" + process id (the counter counts
/// this process's blocks from 1). Maps nothing. The name is returned even
/// when the block could not be created; mapping it then fails.
YString sp_AllocateSharedBlock(uint64_t size);

/// Maps the whole block `name`, read-only or read-write; null on failure.
void *sp_GetSharedBlock(const char *name, bool readOnly);

/// Maps a view of the block `name`. `offset` and `size` count allocation
/// granules (`sp_GetSharedBlockGranularity` bytes). When both are 0 or
/// less, the whole block is mapped; otherwise the view begins `offset`
/// granules in and is `size` granules long, or reaches to the end of the
/// block when `size` is 0. Returns the view's address, or null when the
/// name cannot be opened, the view does not lie within the block (a
/// negative offset, a negative size with a positive offset, a view past
/// the end), or the mapping fails. The access of the first open of a name
/// in this process stays for later views: a name first mapped read-only
/// cannot be mapped read-write while views of it remain.
void *sp_GetSharedBlock(const char *name, int64_t offset, int64_t size, bool readOnly);

/// Unmaps a view returned by `sp_GetSharedBlock`. Unknown addresses are
/// ignored.
void sp_ReleaseSharedBlock(void *view);

/// Gives up the name `name` that this process created: nobody can open it
/// any more. Views still mapped (here or elsewhere) stay valid until they
/// are released. Names this process did not create are ignored.
void sp_FreeSharedBlock(const YString &name);

/// The allocation granularity in bytes: view offsets are multiples of it.
int sp_GetSharedBlockGranularity();
