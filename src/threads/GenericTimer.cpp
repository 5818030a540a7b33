// Interval timers: QObjects whose timer events come from the Qt event loop
// of the creating thread, kept in a process-wide list, newest first.
//
// The list and every timer's bookkeeping are guarded by one mutex, held
// only briefly and never while a call-back or a TimerObject's destructor
// runs, so a call-back may create, stop and delete timers, its own
// included, and run "Exit". A timer deleted from its own call-back leaves
// the list at once and is deleted when the call-back returns; Qt allows an
// object to be deleted during its own timer event.
//
// Qt refuses to start or stop an object's timers on any thread but the
// object's own, and without an event dispatcher; those cases are checked
// here first, so that a refused call returns false and records nothing.
#include "kvsupport/threads/GenericTimer.h"

#include "hooks/ExitRank_p.h"

#include <QAbstractEventDispatcher>
#include <QObject>
#include <QThread>
#include <QTimerEvent>
#include <QVector>

#include <atomic>
#include <cstdint>
#include <mutex>

TimerObject::~TimerObject() = default;

namespace {

class GenericTimer : public QObject {
public:
  GenericTimer(int id, bool singleShot, TimerObject *object)
      : id_(id), singleShot_(singleShot), object_(object) {}
  ~GenericTimer() override { delete object_; }

  // The fields below are guarded by `timersLock`.
  const int id_;
  const bool singleShot_;
  int interval_ = 0;
  TimerObject *const object_;
  QVector<int> qtTimers_;
  GenericTimer *next_ = nullptr;
  int inCallback_ = 0;    // call-backs in progress (nested event loops)
  bool detached_ = false; // out of the list, to be deleted after its call-back

  bool onOwnThread() const { return thread() == QThread::currentThread(); }
  void stopQtTimers() {
    for (int qtTimer : qtTimers_)
      killTimer(qtTimer);
    qtTimers_.clear();
  }

protected:
  void timerEvent(QTimerEvent *event) override;
};

std::mutex timersLock;
GenericTimer *timers = nullptr; // newest first
std::atomic<int32_t> lastTimerId{0};

GenericTimer *findTimer(int id) {
  for (GenericTimer *timer = timers; timer; timer = timer->next_)
    if (timer->id_ == id)
      return timer;
  return nullptr;
}

bool unlinkTimer(GenericTimer *timer) {
  for (GenericTimer **link = &timers; *link; link = &(*link)->next_)
    if (*link == timer) {
      *link = timer->next_;
      timer->next_ = nullptr;
      return true;
    }
  return false;
}

// With `timersLock` held.
bool startQtTimer(GenericTimer *timer, int intervalMs) {
  if (intervalMs < 0 || !timer->onOwnThread() || !QAbstractEventDispatcher::instance())
    return false;
  const int qtTimer = timer->startTimer(intervalMs, Qt::CoarseTimer);
  if (qtTimer == 0)
    return false;
  timer->qtTimers_.append(qtTimer);
  timer->interval_ = intervalMs;
  return true;
}

void GenericTimer::timerEvent(QTimerEvent *event) {
  {
    std::lock_guard<std::mutex> guard(timersLock);
    if (detached_ || !qtTimers_.contains(event->timerId()))
      return;
    if (singleShot_) {
      stopQtTimers();
      interval_ = 0;
    }
    ++inCallback_;
  }
  if (object_)
    object_->timerCallback(id_);
  bool deleteNow;
  {
    std::lock_guard<std::mutex> guard(timersLock);
    deleteNow = --inCallback_ == 0 && detached_;
  }
  if (deleteNow)
    delete this; // nothing of this object is touched after this
}

// Detaches `timer`, stopped, from everything; true when the caller is to
// delete it now, false when its running call-back will. `timersLock` held.
bool retire(GenericTimer *timer) {
  timer->stopQtTimers();
  timer->interval_ = 0;
  timer->detached_ = true;
  return timer->inCallback_ == 0;
}

void deleteTimersAtExit(void *) { deleteTimers(); }
const AutoFunc deleteTimersRegistration("Exit", deleteTimersAtExit, "deleteTimers",
                                        kv::detail::ExitRank::DeleteTimers);

} // namespace

int sp_CreateTimer(int intervalMs, bool singleShot, TimerObject *object) {
  const int id = lastTimerId.fetch_add(1, std::memory_order_relaxed) + 1;
  GenericTimer *timer = new GenericTimer(id, singleShot, object);
  std::lock_guard<std::mutex> guard(timersLock);
  timer->next_ = timers;
  timers = timer;
  if (intervalMs >= 1)
    startQtTimer(timer, intervalMs);
  return id;
}

bool sp_StartTimer(int id, int intervalMs) {
  std::lock_guard<std::mutex> guard(timersLock);
  GenericTimer *timer = findTimer(id);
  return timer && startQtTimer(timer, intervalMs);
}

bool sp_KillTimer(int id) {
  std::lock_guard<std::mutex> guard(timersLock);
  GenericTimer *timer = findTimer(id);
  if (!timer || !timer->onOwnThread())
    return false;
  timer->stopQtTimers();
  timer->interval_ = 0;
  return true;
}

bool sp_DeleteTimer(int id) {
  GenericTimer *doomed;
  {
    std::lock_guard<std::mutex> guard(timersLock);
    GenericTimer *timer = findTimer(id);
    if (!timer || !timer->onOwnThread())
      return false;
    unlinkTimer(timer);
    doomed = retire(timer) ? timer : nullptr;
  }
  delete doomed; // its TimerObject's destructor is the caller's code: no lock held
  return true;
}

TimerObject *sp_GetTimerData(int id) {
  std::lock_guard<std::mutex> guard(timersLock);
  GenericTimer *timer = findTimer(id);
  return timer ? timer->object_ : nullptr;
}

int sp_GetTimerInterval(int id) {
  std::lock_guard<std::mutex> guard(timersLock);
  GenericTimer *timer = findTimer(id);
  return timer ? timer->interval_ : -1;
}

void deleteTimers() {
  GenericTimer *list;
  {
    std::lock_guard<std::mutex> guard(timersLock);
    list = timers;
    timers = nullptr;
  }
  // The list is detached first: TimerObject destructors may create and
  // delete timers of their own.
  while (GenericTimer *timer = list) {
    list = timer->next_;
    timer->next_ = nullptr;
    if (!timer->onOwnThread()) {
      // Another thread's timer: that thread stops and deletes it while its
      // loop still runs; once the thread is gone, so are its timers' events.
      QThread *owner = timer->thread();
      if (owner && owner->isRunning() && owner->eventDispatcher()) {
        {
          std::lock_guard<std::mutex> guard(timersLock);
          timer->detached_ = true;
        }
        timer->deleteLater();
        continue;
      }
      {
        std::lock_guard<std::mutex> guard(timersLock);
        timer->qtTimers_.clear();
        timer->detached_ = true;
      }
      delete timer;
      continue;
    }
    bool deleteNow;
    {
      std::lock_guard<std::mutex> guard(timersLock);
      deleteNow = retire(timer);
    }
    if (deleteNow)
      delete timer;
  }
}
