#include "kvsupport/threads/KvThread.h"

#include "kvsupport/threads/Clock.h"

#include "common/ChildProcess.h"
#include "common/ProcessSync.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <functional>

#if defined(__SANITIZE_THREAD__)
#define KV_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KV_UNDER_TSAN 1
#endif
#endif

namespace {

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

// A thread id is running while its thread lives; a process that ended but
// was not reaped yet is not, nor are ids no thread can have.
TEST(KvThreadTest, RunningThreadIds) {
  EXPECT_TRUE(sp_IsThreadRunning(sp_GetThreadId()));
  EXPECT_FALSE(sp_IsThreadRunning(0) || sp_IsThreadRunning(0x80000000u));
  const pid_t ended = ::fork();
  if (ended == 0)
    ::_exit(0);
  EXPECT_TRUE(kvtest::waitUntil([&] { return !sp_IsThreadRunning(static_cast<uint32_t>(ended)); }));
  EXPECT_EQ(::waitpid(ended, nullptr, 0), ended);
}

// Child side. Destruction waits a second for a body that ignores the
// request, then terminates it, unwinding its stack. Then a thread that
// cannot be made (no process of this user may be added) is neither running
// nor to be waited for. _Exit: nothing of the harness runs after the change
// of user.
int childMain() {
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
    std::_Exit(childMain());
  EXPECT_EQ(kvtest::runChild("KvThreadTest.StubbornAndUnmadeThreads", "child"), 0);
}

} // namespace
