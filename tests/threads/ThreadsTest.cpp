// Clocks, mutexes inside and between processes, threads and their
// priorities, event loops, timers and named timers.
#include "kvsupport/streams/kvstrstream.h"
#include "kvsupport/threads/Clock.h"
#include "kvsupport/threads/CommandTimer.h"
#include "kvsupport/threads/GenericTimer.h"
#include "kvsupport/threads/KvEventLoop.h"
#include "kvsupport/threads/KvMutex.h"
#include "kvsupport/threads/KvThread.h"
#include "kvsupport/threads/KvTimer.h"
#include "kvsupport/threads/ThreadPriority.h"
#include "kvsupport/threads/YEventLoop.h"
#include "kvsupport/threads/YMutex.h"
#include "kvsupport/threads/YSystemMutex.h"

#include "common/ChildProcess.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <grp.h>
#include <memory>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// ---- Clock ----
std::atomic<int> signalsTaken{0};

// A sleep lasts at least its time, signals or not.
TEST(ClockTest, SleepGoesOnAfterASignal) {
  struct sigaction action = {}, previous;
  action.sa_handler = [](int) { ++signalsTaken; }; // no SA_RESTART: nanosleep fails with EINTR
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  std::atomic<bool> asleep{false}, awake{false};
  double slept = 0;
  std::thread sleeper([&] {
    asleep = true;
    const double start = sp_GetPerfTime();
    sp_Sleep(300);
    slept = sp_GetPerfTime() - start;
    awake = true;
  });
  while (!asleep)
    std::this_thread::yield();
  // Signals only while the sleeper sleeps: a loaded machine may stretch
  // the gaps past its whole sleep.
  for (int i = 0; i < 3 && !awake; ++i) {
    sp_Sleep(5);
    if (!awake)
      pthread_kill(sleeper.native_handle(), SIGUSR1);
  }
  sleeper.join();
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_GE(signalsTaken, 1);
  EXPECT_GE(slept, 0.3);
}

// ---- KvMutex ----
using namespace std::chrono_literals;

// Unlocks by a thread that does not hold the mutex are ignored.
TEST(KvMutexTest, TryLockAnswersAtOnce) {
  KvMutex mutex;
  EXPECT_TRUE(mutex.tryLock());
  EXPECT_FALSE(mutex.tryLock()); // not recursive
  std::thread([&] {
    mutex.unlock(); // not ours: ignored
    EXPECT_FALSE(mutex.tryLock());
  }).join();
  mutex.unlock();
  EXPECT_TRUE(mutex.tryLock());
  mutex.unlock();
}

// The holder locks again and unlocks as often; copies and assignments share
// one mutex, which outlives the original.
TEST(YMutexTest, RecursiveAndSharedByCopies) {
  auto original = std::make_unique<YMutex>();
  YMutex copy(*original), assigned;
  assigned = *original;
  original->lock();
  original->lock();
  std::atomic<int> got{0};
  std::thread other([&] {
    assigned.unlock(); // held by another thread: ignored
    for (YMutex *mutex : {&copy, &assigned}) {
      YMutexLocker locker(mutex);
      ++got;
    }
  });
  std::this_thread::sleep_for(50ms);
  original->unlock();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(got, 0);
  original->unlock();
  other.join();
  EXPECT_EQ(got, 2);
  original.reset();
  { YMutexLocker outer(&copy); }
  { YMutexLocker nothing(nullptr); }
}

