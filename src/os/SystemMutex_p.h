// Internal header, not API: the platform's system-wide named mutexes.
#pragma once

#include "kvsupport/threads/YSystemMutex.h"

namespace kv::os {

/// One open handle of a named mutex.
struct SystemMutex;

/// Creates or opens the mutex `name`; null on failure.
SystemMutex *openSystemMutex(const char *name);

/// Waits for ownership as `YSystemMutex::wait` describes.
MutexWaitStatus waitSystemMutex(SystemMutex *mutex, int timeoutMs);

/// Gives up one ownership held by the calling thread; false when it holds none.
bool releaseSystemMutex(SystemMutex *mutex);

/// Closes the handle. The calling thread must own the mutex no more through it.
void closeSystemMutex(SystemMutex *mutex);

} // namespace kv::os
