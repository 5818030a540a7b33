#include "kvsupport/threads/ThreadPriority.h"

#include "kvsupport/threads/KvThread.h"

#include "common/ChildProcess.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

int niceOf(uint32_t thread) { return getpriority(PRIO_PROCESS, thread); }

// Child side: runs `steps` of (class to set, expected result, class then
// read, nice then seen on another thread, policy then seen on this one)
// and ends with _Exit, so that nothing of the test harness runs after a
// change of user. A failing step is told by its number.
struct Step {
  int set;
  bool accepted;
  ThreadPriority after;
  int otherNice;
  int callerPolicy;
};

template <size_t N> int runSteps(const Step (&steps)[N]) {
  std::atomic<uint32_t> otherId{0};
  std::atomic<bool> stop{false};
  std::thread other([&] {
    otherId = sp_GetThreadId();
    while (!stop)
      usleep(1000);
  });
  while (otherId == 0)
    std::this_thread::yield();
  int failed = 0;
  for (size_t i = 0; i < N && !failed; ++i) {
    const Step &s = steps[i];
    const bool accepted = sp_SetThreadPriority(s.set);
    if (accepted != s.accepted || sp_GetThreadPriority() != s.after ||
        niceOf(otherId) != s.otherNice || sched_getscheduler(0) != s.callerPolicy) {
      std::fprintf(stderr, "step %zu: accepted %d, class %d, other nice %d, policy %d\n", i,
                   accepted, sp_GetThreadPriority(), niceOf(otherId), sched_getscheduler(0));
      failed = static_cast<int>(i) + 1;
    }
  }
  stop = true;
  other.join();
  return failed;
}

// As root the classes go both ways; without privileges (root gives them
// up) a higher class is refused and idle has no way back.
int classesInChild() {
  const Step privileged[] = {
      {ThreadPriorityHigh, true, ThreadPriorityHigh, -10, SCHED_OTHER},
      {ThreadPriorityIdle, true, ThreadPriorityIdle, 19, SCHED_IDLE},
      {ThreadPriorityNormal, true, ThreadPriorityNormal, 0, SCHED_OTHER},
  };
  const Step unprivileged[] = {
      {3, false, ThreadPriorityNormal, 0, SCHED_OTHER},
      {ThreadPriorityHigh, false, ThreadPriorityNormal, 0, SCHED_OTHER},
      {ThreadPriorityNormal, true, ThreadPriorityNormal, 0, SCHED_OTHER},
      {ThreadPriorityIdle, true, ThreadPriorityIdle, 19, SCHED_IDLE},
      {ThreadPriorityNormal, false, ThreadPriorityIdle, 19, SCHED_IDLE},
  };
  if (geteuid() == 0) {
    if (const int failed = runSteps(privileged))
      return failed;
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
      return 100;
  }
  return runSteps(unprivileged);
}

TEST(ThreadPriorityTest, ClassesAndRefusals) {
  if (kvtest::childRole() == "classes") {
    std::fflush(stdout);
    std::_Exit(classesInChild());
  }
  if (sp_GetThreadPriority() != ThreadPriorityNormal || niceOf(sp_GetThreadId()) != 0)
    GTEST_SKIP() << "the tests do not run at normal priority";
  EXPECT_EQ(kvtest::runChild("ThreadPriorityTest.ClassesAndRefusals", "classes"), 0);
}

} // namespace