// ---- YSystemMutex ----
// Child side, on the mutex named in KV_MUTEX: adds 1 to the number in the
// file KV_COUNTER 300 times, reading and rewriting it under the mutex; or
// owns the mutex, says so in KV_READY, and holds it until told to let go by
// KV_STOP or until it is killed.
int mutexChild() {
  const uint64_t handle = sp_CreateMutex(kvtest::env("KV_MUTEX").c_str(), false);
  const std::string counter = kvtest::env("KV_COUNTER"), stop = kvtest::env("KV_STOP");
  for (int i = 0; i < (counter.empty() ? 1 : 300); ++i) {
    if (!sp_AcquireMutex(handle, -1))
      return 2;
    if (counter.empty()) {
      kvtest::touchFile(kvtest::env("KV_READY"));
      if (!kvtest::waitUntil([&] { return kvtest::fileExists(stop); }, 60000))
        return 3;
    } else {
      kvtest::writeFile(counter, std::to_string(std::stoi(kvtest::readFile(counter)) + 1));
    }
    if (!sp_ReleaseMutex(handle))
      return 4;
  }
  sp_CloseMutex(handle);
  return 0;
}

// The shared-memory objects of this user whose names hold `fragment`.
QStringList objectsNamed(const std::string &fragment) {
  return QDir("/dev/shm").entryList({QString::fromStdString("*" + fragment + "*")}, QDir::Files);
}

// Whether another thread, with a handle of its own, can take `name` at once.
bool otherThreadTakes(const std::string &name) {
  bool taken = false;
  std::thread([&] {
    const uint64_t handle = sp_CreateMutex(name.c_str(), false);
    taken = sp_AcquireMutex(handle, 0);
    sp_CloseMutex(handle);
  }).join();
  return taken;
}

// Two children counting under the mutex exclude each other. Then the first
// owner lets go and a waiter gets the mutex; the second dies while a waiter
// without limit is blocked: abandonment is told once, and the dead owner's
// open handle does not keep the name alive.
TEST(YSystemMutexTest, OwnerInAnotherProcessReleasesOrDies) {
  if (kvtest::childRole() == "mutex")
    std::exit(mutexChild());
  const std::string dir = kvtest::makeTempDir("kvmutex"), name = kvtest::uniqueName("kv_mutex_");
  const std::string counter = dir + "/counter";
  kvtest::writeFile(counter, "0");
  const kvtest::EnvList counting = {{"KV_MUTEX", kvtest::uniqueName("kv_mutex_count_")},
                                    {"KV_COUNTER", counter}};
  auto first = kvtest::startChild(kvtest::currentTest(), "mutex", counting);
  auto second = kvtest::startChild(kvtest::currentTest(), "mutex", counting);
  EXPECT_EQ(kvtest::waitChild(*first), 0);
  EXPECT_EQ(kvtest::waitChild(*second), 0);
  EXPECT_EQ(kvtest::readFile(counter), "600");

  auto hold = [&](const std::string &round) {
    return kvtest::startReady("mutex", dir + "/ready" + round,
                              {{"KV_MUTEX", name}, {"KV_STOP", dir + "/stop" + round}});
  };
  std::unique_ptr<QProcess> child = hold("1");
  {
    YSystemMutex mutex(YString(name.c_str()));
    EXPECT_EQ(objectsNamed(name).size(), 1);
    MutexWaitStatus status = MutexAcquired;
    EXPECT_FALSE(mutex.wait(50, &status));
    EXPECT_EQ(status, MutexTimedOut);
    EXPECT_FALSE(mutex.release());                     // not ours
    EXPECT_EQ(sp_CreateMutex(name.c_str(), true), 0u); // no handle that pretends ownership
    kvtest::touchFile(dir + "/stop1");
    EXPECT_TRUE(mutex.wait(-1));
    EXPECT_EQ(kvtest::waitChild(*child), 0);
    EXPECT_TRUE(mutex.release());

    child = hold("2");
    std::future<MutexWaitStatus> waiter = std::async(std::launch::async, [&] {
      MutexWaitStatus result = MutexWaitFailed;
      mutex.wait(-1, &result);
      mutex.release();
      return result;
    });
    child->kill();
    child->waitForFinished();
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(waiter.get(), MutexAbandoned);
    EXPECT_TRUE(mutex.wait(1000, &status));
    EXPECT_EQ(status, MutexAcquired);
    EXPECT_TRUE(mutex.release());
  }
  EXPECT_TRUE(objectsNamed(name).isEmpty());
  kvtest::removeTree(dir);
}

