// kvbench support: a benchmark figure judged against a baseline measured in
// the same run. The report after the run prints figure / baseline beside the
// target ratio.
#pragma once

#include <string>
#include <vector>

namespace kvbench {

struct Ratio {
  std::string figure;   ///< benchmark name, e.g. "BM_YStringCopy"
  std::string baseline; ///< benchmark it is compared with
  double target;        ///< the ratio to reach (figure / baseline at most this)
  bool atLeast;         ///< true when the ratio must be at least `target`
};

/// Every declared ratio, in declaration order.
std::vector<Ratio> &ratios();

struct RatioRegistration {
  RatioRegistration(const char *figure, const char *baseline, double target, bool atLeast = false) {
    ratios().push_back({figure, baseline, target, atLeast});
  }
};

} // namespace kvbench

#define KV_BENCH_CONCAT2(a, b) a##b
#define KV_BENCH_CONCAT(a, b) KV_BENCH_CONCAT2(a, b)

/// Declares that `figure` must take at most `target` times the time of `baseline`.
#define KV_BENCH_RATIO(figure, baseline, target)                                                   \
  static const ::kvbench::RatioRegistration KV_BENCH_CONCAT(kvRatio_, __LINE__)(#figure,           \
                                                                                #baseline, target)
