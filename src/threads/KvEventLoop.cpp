#include "kvsupport/threads/KvEventLoop.h"

#include <QEventLoop>
#include <QThread>

KvEventLoop::KvEventLoop() : loop_(new QEventLoop) {}

KvEventLoop::~KvEventLoop() { delete loop_; }

int KvEventLoop::exec() {
  if (loop_->thread() != QThread::currentThread() || loop_->isRunning())
    return -1;
  return loop_->exec();
}

// QEventLoop::exit sets an atomic flag and wakes the loop's dispatcher,
// which is safe from any thread.
void KvEventLoop::exit() { loop_->exit(0); }
