// An uncontended wait and release of a named system-wide mutex, against the
// bare mechanism underneath (a process-shared robust pthread mutex locked
// and unlocked directly), so the ratio is the cost of the handle layer.
#include "BenchRatios.h"

#include "kvsupport/threads/YSystemMutex.h"

#include <benchmark/benchmark.h>

#include <pthread.h>
#include <string>
#include <unistd.h>

namespace {

void BM_SystemMutexUncontended(benchmark::State &state) {
  YSystemMutex mutex(YString(("kvbench_mutex_" + std::to_string(::getpid())).c_str()));
  for (auto _ : state) {
    mutex.wait(-1);
    mutex.release();
  }
}
BENCHMARK(BM_SystemMutexUncontended);

void BM_RobustMutexUncontended(benchmark::State &state) {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_t mutex;
  pthread_mutex_init(&mutex, &attributes);
  for (auto _ : state) {
    pthread_mutex_lock(&mutex);
    pthread_mutex_unlock(&mutex);
    benchmark::ClobberMemory();
  }
  pthread_mutex_destroy(&mutex);
  pthread_mutexattr_destroy(&attributes);
}
BENCHMARK(BM_RobustMutexUncontended);

} // namespace

KV_BENCH_RATIO(BM_SystemMutexUncontended, BM_RobustMutexUncontended, 2.0);
