// Internal header, not API: the clocks and the sleep of the platform layer.
#pragma once

#include <cstdint>

namespace kv::os {

/// Seconds of a clock that never goes back and does not count suspension;
/// 0.0 when the system has no such clock (decided at the first call).
double monotonicSeconds();

/// Milliseconds since the system started, suspension included.
uint64_t bootMilliseconds();

/// bootMilliseconds() / 1000.0.
double bootSeconds();

/// Seconds and the milliseconds within them since 1 January 1970 (UTC).
void epochTime(int64_t *seconds, int32_t *milliseconds);

/// Suspends the calling thread for `milliseconds`; 0 or less only yields.
void sleepMilliseconds(int milliseconds);

} // namespace kv::os
