// KvThread over a QThread. The body's end is published through an atomic
// that wait() and running() read: QThread's own bookkeeping happens under
// Qt's mutex, which tools such as ThreadSanitizer cannot see into, so the
// release/acquire pair on the atomic is what orders the body's writes
// before the waiter's reads. The flag is set by a destructor, so it is set
// also when the body is terminated (cancellation unwinds the stack).
#include "kvsupport/threads/KvThread.h"

#include "os/Thread_p.h"

#include <QThread>

#include <atomic>
#include <climits>

class kv::detail::KvThreadRunner : public QThread {
public:
  explicit KvThreadRunner(KvThread *owner) : owner_(owner) {}

  std::atomic<bool> bodyDone{true}; // no body running

protected:
  void run() override {
    struct Done {
      std::atomic<bool> &flag;
      ~Done() { flag.store(true, std::memory_order_release); }
    } done{bodyDone};
    owner_->run();
  }

private:
  KvThread *owner_;
};

KvThread::KvThread() : thread_(new kv::detail::KvThreadRunner(this)) {}

KvThread::~KvThread() {
  if (!thread_->bodyDone.load(std::memory_order_acquire) && !thread_->wait(1000)) {
    // Only a thread that still runs is terminated.
    if (thread_->isRunning())
      thread_->terminate();
  }
  thread_->wait();
  delete thread_;
}

void KvThread::requestTerminate() {}

void KvThread::start() {
  if (!thread_->bodyDone.load(std::memory_order_acquire))
    return;
  thread_->wait(); // a body that returned may still be leaving its thread
  thread_->bodyDone.store(false, std::memory_order_relaxed);
  thread_->start(QThread::InheritPriority);
  // A thread that could not be created is neither running nor finished.
  if (!thread_->isRunning() && !thread_->isFinished())
    thread_->bodyDone.store(true, std::memory_order_release);
}

bool KvThread::running() const { return !thread_->bodyDone.load(std::memory_order_acquire); }

bool KvThread::wait(int timeoutMs) {
  const unsigned long limit = timeoutMs < 0 ? ULONG_MAX : static_cast<unsigned long>(timeoutMs);
  return thread_->wait(limit) && thread_->bodyDone.load(std::memory_order_acquire);
}

uint32_t sp_GetThreadId() { return kv::os::currentThreadId(); }

bool sp_IsThreadRunning(uint32_t id) { return kv::os::threadIsRunning(id); }
