#include "kvsupport/threads/Clock.h"

#include "os/Clock_p.h"

double sp_GetPerfTime() {
  static const bool available = [] {
    int64_t probe;
    return kv::os::monotonicNanoseconds(&probe);
  }();
  int64_t now;
  if (!available || !kv::os::monotonicNanoseconds(&now))
    return 0.0;
  return static_cast<double>(now) * 1e-9;
}

double seconds() { return static_cast<double>(kv::os::bootMilliseconds()) / 1000.0; }

uint32_t sp_GetTickCount() { return static_cast<uint32_t>(kv::os::bootMilliseconds()); }

int64_t sp_EpochTime() {
  int64_t secs;
  int32_t millis;
  kv::os::epochTime(&secs, &millis);
  return secs;
}

int64_t sp_EpochTimeMilliSeconds() {
  int64_t secs;
  int32_t millis;
  kv::os::epochTime(&secs, &millis);
  return secs * 1000 + millis;
}

void sp_Sleep(int milliseconds) { kv::os::sleepMilliseconds(milliseconds); }
