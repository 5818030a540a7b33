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

#include <cstdint>
#include <time.h>

namespace kv::os {

// These are read in tight loops (every hook function is timed), so each is
// one call from the portable layer straight to the C library. A clock that
// cannot be read reads 0. One conversion of the nanosecond count: exact
// below 2^53 ns (104 days of uptime), within a unit in the last place beyond.
double monotonicSeconds() {
  timespec now;
  if (__builtin_expect(::clock_gettime(CLOCK_MONOTONIC, &now) != 0, 0))
    return 0.0;
  return static_cast<double>(static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec) * 1e-9;
}

namespace {

// CLOCK_BOOTTIME exists since Linux 2.6.39; the monotonic clock stands in
// for it on older systems.
inline timespec bootTime() {
  timespec now;
  if (__builtin_expect(::clock_gettime(CLOCK_BOOTTIME, &now) != 0, 0) &&
      ::clock_gettime(CLOCK_MONOTONIC, &now) != 0)
    return timespec{0, 0};
  return now;
}

// The nanoseconds are below 10^9, so 32 bits do for their division.
inline uint64_t toMilliseconds(const timespec &time) {
  return static_cast<uint64_t>(time.tv_sec) * 1000 + static_cast<uint32_t>(time.tv_nsec) / 1000000u;
}

} // namespace

uint64_t bootMilliseconds() { return toMilliseconds(bootTime()); }

// A product rather than a quotient: the clock read that follows waits for
// every instruction before it, so a division's latency would count in full.
// The two differ by at most one unit in the last place.
double bootSeconds() {
  return static_cast<double>(static_cast<int64_t>(toMilliseconds(bootTime()))) * 1e-3;
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
