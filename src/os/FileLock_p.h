// Internal header, not API: lock files held open and locked between
// processes.
#pragma once

#include "kvsupport/files/FileLock.h"

#include <cstdint>

namespace kv::os {

/// Opens the lock file `path` (creating it when missing) and locks it
/// exclusively without waiting. Only once the lock is held is the file
/// emptied and `owner` written into it. Returns the handle of the held lock
/// file, or -1 with the platform's error code in `*error`.
intptr_t acquireLockFile(const char *path, const char *owner, uint32_t *error);

/// Deletes the lock file `path` while its lock is still held, then closes
/// the handle, so that nobody can take a lock on a file about to vanish.
void releaseLockFile(intptr_t handle, const char *path);

/// The meaning of a platform error code recorded by `acquireLockFile`.
FileLockError classifyLockError(uint32_t error);

/// "user@host" for the current user and the local machine.
YString lockOwnerName();

} // namespace kv::os
