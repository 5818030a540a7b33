#pragma once

namespace kv::detail {
struct SharedRecursiveMutex;
} // namespace kv::detail

/// A recursive mutex for the threads of one process: the thread that holds
/// it may lock it again, and unlocks it as often as it locked it. Copies and
/// assignments share one mutex, so the objects then guard the same data;
/// the mutex goes with the last object that shares it. An unlock by a
/// thread that does not hold it does nothing.
class YMutex {
public:
  YMutex();
  /// Shares `other`'s mutex.
  YMutex(const YMutex &other);
  /// Gives up this object's mutex and shares `other`'s.
  YMutex &operator=(const YMutex &other);
  ~YMutex();

  /// Waits until no other thread holds the mutex, then takes it once more.
  void lock();
  /// Gives back one lock taken by the calling thread.
  void unlock();

private:
  kv::detail::SharedRecursiveMutex *shared_;
};

/// Holds a YMutex locked for its own lifetime. A null mutex is ignored.
class YMutexLocker {
public:
  explicit YMutexLocker(YMutex *mutex) : mutex_(mutex) {
    if (mutex_)
      mutex_->lock();
  }
  ~YMutexLocker() {
    if (mutex_)
      mutex_->unlock();
  }
  YMutexLocker(const YMutexLocker &) = delete;
  YMutexLocker &operator=(const YMutexLocker &) = delete;

private:
  YMutex *mutex_;
};