// The owning thread may take the mutex again and must release it as often;
// closing a handle gives back what was taken through it. A null name is
// refused.
TEST(YSystemMutexTest, OwnerThreadMayWaitAgainOthersMayNot) {
  EXPECT_EQ(sp_CreateMutex(nullptr, false), 0u);
  const std::string name = kvtest::uniqueName("kv_mutex_threads_");
  YSystemMutex mutex(YString(name.c_str()));
  ASSERT_TRUE(mutex.wait(0));
  const uint64_t owning = sp_CreateMutex(name.c_str(), true);
  ASSERT_NE(owning, 0u);
  ASSERT_TRUE(mutex.wait(0)); // owned three times now
  EXPECT_TRUE(mutex.release());
  EXPECT_TRUE(mutex.release());
  EXPECT_FALSE(otherThreadTakes(name)); // still owned through the handle
  sp_CloseMutex(owning);
  EXPECT_FALSE(sp_AcquireMutex(owning, 0)); // closed handles are forgotten
  EXPECT_FALSE(mutex.release());
  EXPECT_TRUE(otherThreadTakes(name));
  // Names too long to keep whole differ by their ends all the same.
  YSystemMutex longA(YString((name + std::string(300, 'x') + "a").c_str()));
  ASSERT_TRUE(longA.wait(0));
  EXPECT_TRUE(otherThreadTakes(name + std::string(300, 'x') + "b"));
}

// ---- KvThread ----
#if defined(__SANITIZE_THREAD__)
#define KV_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KV_UNDER_TSAN 1
#endif
#endif

// A thread whose body the test supplies; its destructor waits for the body,
// as the header asks of subclasses, unless it is to show a body that
// ignores the request to end.
class TestThread : public KvThread {
public:
  explicit TestThread(std::function<void()> body, bool waits = true)
      : body_(std::move(body)), waits_(waits) {}
  ~TestThread() override {
    if (waits_)
      wait(-1);
  }
  void run() override { body_(); }

private:
  std::function<void()> body_;
  bool waits_;
};

// A thread that never ran, and one that ended, are not running and need no
// wait; wait() orders the body's plain writes before the caller's reads.
TEST(KvThreadTest, RunsTheBodyAndPublishesItsEnd) {
  std::atomic<bool> gate{false};
  int written = 0; // plain memory: wait() must order it before the read
  TestThread thread([&] {
    while (!gate)
      sp_Sleep(1);
    ++written;
  });
  EXPECT_FALSE(thread.running());
  EXPECT_TRUE(thread.wait(0)); // never started
  thread.start();
  EXPECT_TRUE(thread.running());
  EXPECT_FALSE(thread.wait(20));
  gate = true;
  ASSERT_TRUE(thread.wait(-1));
  EXPECT_FALSE(thread.running());
  EXPECT_EQ(written, 1);

  thread.start(); // a finished thread starts again
  ASSERT_TRUE(thread.wait(10000));
  EXPECT_EQ(written, 2);
}

// A thread id is running while its thread lives; a process that ended is
// not, reaped or not, nor are ids no thread can have.
TEST(KvThreadTest, RunningThreadIds) {
  EXPECT_TRUE(sp_IsThreadRunning(sp_GetThreadId()));
  EXPECT_FALSE(sp_IsThreadRunning(0) || sp_IsThreadRunning(0x80000000u));
  const pid_t ended = ::fork();
  if (ended == 0)
    ::_exit(0);
  EXPECT_TRUE(kvtest::waitUntil([&] { return !sp_IsThreadRunning(static_cast<uint32_t>(ended)); }));
  EXPECT_EQ(::waitpid(ended, nullptr, 0), ended);
  EXPECT_FALSE(sp_IsThreadRunning(static_cast<uint32_t>(ended))) << "reaped: no such thread";
}

