// Crossing search over a sampled sine of one million samples, in samples per
// second, beside a plain pass over the same samples.
#include "BenchRatios.h"

#include <kvsupport/numerics/Interpolation.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kSamples = 1000000;
constexpr double kPeriods = 100.0;

struct Waveform {
  std::vector<double> time, signal;
  Waveform() : time(kSamples), signal(kSamples) {
    for (int i = 0; i < kSamples; ++i) {
      time[i] = i * 1e-9;
      signal[i] = std::sin(2.0 * M_PI * kPeriods * i / kSamples);
    }
  }
};

const Waveform &waveform() {
  static const Waveform w;
  return w;
}

void findCrossings(benchmark::State &state, int order) {
  const Waveform &w = waveform();
  InterpOpts opts;
  opts.order = order;
  for (auto _ : state) {
    YList<double> values;
    YList<int64_t> indices;
    support_FindYFromX(&values, &indices, w.time.data(), w.signal.data(), kSamples, 0.3, opts);
    benchmark::DoNotOptimize(values.count());
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
}

void BM_FindYFromX(benchmark::State &state) { findCrossings(state, 1); }
void BM_FindYFromXOrder2(benchmark::State &state) { findCrossings(state, 2); }

// The least any search must do: read every sample once.
void BM_SampleSum(benchmark::State &state) {
  const Waveform &w = waveform();
  for (auto _ : state) {
    double sum = 0.0;
    for (int i = 0; i < kSamples; ++i)
      sum += w.signal[i];
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
}

} // namespace

BENCHMARK(BM_FindYFromX)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindYFromXOrder2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SampleSum)->Unit(benchmark::kMicrosecond);

// 100 million samples per second is 10 ms per run of one million samples;
// the plain pass is the yardstick printed beside it.
KV_BENCH_RATIO(BM_FindYFromX, BM_SampleSum, 10.0);
