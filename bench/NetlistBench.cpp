// Netlist text: reading engineering numbers, cutting lines into words and
// writing compact numbers, each beside the C library doing the nearest job.
#include "BenchRatios.h"

#include <kvsupport/netlist/EngineeringNumbers.h>
#include <kvsupport/netlist/Tokenizer.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Typical netlist values, and the same numbers without their suffixes.
const char *const kEngValues[] = {"10", "4.7k", "1.5e-9", "0.001", "-2.5", "10uF", "4k7", "1meg"};
const char *const kPlainValues[] = {"10", "4.7", "1.5e-9", "0.001", "-2.5", "10", "4.7", "1"};
constexpr int kValueCount = 8;

void BM_EngParse(benchmark::State &state) {
  for (auto _ : state) {
    for (const char *value : kEngValues) {
      char *end;
      double read = sp_ConvertEngToReal(value, &end);
      benchmark::DoNotOptimize(read);
      benchmark::DoNotOptimize(end);
    }
  }
  state.SetItemsProcessed(state.iterations() * kValueCount);
}
BENCHMARK(BM_EngParse);

void BM_Strtod(benchmark::State &state) {
  for (auto _ : state) {
    for (const char *value : kPlainValues) {
      char *end;
      double read = std::strtod(value, &end);
      benchmark::DoNotOptimize(read);
      benchmark::DoNotOptimize(end);
    }
  }
  state.SetItemsProcessed(state.iterations() * kValueCount);
}
BENCHMARK(BM_Strtod);
KV_BENCH_RATIO(BM_EngParse, BM_Strtod, 0.5);

// A 100-character netlist line with delimiters and a quoted word.
const char kLine[] = "R1 out in 4.7k tc1=0.001 tc2=(1e-6, 2e-6) m=\"mult x\" "
                     "l=10u w=2.5u ad=1p as=1p pd=4u ps=4u nrd=0.5 x1";
static_assert(sizeof kLine - 1 == 100, "the benchmark line is 100 characters");

void BM_GetTokenLine(benchmark::State &state) {
  const ScanSpec spec{" \t", "\"", "\"", "=(),", false, false};
  for (auto _ : state) {
    const char *cursor = kLine;
    int delimiter = 0;
    do {
      YString word = sp_GetToken(&cursor, spec, &delimiter);
      benchmark::DoNotOptimize(word.tocs());
    } while (delimiter != -1);
  }
  state.SetBytesProcessed(state.iterations() * (sizeof kLine - 1));
}
BENCHMARK(BM_GetTokenLine);

// The C library cutting the same line at the same separators: blanks and
// delimiters skipped with strspn, each word found with strcspn, copied with
// strndup and freed (one allocation per word, as one string per word).
void BM_StrndupSplitLine(benchmark::State &state) {
  const char *const separators = " \t=(),";
  for (auto _ : state) {
    const char *cursor = kLine;
    for (;;) {
      cursor += std::strspn(cursor, separators);
      size_t length = std::strcspn(cursor, separators);
      if (length == 0)
        break;
      char *word = strndup(cursor, length);
      benchmark::DoNotOptimize(word);
      std::free(word);
      cursor += length;
    }
  }
  state.SetBytesProcessed(state.iterations() * (sizeof kLine - 1));
}
BENCHMARK(BM_StrndupSplitLine);
KV_BENCH_RATIO(BM_GetTokenLine, BM_StrndupSplitLine, 1.2);

const double kNumbers[] = {4700.0, 1e6, 2.5e-13, 1e-3, -2.5, 0.1, 123456.789, 3.3e-9};
constexpr int kNumberCount = 8;

void BM_JSEng(benchmark::State &state) {
  for (auto _ : state) {
    for (double value : kNumbers) {
      YString text = sp_ConvertRealToJSEng(value, 6, false);
      benchmark::DoNotOptimize(text.tocs());
    }
  }
  state.SetItemsProcessed(state.iterations() * kNumberCount);
}
BENCHMARK(BM_JSEng);

void BM_SnprintfG(benchmark::State &state) {
  char buffer[64];
  for (auto _ : state) {
    for (double value : kNumbers) {
      int n = std::snprintf(buffer, sizeof buffer, "%.*g", 6, value);
      benchmark::DoNotOptimize(n);
      benchmark::DoNotOptimize(buffer);
    }
  }
  state.SetItemsProcessed(state.iterations() * kNumberCount);
}
BENCHMARK(BM_SnprintfG);
KV_BENCH_RATIO(BM_JSEng, BM_SnprintfG, 2.0);

} // namespace