// Child side. Destruction waits a second for a body that ignores the
// request, then terminates it, unwinding its stack. Then a thread that
// cannot be made (no process of this user may be added) is neither running
// nor to be waited for. _Exit: nothing of the harness runs after the change
// of user.
int threadsChild() {
#ifndef KV_UNDER_TSAN // ThreadSanitizer misreports cancellation in a sleep
  std::atomic<bool> unwound{false}, started{false};
  auto *stubborn = new TestThread(
      [&] {
        struct Unwound {
          std::atomic<bool> &flag;
          ~Unwound() { flag = true; }
        } guard{unwound};
        started = true;
        for (;;)
          sp_Sleep(5);
      },
      false);
  stubborn->start();
  while (!started)
    sp_Sleep(1);
  const double start = sp_GetPerfTime();
  delete stubborn;
  const double elapsed = sp_GetPerfTime() - start;
  if (elapsed < 0.95 || elapsed > 3.0 || !unwound)
    return 1;
#endif
  const rlimit none = {0, 0};
  if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
    return 100;
  if (setrlimit(RLIMIT_NPROC, &none) != 0)
    return 101;
  TestThread thread([] {});
  thread.start();
  return !thread.running() && thread.wait(0) ? 0 : 2;
}

TEST(KvThreadTest, StubbornAndUnmadeThreads) {
  if (kvtest::childRole() == "child")
    std::_Exit(threadsChild());
  EXPECT_EQ(kvtest::runChild(kvtest::currentTest(), "child"), 0);
}

// ---- ThreadPriority ----
int niceOf(uint32_t thread) { return getpriority(PRIO_PROCESS, thread); }

// Child side: each step is (class to set, expected result, class then read,
// nice then seen on another thread, policy then seen on this one). As root
// the classes go both ways; without privileges (root gives them up) a
// higher class is refused and idle has no way back. A failing step is told
// by its number.
int classesInChild() {
  const struct {
    bool asRoot;
    int set;
    bool accepted;
    ThreadPriority after;
    int otherNice, callerPolicy;
  } steps[] = {
      {true, ThreadPriorityHigh, true, ThreadPriorityHigh, -10, SCHED_OTHER},
      {true, ThreadPriorityIdle, true, ThreadPriorityIdle, 19, SCHED_IDLE},
      {true, ThreadPriorityNormal, true, ThreadPriorityNormal, 0, SCHED_OTHER},
      {false, 3, false, ThreadPriorityNormal, 0, SCHED_OTHER},
      {false, ThreadPriorityHigh, false, ThreadPriorityNormal, 0, SCHED_OTHER},
      {false, ThreadPriorityIdle, true, ThreadPriorityIdle, 19, SCHED_IDLE},
      {false, ThreadPriorityNormal, false, ThreadPriorityIdle, 19, SCHED_IDLE},
  };
  std::atomic<uint32_t> otherId{0};
  std::thread([&] {
    otherId = sp_GetThreadId();
    for (;;)
      usleep(1000);
  }).detach();
  while (otherId == 0)
    std::this_thread::yield();
  for (size_t i = 0; i < sizeof steps / sizeof *steps; ++i) {
    const auto &s = steps[i];
    if (s.asRoot && geteuid() != 0) // root's steps come first
      continue;
    if (!s.asRoot && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
      return 100;
    const bool accepted = sp_SetThreadPriority(s.set);
    if (accepted != s.accepted || sp_GetThreadPriority() != s.after ||
        niceOf(otherId) != s.otherNice || sched_getscheduler(0) != s.callerPolicy)
      return static_cast<int>(i) + 1;
  }
  return 0;
}

TEST(ThreadPriorityTest, ClassesAndRefusals) {
  if (kvtest::childRole() == "classes") {
    std::fflush(stdout);
    std::_Exit(classesInChild());
  }
  if (sp_GetThreadPriority() != ThreadPriorityNormal || niceOf(sp_GetThreadId()) != 0)
    GTEST_SKIP() << "the tests do not run at normal priority";
  EXPECT_EQ(kvtest::runChild(kvtest::currentTest(), "classes"), 0);
}

// ---- KvEventLoop ----
// KvEventLoop runs until an exit from any thread, on its own thread only;
// YEventLoop handles one round of events per call.
TEST(KvEventLoopTest, RunsUntilExitFromAnyThread) {
  KvEventLoop loop;
  std::thread stopper([&] {
    sp_Sleep(30);
    loop.exit();
  });
  EXPECT_EQ(loop.exec(), 0);
  stopper.join();
  int elsewhere = 0;
  std::thread([&] { elsewhere = loop.exec(); }).join();
  EXPECT_EQ(elsewhere, -1);

  YEventLoop once;
  bool handled = false;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [&] { handled = true; }, Qt::QueuedConnection);
  // A wake-up left over from earlier work may end a call before the event
  // comes, as it may in any caller's loop.
  for (int call = 0; call < 10 && !handled; ++call)
    once.exec();
  EXPECT_TRUE(handled);
}

