#include "kvsupport/threads/GenericTimer.h"

#include "kvsupport/threads/Clock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace {

// What a test learns about its TimerObject, kept apart from it so that it
// can be read after the object is gone.
struct Probe {
  std::atomic<int> calls{0};
  std::atomic<bool> destroyed{false};
  std::function<void(int)> onCall; // set before the timer starts
  std::function<void()> onDestroy;
};

class ProbeObject : public TimerObject {
public:
  explicit ProbeObject(std::shared_ptr<Probe> probe) : probe_(std::move(probe)) {}
  ~ProbeObject() override {
    probe_->destroyed = true;
    if (probe_->onDestroy)
      probe_->onDestroy();
  }
  void timerCallback(int id) override {
    ++probe_->calls;
    if (probe_->onCall)
      probe_->onCall(id);
  }

private:
  std::shared_ptr<Probe> probe_;
};

// Runs this thread's event loop until `done` holds or `timeoutMs` passes.
bool pumpUntil(const std::function<bool()> &done, int timeoutMs = 5000) {
  const double deadline = sp_GetPerfTime() + timeoutMs / 1000.0;
  while (!done()) {
    if (sp_GetPerfTime() > deadline)
      return false;
    QCoreApplication::processEvents();
    QThread::msleep(1);
  }
  return true;
}

// Identifiers count up and are never reused; idle until started, stopped by
// a kill until started again; a single shot calls back once per start,
// however often it was started.
TEST(GenericTimerTest, StartKillAndSingleShot) {
  auto probe = std::make_shared<Probe>(), once = std::make_shared<Probe>();
  const int id = sp_CreateTimer(0, false, new ProbeObject(probe));
  const int shot = sp_CreateTimer(5, true, new ProbeObject(once));
  EXPECT_FALSE(sp_StartTimer(id, -5));
  EXPECT_TRUE(sp_StartTimer(shot, 5)); // two Qt timers, still one call-back
  pumpUntil([] { return false; }, 50);
  EXPECT_EQ(probe->calls, 0);
  EXPECT_EQ(once->calls, 1);
  EXPECT_EQ(sp_GetTimerInterval(shot), 0);
  EXPECT_TRUE(sp_StartTimer(shot, 5) && sp_StartTimer(id, 5));
  EXPECT_TRUE(pumpUntil([&] { return probe->calls >= 2 && once->calls == 2; }));
  EXPECT_TRUE(sp_KillTimer(id));
  EXPECT_EQ(sp_GetTimerInterval(id), 0);
  const int calls = probe->calls;
  pumpUntil([] { return false; }, 50);
  EXPECT_EQ(probe->calls, calls);
  EXPECT_EQ(once->calls, 2);
  EXPECT_TRUE(sp_DeleteTimer(id)); // the older of two: unlinked from behind the newer
  EXPECT_TRUE(probe->destroyed);
  EXPECT_NE(sp_GetTimerData(shot), nullptr);
  EXPECT_TRUE(sp_DeleteTimer(shot));
  EXPECT_EQ(sp_CreateTimer(0, false, nullptr), shot + 1);
  EXPECT_FALSE(sp_StartTimer(shot, 10) || sp_KillTimer(shot) || sp_DeleteTimer(shot));
  EXPECT_TRUE(sp_DeleteTimer(shot + 1));
}

// What "Exit" does, here from a timer's own call-back: that timer goes when
// its call-back returns, the others at once. A timer made by a destructor
// while every timer is deleted belongs to the next list.
TEST(GenericTimerTest, DeleteTimersDetachesTheListFirst) {
  auto running = std::make_shared<Probe>(), idle = std::make_shared<Probe>(),
       born = std::make_shared<Probe>();
  int bornId = 0;
  bool aliveMeanwhile = false;
  running->onCall = [&](int id) {
    deleteTimers();
    aliveMeanwhile = !running->destroyed && !sp_GetTimerData(id) && !sp_DeleteTimer(id);
  };
  idle->onDestroy = [&] { bornId = sp_CreateTimer(0, false, new ProbeObject(born)); };
  sp_CreateTimer(0, false, new ProbeObject(idle));
  sp_CreateTimer(5, false, new ProbeObject(running));
  EXPECT_TRUE(pumpUntil([&] { return running->destroyed.load(); }));
  EXPECT_TRUE(aliveMeanwhile);
  EXPECT_TRUE(idle->destroyed);
  EXPECT_TRUE(sp_DeleteTimer(bornId));
  EXPECT_TRUE(born->destroyed);
}

// Only the creating thread starts, kills and deletes a timer, and its
// call-backs arrive on that thread's loop, where it may delete itself; a thread without an event
// loop can own timers, but not start them. A timer left behind by an ended thread goes with
// deleteTimers.
TEST(GenericTimerTest, CallBacksArriveOnTheCreatingThreadsLoop) {
  auto probe = std::make_shared<Probe>(), left = std::make_shared<Probe>();
  std::atomic<int> timerId{0}, leftId{0};
  std::atomic<bool> aliveAfterDelete{false};
  probe->onCall = [&](int id) {
    if (probe->calls == 3) {
      aliveAfterDelete = sp_DeleteTimer(id) && !probe->destroyed; // goes after the call-back
      QThread::currentThread()->quit();                           // the worker's, or it never ends
    }
  };
  std::unique_ptr<QThread> worker(QThread::create([&] {
    leftId = sp_CreateTimer(0, false, new ProbeObject(left));
    timerId = sp_CreateTimer(5, false, new ProbeObject(probe));
    QEventLoop loop; // ended by the thread's quit()
    loop.exec();
  }));
  worker->start();
  while (timerId == 0)
    std::this_thread::yield();
  EXPECT_FALSE(sp_StartTimer(leftId, 5) || sp_KillTimer(timerId) || sp_DeleteTimer(timerId));
  ASSERT_TRUE(worker->wait(10000));
  EXPECT_EQ(probe->calls, 3);
  EXPECT_TRUE(aliveAfterDelete && probe->destroyed);
  // No event loop there: a timer can be owned, not started.
  std::thread([] { EXPECT_FALSE(sp_StartTimer(sp_CreateTimer(5, false, nullptr), 5)); }).join();
  worker.reset();
  deleteTimers();
  EXPECT_TRUE(left->destroyed);
}

} // namespace
