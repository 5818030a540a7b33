#pragma once

#include "kvsupport/strings/YString.h"

#include <cstdint>

namespace kv::detail {
class SystemMutexHandle;
} // namespace kv::detail

/// The outcome of `YSystemMutex::wait`.
enum MutexWaitStatus {
  MutexAcquired = 0,  ///< the mutex is now owned
  MutexAbandoned = 1, ///< the mutex is now owned; its previous owner ended holding it
  MutexTimedOut = 2,  ///< the time-out passed
  MutexWaitFailed = 3 ///< the wait failed, or the mutex could not be created
};

/// A mutex that every process of the current user can open by its name.
/// Owned by the thread that waited for it; that thread may wait for it
/// again and then owns it once more. When an owner ends (or its process
/// dies) without releasing it, the next waiter gets it and is told
/// MutexAbandoned: whatever the mutex guarded may be half-updated.
///
/// Not copyable: the object owns its handle.
class YSystemMutex {
public:
  /// Creates the mutex `name`, or opens it when another process created it
  /// first. Not owned after construction. When it cannot be created, every
  /// `wait` answers MutexWaitFailed.
  explicit YSystemMutex(const YString &name);
  /// Releases every ownership this object took on this thread, then closes
  /// the handle.
  ~YSystemMutex();
  YSystemMutex(const YSystemMutex &) = delete;
  YSystemMutex &operator=(const YSystemMutex &) = delete;

  /// Waits for ownership for up to `timeoutMs` milliseconds; a negative
  /// time-out waits without limit, 0 only tries. Sets `*status` when
  /// `status` is not null. True for MutexAcquired and MutexAbandoned.
  bool wait(int timeoutMs, MutexWaitStatus *status = nullptr);

  /// Gives up one ownership taken by `wait` on this thread; false when this
  /// object holds none.
  bool release();

  /// Whether the mutex could be created or opened.
  bool isValid() const { return handle_ != nullptr; }

private:
  kv::detail::SystemMutexHandle *handle_;
};

/// Creates or opens the system-wide mutex `name` (UTF-8) and returns its
/// handle, 0 on failure (also for a null or empty name). With
/// `initialOwner` the calling thread takes ownership at once; when another
/// owner holds it, nothing stays open and the result is 0, so a non-zero
/// result always means what was asked for.
uint64_t sp_CreateMutex(const char *name, bool initialOwner);

/// Waits for the mutex of `handle` for up to `timeoutMs` milliseconds (a
/// negative time waits without limit, 0 only tries). True when it was
/// obtained, also when its former owner ended without releasing it. False
/// on time-out and for an unknown handle.
bool sp_AcquireMutex(uint64_t handle, int timeoutMs);

/// Releases one ownership of the mutex of `handle` taken on this thread;
/// false when there is none or the handle is unknown.
bool sp_ReleaseMutex(uint64_t handle);

/// Closes `handle`. Ownerships still taken through it on this thread are
/// released first, so that closing never leaves a mutex held for good.
/// Unknown handles are ignored.
void sp_CloseMutex(uint64_t handle);
