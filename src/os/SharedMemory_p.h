// Internal header, not API: named shared-memory objects and their views.
#pragma once

#include <cstdint>

namespace kv::os {

/// An open shared-memory object; kNoSharedObject when none.
using SharedObject = intptr_t;
constexpr SharedObject kNoSharedObject = -1;

/// Creates the object `name` of `size` bytes, readable and writable, that
/// other processes of the current user can open by name. An object of that
/// name left behind by a process that ended is replaced.
SharedObject createSharedObject(const char *name, uint64_t size);

/// Opens the existing object `name` for reading, or for reading and writing.
SharedObject openSharedObject(const char *name, bool readOnly);

/// The object's size in bytes; false when it cannot be told.
bool sharedObjectSize(SharedObject object, uint64_t *size);

/// Maps `length` bytes from `offset` (a multiple of the granularity) of the
/// object, read-only or read-write. Null when the view is not within the
/// object or cannot be mapped.
void *mapSharedView(SharedObject object, uint64_t offset, uint64_t length, bool readOnly);

/// Unmaps a view made by `mapSharedView`.
void unmapSharedView(void *view, uint64_t length);

/// Closes the object; views made from it stay valid.
void closeSharedObject(SharedObject object);

/// Removes the name `name`: it cannot be opened any more, while those who
/// opened or mapped it keep their access.
void removeSharedObjectName(const char *name);

/// The granularity of view offsets, in bytes.
int sharedViewGranularity();

/// The current process's id.
int currentProcessId();

/// Whether a process with id `pid` exists.
bool processExists(int pid);

/// Sleeps for about one millisecond.
void sleepOneMillisecond();

} // namespace kv::os
