// The shared heap's round trip of one block (alloc, release, get, release,
// free: five operations under the cross-process lock) against a general
// shared-memory allocator's allocate/deallocate pair of the same size.
#include "BenchRatios.h"

#include "kvsupport/ipc/SharedBlockManager.h"

#include <boost/interprocess/managed_shared_memory.hpp>
#include <benchmark/benchmark.h>

#include <string>
#include <unistd.h>

namespace {

constexpr int64_t kBlockSize = 100;
constexpr int64_t kBlocks = 1000;

void BM_HeapAllocFree(benchmark::State &state) {
  SharedBlockToken heap(kBlockSize, kBlocks);
  SharedBlockManager *m = heap.get();
  for (auto _ : state) {
    void *data = nullptr;
    int64_t id = -1;
    m->alloc(&data, &id);
    m->release(id);
    m->get(&data, id);
    m->release(id);
    m->free(id);
    benchmark::DoNotOptimize(data);
  }
}
BENCHMARK(BM_HeapAllocFree);

void BM_BoostInterprocessAllocFree(benchmark::State &state) {
  namespace bip = boost::interprocess;
  const std::string name = "kvbench_boost_" + std::to_string(::getpid());
  bip::shared_memory_object::remove(name.c_str());
  {
    bip::managed_shared_memory segment(bip::create_only, name.c_str(),
                                       (kBlockSize + 64) * kBlocks + 65536);
    for (auto _ : state) {
      void *data = segment.allocate(kBlockSize);
      benchmark::DoNotOptimize(data);
      segment.deallocate(data);
    }
  }
  bip::shared_memory_object::remove(name.c_str());
}
BENCHMARK(BM_BoostInterprocessAllocFree);

} // namespace

KV_BENCH_RATIO(BM_HeapAllocFree, BM_BoostInterprocessAllocFree, 1.0);
