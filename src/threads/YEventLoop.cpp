#include "kvsupport/threads/YEventLoop.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>

#include <mutex>

// The dispatcher an exec() waits in, for exit() to wake. It is known only
// while exec() runs, under a lock, so exit() never wakes a dispatcher that
// its thread has destroyed meanwhile. A wake-up that comes before the wait
// is kept by the dispatcher and ends the wait at once.
struct kv::detail::EventLoopWaker {
  std::mutex lock;
  QAbstractEventDispatcher *dispatcher = nullptr;
};

YEventLoop::YEventLoop() : waker_(new kv::detail::EventLoopWaker) {}

YEventLoop::~YEventLoop() { delete waker_; }

void YEventLoop::exec() {
  exit_.store(false, std::memory_order_release);
  QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
  if (!dispatcher)
    return;
  {
    std::lock_guard<std::mutex> guard(waker_->lock);
    waker_->dispatcher = dispatcher;
  }
  // An exit() that came after the flag was cleared but before the
  // dispatcher was known has woken nobody: it is seen here instead.
  if (!exit_.load(std::memory_order_acquire))
    dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
  std::lock_guard<std::mutex> guard(waker_->lock);
  waker_->dispatcher = nullptr;
}

void YEventLoop::exit() {
  exit_.store(true, std::memory_order_release);
  std::lock_guard<std::mutex> guard(waker_->lock);
  if (waker_->dispatcher)
    waker_->dispatcher->wakeUp();
}
