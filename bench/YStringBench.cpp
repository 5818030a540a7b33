// The string type against the copies and concatenations callers would
// otherwise use.
#include "BenchRatios.h"

#include <kvsupport/strings/YString.h>

#include <QByteArray>
#include <benchmark/benchmark.h>

#include <string>

namespace {

const std::string kText200(200, 'n');
const char *kPieces[3] = {".model QN2222 NPN(", "IS=1e-14 BF=200", " VAF=100)"};

void BM_YStringCopy(benchmark::State &state) {
  YString source(kText200.c_str());
  for (auto _ : state) {
    YString copy(source);
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_YStringCopy);

void BM_QByteArrayCopy(benchmark::State &state) {
  QByteArray source(kText200.c_str());
  for (auto _ : state) {
    QByteArray copy(source);
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_QByteArrayCopy);

void BM_StdStringCopy(benchmark::State &state) {
  std::string source(kText200);
  for (auto _ : state) {
    std::string copy(source);
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_StdStringCopy);

void BM_YStringConcat3(benchmark::State &state) {
  YString first(kPieces[0]);
  for (auto _ : state) {
    YString joined(first.concat(kPieces[1]).concat(kPieces[2]));
    benchmark::DoNotOptimize(joined);
  }
}
BENCHMARK(BM_YStringConcat3);

void BM_StdStringConcat3(benchmark::State &state) {
  std::string first(kPieces[0]);
  for (auto _ : state) {
    std::string joined = first + kPieces[1] + kPieces[2];
    benchmark::DoNotOptimize(joined);
  }
}
BENCHMARK(BM_StdStringConcat3);

void BM_YStringHash(benchmark::State &state) {
  YString key("DefaultTransientStep"); // 20 bytes
  for (auto _ : state)
    benchmark::DoNotOptimize(key.hashValue());
}
BENCHMARK(BM_YStringHash);

} // namespace

KV_BENCH_RATIO(BM_YStringCopy, BM_QByteArrayCopy, 0.5);
KV_BENCH_RATIO(BM_YStringCopy, BM_StdStringCopy, 1.0);
KV_BENCH_RATIO(BM_YStringConcat3, BM_StdStringConcat3, 1.5);
