// kvbench entry point: runs the selected benchmarks with the console reporter,
// then prints each declared figure beside its baseline as a ratio.
#include "BenchRatios.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace kvbench {

std::vector<Ratio> &ratios() {
  static std::vector<Ratio> all;
  return all;
}

namespace {

// Keeps the time per iteration of every benchmark, by its function name
// (without its /real_time or /iterations: suffixes): the median of its
// repetitions where it has several, else its one run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  std::map<std::string, double> nsPerIteration() const {
    std::map<std::string, double> times = single_;
    for (const auto &median : medians_)
      times[median.first] = median.second;
    return times;
  }

  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      if (run.error_occurred)
        continue;
      if (run.run_type == Run::RT_Iteration)
        single_[run.run_name.function_name] = run.GetAdjustedRealTime();
      else if (run.aggregate_name == "median")
        medians_[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
  }

private:
  std::map<std::string, double> single_;
  std::map<std::string, double> medians_;
};

// Benchmarks with repetitions run them interleaved with the others' unless
// the command line says otherwise: a figure and its baseline then see the
// same moods of the machine.
std::vector<char *> withInterleaving(int argc, char **argv) {
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  std::vector<char *> args(argv, argv + argc);
  bool given = false;
  for (int i = 1; i < argc; ++i)
    given = given || std::strncmp(argv[i], "--benchmark_enable_random_interleaving", 38) == 0;
  if (!given)
    args.insert(args.begin() + 1, interleave);
  args.push_back(nullptr);
  return args;
}

void printRatios(const std::map<std::string, double> &times) {
  bool header = false;
  for (const Ratio &ratio : ratios()) {
    auto figure = times.find(ratio.figure);
    auto baseline = times.find(ratio.baseline);
    if (figure == times.end() || baseline == times.end() || baseline->second <= 0)
      continue;
    if (!header) {
      std::printf("\n%-28s %-28s %8s %10s  %s\n", "figure", "baseline", "ratio", "target", "met");
      header = true;
    }
    double value = figure->second / baseline->second;
    bool met = ratio.atLeast ? value >= ratio.target : value <= ratio.target;
    std::printf("%-28s %-28s %8.3f %s%9.2f  %s\n", ratio.figure.c_str(), ratio.baseline.c_str(),
                value, ratio.atLeast ? ">=" : "<=", ratio.target, met ? "yes" : "NO");
  }
}

} // namespace
} // namespace kvbench

int main(int argc, char **argv) {
  std::vector<char *> args = kvbench::withInterleaving(argc, argv);
  int count = static_cast<int>(args.size()) - 1;
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data()))
    return 1;
  kvbench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  kvbench::printRatios(reporter.nsPerIteration());
  benchmark::Shutdown();
  return 0;
}
