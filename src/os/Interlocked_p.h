// Internal header, not API: interlocked operations on 32-bit words that may
// live in memory shared between processes, and the processor's spin-wait
// hint. Lock-free 32-bit atomics need no operating-system support, so these
// are the compiler's atomic built-ins, the same on every platform.
#pragma once

#include <cstdint>

namespace kv::os {

/// Sets `*word` to `desired` when it holds `expected`; true when it did.
/// Acquire ordering on success.
inline bool compareExchange(int32_t *word, int32_t expected, int32_t desired) {
  return __atomic_compare_exchange_n(word, &expected, desired, false, __ATOMIC_ACQUIRE,
                                     __ATOMIC_RELAXED);
}

/// Reads `*word` (relaxed: a hint for spinning, not a synchronisation).
inline int32_t loadRelaxed(const int32_t *word) { return __atomic_load_n(word, __ATOMIC_RELAXED); }

/// Reads `*word` with acquire ordering.
inline int32_t loadAcquire(const int32_t *word) { return __atomic_load_n(word, __ATOMIC_ACQUIRE); }

/// Writes `value` to `*word` with release ordering.
inline void storeRelease(int32_t *word, int32_t value) {
  __atomic_store_n(word, value, __ATOMIC_RELEASE);
}

/// Tells the processor that the caller is spinning.
inline void cpuPause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

} // namespace kv::os
