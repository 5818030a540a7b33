// The formatting engine against the C library's snprintf for the same
// output (and, where available, against the fmt library).
#include "BenchRatios.h"

#include "kvsupport/strings/Printf.h"
#include "kvsupport/strings/StringPrintfBuf.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

#if defined(KV_BENCH_HAVE_FMT)
#include <fmt/format.h>
#endif

namespace {

const char kMixedFormat[] = "Error : %s at line %d, value %g\n";

void BM_SpSprintfInt(benchmark::State &state) {
  char buffer[64];
  int value = 3;
  for (auto _ : state) {
    benchmark::DoNotOptimize(value);
    sp_sprintf(buffer, sizeof buffer, "%d items", value);
    benchmark::DoNotOptimize(buffer);
  }
}
BENCHMARK(BM_SpSprintfInt);

void BM_SnprintfInt(benchmark::State &state) {
  char buffer[64];
  int value = 3;
  for (auto _ : state) {
    benchmark::DoNotOptimize(value);
    std::snprintf(buffer, sizeof buffer, "%d items", value);
    benchmark::DoNotOptimize(buffer);
  }
}
BENCHMARK(BM_SnprintfInt);

void BM_SpSprintfMixed(benchmark::State &state) {
  char buffer[128];
  const char *token = "unexpected token";
  int line = 42;
  double value = 2.5;
  for (auto _ : state) {
    benchmark::DoNotOptimize(token);
    benchmark::DoNotOptimize(line);
    benchmark::DoNotOptimize(value);
    sp_sprintf(buffer, sizeof buffer, kMixedFormat, token, line, value);
    benchmark::DoNotOptimize(buffer);
  }
}
BENCHMARK(BM_SpSprintfMixed);

void BM_SnprintfMixed(benchmark::State &state) {
  char buffer[128];
  const char *token = "unexpected token";
  int line = 42;
  double value = 2.5;
  for (auto _ : state) {
    benchmark::DoNotOptimize(token);
    benchmark::DoNotOptimize(line);
    benchmark::DoNotOptimize(value);
    std::snprintf(buffer, sizeof buffer, kMixedFormat, token, line, value);
    benchmark::DoNotOptimize(buffer);
  }
}
BENCHMARK(BM_SnprintfMixed);

#if defined(KV_BENCH_HAVE_FMT)
void BM_FmtMixed(benchmark::State &state) {
  char buffer[128];
  const char *token = "unexpected token";
  int line = 42;
  double value = 2.5;
  for (auto _ : state) {
    benchmark::DoNotOptimize(token);
    benchmark::DoNotOptimize(line);
    benchmark::DoNotOptimize(value);
    auto result = fmt::format_to_n(buffer, sizeof buffer - 1, "Error : {} at line {}, value {:g}\n",
                                   token, line, value);
    *result.out = '\0';
    benchmark::DoNotOptimize(buffer);
  }
}
BENCHMARK(BM_FmtMixed);
#endif

// About 2 KB in 40 pieces: the growing sink starts on its inline buffer and
// grows several times on the way.
constexpr int kLongPieces = 40;
const char kLongFormat[] = "node %s: %6d samples, mean %10.4f V, peak %g\n";

void BM_VarStringPrintfBufLong(benchmark::State &state) {
  const char *node = "out_filtered";
  size_t length = 0;
  for (auto _ : state) {
    VarStringPrintfBuf sink;
    for (int i = 0; i < kLongPieces; ++i)
      sink.printf(kLongFormat, node, i * 37, i * 0.125, i * 1.5e-3);
    length = static_cast<size_t>(sink.getLength());
    benchmark::DoNotOptimize(sink.getBuffer());
  }
  state.counters["bytes"] = static_cast<double>(length);
}
BENCHMARK(BM_VarStringPrintfBufLong);

void BM_SnprintfLong(benchmark::State &state) {
  const char *node = "out_filtered";
  static char buffer[4096];
  for (auto _ : state) {
    size_t used = 0;
    for (int i = 0; i < kLongPieces; ++i)
      used += static_cast<size_t>(std::snprintf(buffer + used, sizeof buffer - used, kLongFormat,
                                                node, i * 37, i * 0.125, i * 1.5e-3));
    benchmark::DoNotOptimize(buffer);
  }
}
BENCHMARK(BM_SnprintfLong);

} // namespace

KV_BENCH_RATIO(BM_SpSprintfInt, BM_SnprintfInt, 2.0);
KV_BENCH_RATIO(BM_SpSprintfMixed, BM_SnprintfMixed, 2.0);
KV_BENCH_RATIO(BM_VarStringPrintfBufLong, BM_SnprintfLong, 2.0);
#if defined(KV_BENCH_HAVE_FMT)
KV_BENCH_RATIO(BM_SpSprintfMixed, BM_FmtMixed, 4.0);
#endif
