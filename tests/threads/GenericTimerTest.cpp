#include "kvsupport/threads/GenericTimer.h"

#include "kvsupport/threads/Clock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <functional>
#include <memory>
#include <thread>

namespace {

// What a test learns about its TimerObject, kept apart from it so that it
// can be read after the object is gone.
struct Probe {
  std::atomic<int> calls{0};
  std::atomic<bool> destroyed{false};
  std::atomic<std::thread::id> thread{};
  std::function<void(int)> onCall; // set before the timer starts
};

class ProbeObject : public TimerObject {
public:
  explicit ProbeObject(std::shared_ptr<Probe> probe) : probe_(std::move(probe)) {}
  ~ProbeObject() override { probe_->destroyed = true; }
  void timerCallback(int id) override {
    probe_->thread = std::this_thread::get_id();
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

void pumpFor(int ms) {
  pumpUntil([] { return false; }, ms);
}

TEST(GenericTimerTest, IdentifiersCountUpAndUnknownOnesAreRefused) {
  const int first = sp_CreateTimer(0, false, nullptr);
  const int second = sp_CreateTimer(0, false, nullptr);
  EXPECT_GE(first, 1);
  EXPECT_EQ(second, first + 1);
  EXPECT_TRUE(sp_DeleteTimer(first));
  EXPECT_EQ(sp_CreateTimer(0, false, nullptr), second + 1); // never reused
  EXPECT_TRUE(sp_DeleteTimer(second + 1));
  EXPECT_TRUE(sp_DeleteTimer(second));
  for (int id : {0, -1, first, second + 1000, INT_MIN, INT_MAX}) {
    EXPECT_EQ(sp_GetTimerInterval(id), -1) << id;
    EXPECT_EQ(sp_GetTimerData(id), nullptr) << id;
    EXPECT_FALSE(sp_StartTimer(id, 10) || sp_KillTimer(id) || sp_DeleteTimer(id)) << id;
  }
}

// Idle until started, stopped by a kill until started again; a single
// shot calls back once per start, however often it was started.
TEST(GenericTimerTest, StartKillAndSingleShot) {
  auto probe = std::make_shared<Probe>(), once = std::make_shared<Probe>();
  auto *object = new ProbeObject(probe);
  const int id = sp_CreateTimer(0, false, object), shot = sp_CreateTimer(5, true, new ProbeObject(once));
  EXPECT_EQ(sp_GetTimerData(id), object);
  EXPECT_FALSE(sp_StartTimer(id, -5)); // refused: nothing recorded
  EXPECT_EQ(sp_GetTimerInterval(id), 0);
  EXPECT_TRUE(sp_StartTimer(shot, 5)); // two Qt timers, still one call-back
  pumpFor(50);
  EXPECT_EQ(probe->calls, 0);
  EXPECT_EQ(once->calls, 1);
  EXPECT_EQ(sp_GetTimerInterval(shot), 0);
  EXPECT_TRUE(sp_StartTimer(shot, 5) && sp_StartTimer(id, 5));
  EXPECT_EQ(sp_GetTimerInterval(id), 5);
  EXPECT_TRUE(pumpUntil([&] { return probe->calls >= 2; }));
  EXPECT_TRUE(sp_KillTimer(id));
  EXPECT_EQ(sp_GetTimerInterval(id), 0);
  const int calls = probe->calls;
  pumpFor(50);
  EXPECT_EQ(probe->calls, calls);
  EXPECT_EQ(once->calls, 2);
  EXPECT_TRUE(sp_StartTimer(id, 5));
  EXPECT_TRUE(pumpUntil([&] { return probe->calls >= calls + 2; }));
  EXPECT_TRUE(sp_DeleteTimer(id) && sp_DeleteTimer(shot));
  EXPECT_TRUE(probe->destroyed && once->destroyed);
}

TEST(GenericTimerTest, DeleteFromTheCallBackWaitsForItsEnd) {
  auto probe = std::make_shared<Probe>();
  bool deleted = false, goneAtOnce = false, aliveMeanwhile = false, secondDelete = true;
  probe->onCall = [&](int id) {
    deleted = sp_DeleteTimer(id);
    goneAtOnce = sp_GetTimerData(id) == nullptr && sp_GetTimerInterval(id) == -1;
    secondDelete = sp_DeleteTimer(id);
    aliveMeanwhile = !probe->destroyed;
  };
  sp_CreateTimer(5, false, new ProbeObject(probe));
  EXPECT_TRUE(pumpUntil([&] { return probe->destroyed.load(); }));
  pumpFor(40);
  EXPECT_EQ(probe->calls, 1);
  EXPECT_TRUE(deleted);
  EXPECT_TRUE(goneAtOnce);
  EXPECT_FALSE(secondDelete);
  EXPECT_TRUE(aliveMeanwhile);
}

TEST(GenericTimerTest, CallsFromAnotherThreadAreRefused) {
  auto probe = std::make_shared<Probe>();
  const int id = sp_CreateTimer(0, false, new ProbeObject(probe));
  std::thread([&] {
    EXPECT_FALSE(sp_StartTimer(id, 5));
    EXPECT_FALSE(sp_KillTimer(id));
    EXPECT_FALSE(sp_DeleteTimer(id));
    EXPECT_EQ(sp_GetTimerInterval(id), 0);
    // A thread without an event loop can own timers, but not start them.
    const int own = sp_CreateTimer(5, false, nullptr);
    EXPECT_EQ(sp_GetTimerInterval(own), 0);
    EXPECT_FALSE(sp_StartTimer(own, 5));
    EXPECT_EQ(sp_GetTimerInterval(own), 0);
    EXPECT_TRUE(sp_DeleteTimer(own));
  }).join();
  EXPECT_FALSE(probe->destroyed);
  EXPECT_TRUE(sp_StartTimer(id, 5));
  EXPECT_TRUE(pumpUntil([&] { return probe->calls >= 1; }));
  EXPECT_TRUE(sp_DeleteTimer(id));
}

// A timer left behind by an ended thread goes with "Exit"'s deleteTimers.
TEST(GenericTimerTest, CallBacksArriveOnTheCreatingThreadsLoop) {
  auto probe = std::make_shared<Probe>(), left = std::make_shared<Probe>();
  std::atomic<int> timerId{0}, leftId{0};
  probe->onCall = [&](int id) {
    if (probe->calls == 3) {
      sp_DeleteTimer(id);
      QThread::currentThread()->quit();
    }
  };
  std::atomic<std::thread::id> workerId{};
  std::unique_ptr<QThread> worker(QThread::create([&] {
    workerId = std::this_thread::get_id();
    leftId = sp_CreateTimer(0, false, new ProbeObject(left));
    timerId = sp_CreateTimer(5, false, new ProbeObject(probe));
    QEventLoop loop; // ended by the thread's quit()
    loop.exec();
  }));
  worker->start();
  while (timerId == 0)
    std::this_thread::yield();
  EXPECT_FALSE(sp_KillTimer(timerId)); // not this thread's timer
  ASSERT_TRUE(worker->wait(10000));
  EXPECT_EQ(probe->calls, 3);
  EXPECT_TRUE(probe->destroyed);
  EXPECT_EQ(probe->thread.load(), workerId.load());
  EXPECT_EQ(sp_GetTimerData(timerId), nullptr);
  worker.reset();
  EXPECT_FALSE(left->destroyed);
  deleteTimers();
  EXPECT_TRUE(left->destroyed);
  EXPECT_EQ(sp_GetTimerData(leftId), nullptr);
}

// What "Exit" does, here from a timer's own call-back: that timer goes when
// its call-back returns, the others at once.
TEST(GenericTimerTest, DeleteTimersDetachesTheListFirst) {
  auto running = std::make_shared<Probe>(), idle = std::make_shared<Probe>();
  auto born = std::make_shared<Probe>();
  int bornId = 0;
  // A destructor that creates a timer while every timer is deleted: the
  // new one belongs to the next list and survives.
  class Spawning : public ProbeObject {
  public:
    Spawning(std::shared_ptr<Probe> probe, std::shared_ptr<Probe> child, int *childId)
        : ProbeObject(std::move(probe)), child_(std::move(child)), childId_(childId) {}
    ~Spawning() override { *childId_ = sp_CreateTimer(0, false, new ProbeObject(child_)); }

  private:
    std::shared_ptr<Probe> child_;
    int *childId_;
  };
  bool aliveAfterDeleteTimers = false;
  running->onCall = [&](int) {
    deleteTimers();
    aliveAfterDeleteTimers = !running->destroyed;
  };
  const int idleId = sp_CreateTimer(0, false, new Spawning(idle, born, &bornId));
  const int runningId = sp_CreateTimer(5, false, new ProbeObject(running));
  EXPECT_TRUE(pumpUntil([&] { return running->destroyed.load(); }));
  EXPECT_TRUE(aliveAfterDeleteTimers);
  EXPECT_EQ(running->calls, 1);
  EXPECT_TRUE(idle->destroyed);
  EXPECT_EQ(sp_GetTimerData(idleId), nullptr);
  EXPECT_EQ(sp_GetTimerData(runningId), nullptr);
  ASSERT_NE(bornId, 0);
  EXPECT_NE(sp_GetTimerData(bornId), nullptr);
  EXPECT_TRUE(sp_DeleteTimer(bornId));
  EXPECT_TRUE(born->destroyed);
}

} // namespace
