// Clocks on POSIX. Performance time is CLOCK_MONOTONIC: it never goes back
// and is not slewed by changes of the wall clock, which is what measured
// intervals need. The tick count is CLOCK_BOOTTIME, which, unlike the
// monotonic clock, keeps counting while the machine is suspended, so it
// really is the time since the system started. Epoch times come from
// CLOCK_REALTIME. All three are read through the vDSO, without a system call.
//
// Sleeping is nanosleep on the remaining time after every interruption, so a
// signal delivered to the thread never cuts a sleep short. nanosleep is a
// cancellation point, which is what lets a cancelled thread stop in a sleep.
#include "os/Clock_p.h"

#include "os/posix/PosixCalls_p.h"

#include <sched.h>
#include <time.h>

namespace kv::os {

bool monotonicNanoseconds(int64_t *nanoseconds) {
  timespec now;
  if (::clock_gettime(CLOCK_MONOTONIC, &now) != 0)
    return false;
  *nanoseconds = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
  return true;
}

uint64_t bootMilliseconds() {
  timespec now;
  if (::clock_gettime(CLOCK_BOOTTIME, &now) != 0 && ::clock_gettime(CLOCK_MONOTONIC, &now) != 0)
    return 0;
  return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

void epochTime(int64_t *seconds, int32_t *milliseconds) {
  timespec now;
  if (::clock_gettime(CLOCK_REALTIME, &now) != 0) {
    *seconds = 0;
    *milliseconds = 0;
    return;
  }
  *seconds = now.tv_sec;
  *milliseconds = static_cast<int32_t>(now.tv_nsec / 1000000);
}

void sleepMilliseconds(int milliseconds) {
  if (milliseconds <= 0) {
    ::sched_yield();
    return;
  }
  timespec remaining{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000};
  kv::posix::sleepFully(remaining);
}

} // namespace kv::os
