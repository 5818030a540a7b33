// The wildcard filter test and the natural order beside the C library's
// fnmatch and strverscmp on the same names, and the pathological patterns
// that make backtracking matchers try every split.
#include "BenchRatios.h"

#include <kvsupport/netlist/Wildcards.h>

#include <benchmark/benchmark.h>

#include <clocale>
#include <cstring>
#include <fnmatch.h>
#include <string>
#include <utility>
#include <vector>

namespace {

unsigned nextRandom(unsigned &seed) {
  seed = seed * 1103515245u + 12345u;
  return (seed >> 16) & 0x7fff;
}

// Net and instance names with numbers, and patterns of the kinds users type
// into a filter box (stars, question marks, literal parts; no brackets).
const std::vector<std::pair<std::string, std::string>> &namePatternPairs() {
  static const std::vector<std::pair<std::string, std::string>> pairs = [] {
    std::setlocale(LC_CTYPE, "C");
    static const char *stems[] = {"R", "C", "Q", "net", "out", "X1.U", "vdd_", "in"};
    std::vector<std::pair<std::string, std::string>> all;
    unsigned seed = 1;
    for (int i = 0; i < 1000; ++i) {
      std::string name = stems[nextRandom(seed) % 8] + std::to_string(nextRandom(seed) % 500);
      if (nextRandom(seed) % 3 == 0)
        name += "_" + std::string(stems[nextRandom(seed) % 8]) + std::to_string(nextRandom(seed));
      std::string pattern;
      switch (nextRandom(seed) % 5) {
      case 0:
        pattern = name.substr(0, 1 + nextRandom(seed) % 3) + "*";
        break;
      case 1:
        pattern = "*" + name.substr(name.size() / 2);
        break;
      case 2:
        pattern = name, pattern[nextRandom(seed) % pattern.size()] = '?';
        break;
      case 3:
        pattern = "*" + name.substr(1, 2) + "*" + name.substr(name.size() - 1);
        break;
      default:
        pattern = "net*_?*";
        break;
      }
      all.emplace_back(name, pattern);
    }
    return all;
  }();
  return pairs;
}

void BM_FilterString(benchmark::State &state) {
  const auto &pairs = namePatternPairs();
  std::vector<YString> patterns;
  for (const auto &pair : pairs)
    patterns.emplace_back(pair.second.c_str());
  for (auto _ : state) {
    int matches = 0;
    for (size_t i = 0; i < pairs.size(); ++i)
      matches += sp_FilterString(pairs[i].first.c_str(), patterns[i], true);
    benchmark::DoNotOptimize(matches);
  }
}
BENCHMARK(BM_FilterString);

void BM_Fnmatch(benchmark::State &state) {
  const auto &pairs = namePatternPairs();
  for (auto _ : state) {
    int matches = 0;
    for (const auto &pair : pairs)
      matches += fnmatch(pair.second.c_str(), pair.first.c_str(), 0) == 0;
    benchmark::DoNotOptimize(matches);
  }
}
BENCHMARK(BM_Fnmatch);

const char kPathologicalPattern[] = "*a*a*a*a*b";
const std::string kPathologicalText(200, 'a');

void BM_FilterStringPathological(benchmark::State &state) {
  YString pattern(kPathologicalPattern);
  for (auto _ : state)
    benchmark::DoNotOptimize(sp_FilterString(kPathologicalText.c_str(), pattern, true));
}
BENCHMARK(BM_FilterStringPathological);

void BM_GlobMatchPathological(benchmark::State &state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(sp_GlobMatch(kPathologicalPattern, kPathologicalText.c_str()));
}
BENCHMARK(BM_GlobMatchPathological);

void BM_FnmatchPathological(benchmark::State &state) {
  std::setlocale(LC_CTYPE, "C");
  for (auto _ : state)
    benchmark::DoNotOptimize(fnmatch(kPathologicalPattern, kPathologicalText.c_str(), 0));
}
BENCHMARK(BM_FnmatchPathological);

// Pairs of names that share prefixes and differ in their numbers, some by
// leading zeros only.
const std::vector<std::pair<std::string, std::string>> &namePairs() {
  static const std::vector<std::pair<std::string, std::string>> pairs = [] {
    static const char *stems[] = {"R", "net", "X12.M", "file", "out_", "Q"};
    std::vector<std::pair<std::string, std::string>> all;
    unsigned seed = 7;
    auto number = [&seed] {
      std::string digits = std::to_string(nextRandom(seed) % 2000);
      return nextRandom(seed) % 4 == 0 ? "0" + digits : digits;
    };
    for (int i = 0; i < 10000; ++i) {
      std::string stem = stems[nextRandom(seed) % 6];
      std::string a = stem + number() + "_n" + number();
      std::string b = nextRandom(seed) % 2 ? stem + number() + "_n" + number()
                                           : std::string(stems[nextRandom(seed) % 6]) + number();
      all.emplace_back(a, b);
    }
    return all;
  }();
  return pairs;
}

void BM_CompareStrings(benchmark::State &state) {
  const auto &pairs = namePairs();
  for (auto _ : state) {
    int sum = 0;
    for (const auto &pair : pairs)
      sum += sp_CompareStrings(pair.first.c_str(), pair.second.c_str());
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_CompareStrings);

void BM_Strverscmp(benchmark::State &state) {
  const auto &pairs = namePairs();
  for (auto _ : state) {
    int sum = 0;
    for (const auto &pair : pairs)
      sum += strverscmp(pair.first.c_str(), pair.second.c_str()) < 0;
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_Strverscmp);

} // namespace

KV_BENCH_RATIO(BM_FilterString, BM_Fnmatch, 1.0);
KV_BENCH_RATIO(BM_FilterStringPathological, BM_FnmatchPathological, 2.0);
KV_BENCH_RATIO(BM_GlobMatchPathological, BM_FnmatchPathological, 10.0);
KV_BENCH_RATIO(BM_CompareStrings, BM_Strverscmp, 1.5);
