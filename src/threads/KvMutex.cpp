#include "kvsupport/threads/KvMutex.h"

#include <QMutex>

// The owner is recorded so that a stray unlock is refused instead of
// corrupting the mutex. Only the owner stores its own id, and it always
// sees its own last store, so relaxed order suffices for the check; the
// mutex itself orders everything else.
KvMutex::KvMutex() : mutex_(new QMutex) {}

KvMutex::~KvMutex() { delete mutex_; }

void KvMutex::lock() {
  mutex_->lock();
  owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

void KvMutex::unlock() {
  if (owner_.load(std::memory_order_relaxed) != std::this_thread::get_id())
    return;
  owner_.store(std::thread::id(), std::memory_order_relaxed);
  mutex_->unlock();
}

bool KvMutex::tryLock() {
  if (!mutex_->tryLock())
    return false;
  owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  return true;
}
