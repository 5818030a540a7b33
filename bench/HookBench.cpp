// Running a hook of 100 functions, against 100 plain calls through function
// pointers each timed by two reads of the monotonic clock: the hook times
// every call it makes the same way, so the ratio is the cost of the
// registry's walk, its lock and its bookkeeping.
#include "BenchRatios.h"

#include "kvsupport/hooks/AutoFunc.h"

#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kFunctions = 100;

void doNothing(void *data) { benchmark::DoNotOptimize(data); }

void BM_HookDispatch100(benchmark::State &state) {
  const std::string hook = "kvbench_" + std::to_string(::getpid());
  std::vector<std::unique_ptr<AutoFunc>> functions;
  for (int i = 0; i < kFunctions; ++i)
    functions.push_back(std::make_unique<AutoFunc>(hook.c_str(), doNothing, "doNothing"));
  int data = 0;
  for (auto _ : state)
    executeAutoFunction(hook.c_str(), &data);
}
BENCHMARK(BM_HookDispatch100);

void BM_TimedCallLoop100(benchmark::State &state) {
  std::vector<AutoFunc::Function> functions(kFunctions, doNothing);
  benchmark::DoNotOptimize(functions.data());
  int data = 0;
  for (auto _ : state)
    for (AutoFunc::Function function : functions) {
      timespec before, after;
      ::clock_gettime(CLOCK_MONOTONIC, &before);
      function(&data);
      ::clock_gettime(CLOCK_MONOTONIC, &after);
      benchmark::DoNotOptimize(before);
      benchmark::DoNotOptimize(after);
    }
}
BENCHMARK(BM_TimedCallLoop100);

} // namespace

KV_BENCH_RATIO(BM_HookDispatch100, BM_TimedCallLoop100, 1.3);
