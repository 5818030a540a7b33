#pragma once

#include <cstdint>

/// The high-resolution clock in seconds: never goes back, unaffected by
/// changes of the wall clock, with an arbitrary origin; use differences.
/// 0.0 when the system has no such clock (decided once, at the first call).
double sp_GetPerfTime();

/// Seconds since the system started, at millisecond resolution. Counted in
/// 64 bits, so it does not wrap the way sp_GetTickCount does.
double seconds();

/// Milliseconds since the system started, as the low 32 bits of the count:
/// wraps to 0 after about 49.7 days.
uint32_t sp_GetTickCount();

/// Seconds since 1 January 1970 (UTC), from the wall clock.
int64_t sp_EpochTime();

/// Milliseconds since 1 January 1970 (UTC): seconds * 1000 + milliseconds.
int64_t sp_EpochTimeMilliSeconds();

/// Suspends the calling thread for `milliseconds`; a signal does not cut the
/// sleep short. 0 or less only lets other threads run. A point at which a
/// terminated thread stops (see KvThread).
void sp_Sleep(int milliseconds);
