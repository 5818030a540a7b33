#include "kvsupport/threads/Clock.h"

#include "os/Clock_p.h"

double sp_GetPerfTime() { return kv::os::monotonicSeconds(); }

double seconds() { return kv::os::bootSeconds(); }

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
