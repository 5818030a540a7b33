// The library's clocks against the system calls they stand on (read through
// the vDSO, without entering the kernel) and against Qt's elapsed timer:
// the ratios are the cost of the conversion to seconds and of the call into
// the library.
#include "BenchRatios.h"

#include "kvsupport/threads/Clock.h"

#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <time.h>

namespace {

void BM_GetPerfTime(benchmark::State &state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(sp_GetPerfTime());
}
BENCHMARK(BM_GetPerfTime);

void BM_ClockGettimeMonotonic(benchmark::State &state) {
  for (auto _ : state) {
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    benchmark::DoNotOptimize(now);
  }
}
BENCHMARK(BM_ClockGettimeMonotonic);

void BM_QElapsedTimer(benchmark::State &state) {
  QElapsedTimer timer;
  timer.start();
  for (auto _ : state)
    benchmark::DoNotOptimize(timer.nsecsElapsed());
}
BENCHMARK(BM_QElapsedTimer);

void BM_Seconds(benchmark::State &state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(seconds());
}
BENCHMARK(BM_Seconds);

void BM_ClockGettimeBoottime(benchmark::State &state) {
  for (auto _ : state) {
    timespec now;
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    benchmark::DoNotOptimize(now);
  }
}
BENCHMARK(BM_ClockGettimeBoottime);

} // namespace

KV_BENCH_RATIO(BM_GetPerfTime, BM_ClockGettimeMonotonic, 1.2);
KV_BENCH_RATIO(BM_GetPerfTime, BM_QElapsedTimer, 1.2);
KV_BENCH_RATIO(BM_Seconds, BM_ClockGettimeBoottime, 1.2);
