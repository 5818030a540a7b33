// Thread identifiers and priorities on Linux.
//
// Identifiers are kernel thread ids (gettid), the numbers /proc and the
// scheduler use. A thread is running while /proc/<id>/stat exists and its
// state is neither zombie nor dead.
//
// Linux keeps the nice value per thread, not per process, so the process's
// priority class is the nice value of every one of its threads (new threads
// inherit their creator's), and it is read from the main thread. High is
// nice -10 rather than a real-time policy: a busy simulator under a
// real-time policy would starve the rest of the machine, the desktop
// included. Idle is nice 19, and the calling thread also gets SCHED_IDLE.
// Normal is nice 0 under SCHED_OTHER.
//
// An unprivileged process may raise its nice values but not lower them
// again (RLIMIT_NICE aside), and may not leave SCHED_IDLE. The one change
// that can be refused is therefore made first, on one thread; when it is
// refused nothing else has been touched and the call fails.
#include "os/Thread_p.h"

#include "os/posix/PosixCalls_p.h"

#include <dirent.h>
#include <sched.h>
#include <sys/resource.h>

#include <cstdlib>
#include <string>
#include <vector>

#ifndef SCHED_DEADLINE
#define SCHED_DEADLINE 6
#endif

namespace kv::os {

namespace {

bool readNice(pid_t thread, int *nice) {
  errno = 0;
  const int value = ::getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
  if (value == -1 && errno != 0)
    return false;
  *nice = value;
  return true;
}

bool writeNice(pid_t thread, int nice) {
  return ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice) == 0;
}

std::vector<pid_t> processThreads() {
  std::vector<pid_t> threads;
  if (DIR *dir = ::opendir("/proc/self/task")) {
    while (const dirent *entry = ::readdir(dir)) {
      const long id = std::strtol(entry->d_name, nullptr, 10);
      if (id > 0)
        threads.push_back(static_cast<pid_t>(id));
    }
    ::closedir(dir);
  }
  if (threads.empty())
    threads.push_back(::gettid());
  return threads;
}

bool setCallerPolicy(int policy) {
  if (::sched_getscheduler(0) == policy)
    return true;
  sched_param parameter{};
  parameter.sched_priority = 0;
  return ::sched_setscheduler(0, policy, &parameter) == 0;
}

} // namespace

uint32_t currentThreadId() { return static_cast<uint32_t>(::gettid()); }

bool threadIsRunning(uint32_t id) {
  if (id == 0 || id > 0x7FFFFFFFu)
    return false;
  const std::string path = "/proc/" + std::to_string(id) + "/stat";
  const int fd = kv::posix::openFile(path.c_str(), O_RDONLY);
  if (fd < 0)
    return false;
  char text[512];
  const ssize_t size = kv::posix::retryOnInterrupt([&] { return ::read(fd, text, sizeof text); });
  kv::posix::closeFile(fd);
  if (size <= 0)
    return false;
  // "id (name) S ...": the name may hold blanks and parentheses itself.
  const std::string stat(text, static_cast<size_t>(size));
  const size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size())
    return false;
  const char state = stat[close + 2];
  return state != 'Z' && state != 'X' && state != 'x';
}

PriorityClass processPriorityClass() {
  const pid_t mainThread = ::getpid();
  const int policy = ::sched_getscheduler(mainThread);
  if (policy == SCHED_FIFO || policy == SCHED_RR || policy == SCHED_DEADLINE)
    return PriorityClass::High;
  int nice;
  if (!readNice(mainThread, &nice))
    return PriorityClass::Other;
  if (nice < 0)
    return PriorityClass::High;
  if (nice == 19)
    return PriorityClass::Idle;
  return nice == 0 ? PriorityClass::Normal : PriorityClass::Other;
}

bool setProcessPriorityClass(PriorityClass wanted) {
  int nice;
  switch (wanted) {
  case PriorityClass::High:
    nice = -10;
    break;
  case PriorityClass::Idle:
    nice = 19;
    break;
  case PriorityClass::Normal:
    nice = 0;
    break;
  default:
    return false;
  }
  struct Thread {
    pid_t id;
    int nice;
  };
  std::vector<Thread> threads;
  for (pid_t id : processThreads()) {
    int current;
    if (readNice(id, &current)) // a thread that ended meanwhile is left out
      threads.push_back({id, current});
  }

  // The change that may be refused: lowering a nice value.
  const Thread *lowered = nullptr;
  for (const Thread &thread : threads)
    if (thread.nice > nice) {
      if (!writeNice(thread.id, nice))
        return false;
      lowered = &thread;
      break;
    }

  const int callerPolicy = ::sched_getscheduler(0);
  bool policySet = true;
  if (wanted == PriorityClass::Idle)
    policySet = setCallerPolicy(SCHED_IDLE);
  else if (wanted == PriorityClass::Normal || callerPolicy == SCHED_IDLE ||
           callerPolicy == SCHED_BATCH)
    policySet = setCallerPolicy(SCHED_OTHER); // High keeps a real-time policy it was given
  if (!policySet) {
    if (lowered)
      writeNice(lowered->id, lowered->nice); // raising a nice value is always allowed
    return false;
  }

  for (const Thread &thread : threads)
    if (&thread != lowered && thread.nice != nice)
      writeNice(thread.id, nice); // a thread that ended meanwhile needs nothing
  return true;
}

} // namespace kv::os
