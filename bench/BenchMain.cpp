// kvbench entry point: runs the selected benchmarks with the console reporter,
// then prints each declared figure beside its baseline as a ratio.
#include "BenchRatios.h"

#include <benchmark/benchmark.h>

#include <cstdio>
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
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  kvbench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  kvbench::printRatios(reporter.nsPerIteration());
  benchmark::Shutdown();
  return 0;
}
