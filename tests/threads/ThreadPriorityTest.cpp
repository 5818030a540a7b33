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
  EXPECT_EQ(kvtest::runChild("ThreadPriorityTest.ClassesAndRefusals", "classes"), 0);
}

} // namespace
