#pragma once

#include "kvsupport/strings/YString.h"

#include <cstdint>

/// The outcome of the last `FileLock::lock` or `FileLock::relock`.
enum FileLockError {
  FileLockNone = 0,         ///< the last attempt succeeded (or none was made)
  FileLockInUse = 1,        ///< another process holds the lock file
  FileLockAccessDenied = 2, ///< the lock file could not be created for lack of rights
  FileLockFailed = 3        ///< any other error
};

/// An advisory lock between processes on a file, held by keeping its lock
/// file (the file's path followed by ".lck") open and locked. While held,
/// the lock file names the holder as "user@host". A lock file left behind
/// by a process that ended blocks nobody: only a held lock refuses others.
///
/// A FileLock owns its lock file: it can be moved but not copied, so one
/// lock file is never closed or deleted twice. One thread at a time.
class FileLock {
public:
  /// No lock held.
  FileLock() = default;
  /// Releases a held lock, as `unlock`.
  ~FileLock();
  FileLock(const FileLock &) = delete;
  FileLock &operator=(const FileLock &) = delete;
  /// Takes over the other's lock; the other holds none afterwards.
  FileLock(FileLock &&other) noexcept;
  /// Releases this lock, then takes over the other's.
  FileLock &operator=(FileLock &&other) noexcept;

  /// Locks `path` by its lock file `path` + ".lck", without waiting.
  /// Releases a lock held on another lock file first. Returns whether the
  /// lock is now held; `getError` tells why not.
  bool lock(const YString &path);

  /// Releases the lock file held (if any) and takes it again. Returns
  /// whether the lock is now held. False with FileLockFailed when no path
  /// was ever given.
  bool relock();

  /// When a lock is held, deletes the lock file and closes it.
  void unlock();

  /// Whether a lock is held.
  bool locked() const { return handle_ >= 0; }

  /// The outcome of the last attempt.
  FileLockError getError() const;

  /// The lock file's path; empty before the first `lock`.
  YString getLockPath() const { return path_; }

private:
  intptr_t handle_ = -1;
  YString path_;
  uint32_t error_ = 0;
};