// An exit may come at any moment around the start of the wait; every one
// that comes after the flag was cleared must end it. Callers loop until the
// flag is set: an exit before a call is not remembered, and a wake-up meant
// for an earlier call may end a later one early.
TEST(YEventLoopTest, ExitFromAnotherThreadWakesTheWait) {
  YEventLoop loop;
  for (int round = 0; round < 50; ++round) {
    std::atomic<bool> returned{false};
    std::thread racer([&] {
      while (!returned) {
        loop.exit();
        std::this_thread::yield();
      }
    });
    do
      loop.exec();
    while (!loop.exitRequested());
    returned = true;
    racer.join();
  }
}

// ---- GenericTimer ----
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

// ---- KvTimer ----
std::string report() {
  kvstrstream stream;
  KvTimer::print(&stream);
  return stream.getString();
}

// Named timers are listed in order of their names without regard to case,
// copies and assignments never change membership, and the list goes with
// its last member.
TEST(KvTimerTest, ReportListsNamedTimersWithoutRegardToCase) {
  ASSERT_EQ(report(), ""); // no named timer lives between tests
  {
    KvTimer beta("Beta"), alpha("alpha"), unnamed, empty("");
    KvTimer copy(beta), assigned;
    assigned = beta;
    KvTimer other("other");
    other = KvTimer(); // stays listed, now without a name
    beta.startTimer();
    beta.startTimer();
    EXPECT_EQ(report(), ": Total 0, Last 0, Count0\nalpha: Total 0, Last 0, Count0\nBeta: Total 0, "
                        "Last 0, Count2\n");
  }
  EXPECT_EQ(report(), "");
}

// Sequences of start ('s') and end ('e'): only the outermost run counts, and
// its time goes from the outer start to the outer end.
TEST(CommandTimerTest, OnlyTheOutermostRunIsCounted) {
  const struct {
    const char *calls;
    int count, nestedStarts, depth;
  } cases[] = {
      {"se", 1, 0, 0},   {"ssee", 1, 1, 0},    {"sssee", 0, 2, 1},
      {"eese", 1, 0, 0}, {"sseesee", 2, 1, 0},
  };
  for (const auto &c : cases) {
    CommandTimer timer(YString("command"));
    for (const char *call = c.calls; *call; ++call)
      *call == 's' ? timer.start() : timer.end();
    EXPECT_EQ(timer.getCount(), c.count) << c.calls;
    EXPECT_EQ(timer.getNestedStarts(), c.nestedStarts) << c.calls;
    EXPECT_EQ(timer.getDepth(), c.depth) << c.calls;
  }

  CommandTimer timer(YString("Outer"));
  EXPECT_STREQ(timer.print().tocs(), "Outer;0;0;-10E99;10E99");
  timer.start();
  timer.start();
  timer.end();
  sp_Sleep(30);
  timer.end();
  EXPECT_GE(timer.getTotal(), 0.029);
}

} // namespace
