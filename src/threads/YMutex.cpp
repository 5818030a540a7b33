#include "kvsupport/threads/YMutex.h"

#include <atomic>
#include <mutex>
#include <thread>

// One mutex shared by every YMutex copied from the same original. The owner
// and its depth are kept beside the mutex so that an unlock by a thread
// that holds nothing is refused: std::recursive_mutex would be corrupted by
// it. Only the holder writes `depth`, and it reads it only after seeing its
// own id in `owner`.
struct kv::detail::SharedRecursiveMutex {
  std::recursive_mutex mutex;
  std::atomic<int> references{1};
  std::atomic<std::thread::id> owner{};
  int depth = 0;
};

namespace {

using Shared = kv::detail::SharedRecursiveMutex;

Shared *share(Shared *shared) {
  shared->references.fetch_add(1, std::memory_order_relaxed);
  return shared;
}

void release(Shared *shared) {
  if (shared->references.fetch_sub(1, std::memory_order_acq_rel) == 1)
    delete shared;
}

} // namespace

YMutex::YMutex() : shared_(new Shared) {}

YMutex::YMutex(const YMutex &other) : shared_(share(other.shared_)) {}

YMutex &YMutex::operator=(const YMutex &other) {
  if (shared_ != other.shared_) {
    Shared *previous = shared_;
    shared_ = share(other.shared_);
    release(previous);
  }
  return *this;
}

YMutex::~YMutex() { release(shared_); }

void YMutex::lock() {
  shared_->mutex.lock();
  shared_->owner.store(std::this_thread::get_id(), std::memory_order_relaxed);
  ++shared_->depth;
}

void YMutex::unlock() {
  if (shared_->owner.load(std::memory_order_relaxed) != std::this_thread::get_id())
    return;
  if (--shared_->depth == 0)
    shared_->owner.store(std::thread::id(), std::memory_order_relaxed);
  shared_->mutex.unlock();
}
