#pragma once

#include <atomic>
#include <thread>

class QMutex;

/// A non-recursive mutex for the threads of one process: a thread that
/// locks it twice without unlocking waits for itself for ever. Unlocking is
/// done by the thread that locked it; an unlock by any other thread, or of
/// a mutex that is not locked, does nothing. Not copyable.
class KvMutex {
public:
  KvMutex();
  ~KvMutex();
  KvMutex(const KvMutex &) = delete;
  KvMutex &operator=(const KvMutex &) = delete;

  /// Waits until the mutex is free and takes it.
  void lock();
  /// Gives the mutex back (see the class comment).
  void unlock();
  /// Takes the mutex when it is free, without waiting; true when it did.
  bool tryLock();

private:
  QMutex *mutex_;
  std::atomic<std::thread::id> owner_{};
};
