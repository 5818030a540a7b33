#include "kvsupport/numerics/Interpolation.h"
#include "kvsupport/numerics/Complex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
using Bracket = std::pair<int64_t, int64_t>;

// Against a linear scan on random sorted data with repeats (runs longer than
// the search's round limit included), both directions. A NaN target or
// another direction spans the data; with NaN samples mixed in the bracket
// stays inside the array; short or null data gives 0, 0.
TEST(InterpolationTest, BinarySearchMatchesScan) {
  std::mt19937 random(11);
  int64_t lo, hi;
  for (int trial = 0; trial < 3000; ++trial) {
    int n = trial % 100 == 0 ? 300 : 2 + static_cast<int>(random() % 30);
    std::vector<double> data(static_cast<size_t>(n));
    for (double &d : data)
      d = trial % 100 == 0 ? 5 : static_cast<double>(random() % 12);
    std::sort(data.begin(), data.end());
    double x = random() % 3 ? static_cast<double>(random() % 28) / 2.0 - 0.75
                            : data[random() % static_cast<unsigned>(n)];
    for (int direction : {1, 0}) {
      std::vector<double> values = data;
      if (direction == 0)
        std::reverse(values.begin(), values.end());
      // The samples at or before x (in the direction's order) are a prefix.
      auto before = [&](double v) { return direction == 1 ? v <= x : x <= v; };
      int64_t count = std::partition_point(values.begin(), values.end(), before) - values.begin();
      Bracket want =
          count == 0 ? Bracket(0, 0)
          : count == n && values[n - 1] != x
              ? Bracket(n - 1, n - 1)
              : Bracket(std::min<int64_t>(count, n - 1) - 1, std::min<int64_t>(count, n - 1));
      sp_BinarySearch(values.data(), n, x, &lo, &hi, direction);
      ASSERT_EQ(Bracket(lo, hi), want)
          << "trial " << trial << " x " << x << " direction " << direction;
      const std::vector<complex> asComplex(values.begin(), values.end()); // by real parts
      sp_BinarySearch(asComplex.data(), n, x, &lo, &hi, direction);
      ASSERT_EQ(Bracket(lo, hi), want) << "complex, trial " << trial;
      for (auto [target, towards] : {std::pair(kNaN, direction), std::pair(x, 2 - 3 * direction)}) {
        sp_BinarySearch(values.data(), n, target, &lo, &hi, towards);
        ASSERT_EQ(Bracket(lo, hi), Bracket(0, n - 1)) << "x " << target << " direction " << towards;
      }
      for (double &v : values)
        if (random() % 4 == 0)
          v = kNaN;
      sp_BinarySearch(values.data(), n, x, &lo, &hi, direction);
      ASSERT_TRUE(0 <= lo && lo <= hi && hi < n) << lo << " " << hi;
    }
  }
  const double one[] = {5};
  for (const double *data : {one, static_cast<const double *>(nullptr)}) {
    sp_BinarySearch(data, data ? 1 : 10, 5.0, &lo, &hi, 1);
    EXPECT_EQ(Bracket(lo, hi), Bracket(0, 0));
  }
  sp_BinarySearch(one, 1, 1.0, nullptr, nullptr, 1); // null out-pointers are skipped
}

double interp(std::vector<double> y, std::vector<double> x, double q, int order,
              bool inverse = false, bool logX = false, bool logY = false) {
  return support_Interp(y.data(), x.data(), q, InterpOpts{inverse, logX, logY, false, order});
}

TEST(InterpolationTest, InterpCases) {
  struct Case {
    std::vector<double> y, x;
    double q;
    int order;
    bool inverse, logX, logY;
    double expected;
  } cases[] = {
      {{0, 1}, {10, 100}, std::pow(10.0, 1.5), 1, false, true, false, 0.5},
      // A non-positive abscissa or ordinate keeps that axis linear.
      {{0, 1}, {0, 100}, 25, 1, false, true, false, 0.25},
      {{0, -1}, {0, 1}, 0.5, 1, false, false, true, -0.5},
      {{10, 1000}, {0, 1}, 100, 1, true, false, true, 0.5},
      // Coincident abscissae lower the order; the pair lies above q, so the
      // window keeps its first samples ...
      {{0, 1, 2}, {0, 1, 1}, 0.5, 2, false, false, false, 0.5},
      // ... and below q, so the window moves on.
      {{5, 1, 3}, {0, 0, 1}, 0.5, 2, false, false, false, 2},
      // Exactly equal zero abscissae count as coincident, not as 0/0.
      {{7, 9}, {0, 0}, 0.0, 1, false, false, false, 7},
      // Logarithmic axes hold for every order.
      {{3, 3}, {1, 2}, 3, 1, true, false, false, 1},
      // The parabola through (0,0) (1,1) (2,0) never reaches 2: the straight
      // line between samples 1 and 2 answers.
      {{0, 1, 0}, {0, 1, 2}, 2, 2, true, false, false, 0.0},
      // Equal abscissae in an inverse parabola fall back to samples 1 and 2,
      // whichever pair coincides.
      {{0, 1, 3}, {1, 1, 2}, 2, 2, true, false, false, 1.5},
      {{0, 1, 2}, {-2, 1, 1}, 1.5, 2, true, false, false, 1.0},
      {{0, 1, 2, 3}, {0, 1, 2, 3}, 1.5, 3, true, false, false, 0.0},
  };
  for (const Case &c : cases)
    EXPECT_NEAR(interp(c.y, c.x, c.q, c.order, c.inverse, c.logX, c.logY), c.expected, 1e-12)
        << "order " << c.order << " q " << c.q << " inverse " << c.inverse;
  EXPECT_EQ(support_Interp(nullptr, nullptr, 1.0, InterpOpts()), 0.0);
  EXPECT_EQ(invPower(16.0, 2), 4.0);
  EXPECT_TRUE(std::isinf(invPower(2.0, 0))); // n = 0: an infinite power
}

// The forward curve against the Lagrange formula written out directly; the
// inverse of orders 1 and 2 lands on that curve, between samples 1 and 2
// whenever the curve reaches the target there.
TEST(InterpolationTest, InterpMatchesLagrangeAndInverts) {
  std::mt19937 random(5);
  std::uniform_real_distribution<double> uniform(-10.0, 10.0);
  for (int trial = 0; trial < 5000; ++trial) {
    int order = 1 + static_cast<int>(random() % 5);
    std::vector<double> x(static_cast<size_t>(order + 1)), y(x.size());
    double start = uniform(random);
    for (size_t i = 0; i < x.size(); ++i) {
      start += 0.1 + std::fabs(uniform(random)) / 5;
      x[i] = start;
      y[i] = uniform(random);
    }
    double q = x.front() + (x.back() - x.front()) * (uniform(random) + 10.0) / 20.0;
    double expected = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
      double term = y[i];
      for (size_t j = 0; j < x.size(); ++j)
        if (j != i)
          term *= (q - x[j]) / (x[i] - x[j]);
      expected += term;
    }
    ASSERT_NEAR(interp(y, x, q, order), expected, 1e-8 * std::pow(10.0, order));

    if (order > 2)
      continue;
    int first = order == 1 ? 0 : 1;
    double t = y[first] + (y[first + 1] - y[first]) * (uniform(random) + 10.0) / 20.0;
    double root = interp(y, x, t, order, true);
    ASSERT_TRUE(root >= x[first] - 1e-9 && root <= x[first + 1] + 1e-9) << "trial " << trial;
    ASSERT_NEAR(interp(y, x, root, order), t, 1e-7) << "trial " << trial;
  }
}

using Crossing = std::pair<double, int64_t>; // value, interval index

std::vector<Crossing> crossings(const std::vector<double> &results,
                                const std::vector<double> &searched, double level, int order,
                                int slope = 0, bool inverse = false, double nearest = kNaN) {
  YList<double> values;
  YList<int64_t> indices;
  support_FindYFromX(&values, &indices, results.data(), searched.data(),
                     static_cast<int64_t>(searched.size()), level,
                     InterpOpts{inverse, false, false, !std::isnan(nearest), order, slope,
                                std::isnan(nearest) ? 0.0 : nearest});
  std::vector<Crossing> out;
  auto index = indices.begin();
  for (double v : values)
    out.emplace_back(v, *index++);
  return out;
}

// The same intervals in the same order, the values within `tolerance`.
bool sameCrossings(const std::vector<Crossing> &found, const std::vector<Crossing> &want,
                   double tolerance) {
  for (size_t i = 0; i < found.size() && found.size() == want.size(); ++i)
    if (found[i].second != want[i].second ||
        !(std::fabs(found[i].first - want[i].first) <= tolerance))
      return false;
  return found.size() == want.size();
}

// Hand cases: a triangle for the slope filter and levels on the samples;
// plateaus and a peak inside a higher-order window (the interval's straight
// line answers); parabolas of order 2, forward rising and falling and inverse
// (whose first interval takes the straight line); NaN samples (no level inside).
TEST(InterpolationTest, FindYFromXCases) {
  const std::vector<double> tri = {0, 1, 0}, ramp = {0, 1, 2}, ramp4 = {0, 1, 2, 3},
                            nan4 = {0, kNaN, 0, 1}, line = {0, 1, 2, 3, 4, 5},
                            square = {0, 1, 4, 9, 16, 25}, zigzag = {0, 1, 0, 1, 0},
                            ramp5 = {0, 1, 2, 3, 4};
  struct Case {
    std::vector<double> searched, results;
    double level;
    int order, slope;
    bool inverse;
    std::vector<Crossing> expected; // last crossing first
    double nearest = kNaN;          // the reference of `nearest`
  } cases[] = {
      {tri, ramp, 0.5, 2, 1, false, {{0.5, 0}}},
      {tri, ramp, 0.5, 1, 2, false, {}},
      {tri, ramp, 1.0, 2, 0, false, {{1.0, 1}}},
      {{0, 2, 1}, ramp, 1.5, 2, 0, false, {{1.5, 1}, {0.75, 0}}},
      {{0, 1, 1, 2}, {0, 1, 5, 6}, 1.0, 2, 0, false, {{5.0, 2}}},
      {{3, 1, 1, 0}, ramp4, 0.5, 3, 0, false, {{2.5, 2}}},
      {line, square, 2.5, 2, 0, false, {{6.25, 2}}},
      {{5, 4, 3, 2, 1, 0}, {25, 16, 9, 4, 1, 0}, 2.5, 2, 0, false, {{6.25, 2}}},
      {square, line, 0.5, 2, 0, true, {{0.5, 0}}},
      // A turn just before the last window leaves its parabola alone.
      {{0, 3, 1, 2, 3}, {0, 1, 4, 9, 16}, 2.5, 2, 0, false, {{12.25, 3}, {1.75, 1}, {2.5 / 3, 0}}},
      // `nearest` keeps the closest at or above the reference, then the closest below.
      {zigzag, ramp5, 0.5, 1, 0, false, {{2.5, 2}, {1.5, 1}}, 2.0},
      {zigzag, ramp5, 0.5, 2, 0, true, {{2.5, 2}, {1.5, 1}}, 2.5},
      {zigzag, ramp5, 0.5, 1, 0, false, {{3.5, 3}}, 10.0},
      {nan4, ramp4, 0.5, 1, 0, false, {{2.5, 2}}},
      {ramp, ramp, kNaN, 1, 0, false, {}},
      {{0}, {0}, 0.0, 1, 0, false, {}},
      {nan4, ramp4, 0.5, 7, 0, false, {{2.5, 2}}},
      {nan4, ramp4, 0.5, -3, 0, false, {{3.0, 2}}}, // below 0: order 0, the sample after
  };
  for (const Case &c : cases) {
    EXPECT_TRUE(sameCrossings(
        crossings(c.results, c.searched, c.level, c.order, c.slope, c.inverse, c.nearest),
        c.expected, 1e-12))
        << "level " << c.level << " order " << c.order << " reference " << c.nearest;
  }
  YList<double> values;
  YList<int64_t> indices;
  support_FindYFromX(&values, nullptr, ramp.data(), ramp.data(), 3, 0.5, InterpOpts());
  support_FindYFromX(nullptr, &indices, ramp.data(), ramp.data(), 3, 0.5, InterpOpts());
  // Without any of the four arrays nothing is read or written.
  support_FindYFromX(&values, &indices, nullptr, ramp.data(), 3, 0.5, InterpOpts());
  support_FindYFromX(&values, &indices, ramp.data(), nullptr, 3, 0.5, InterpOpts());
}

// Order 1 against a brute-force scan of random piecewise-linear signals,
// including plateaus and samples exactly at the level.
TEST(InterpolationTest, FindYFromXMatchesBruteForce) {
  std::mt19937 random(21);
  for (int trial = 0; trial < 3000; ++trial) {
    int n = 2 + static_cast<int>(random() % 25);
    std::vector<double> searched(static_cast<size_t>(n)), results(searched.size());
    double t = 0.0;
    for (int i = 0; i < n; ++i) {
      searched[i] = static_cast<double>(random() % 7) - 3.0;
      t += 0.5 + static_cast<double>(random() % 4);
      results[i] = (trial % 3 == 0) ? -t : t;
    }
    double level = static_cast<double>(random() % 15) / 2.0 - 3.5;
    int slope = static_cast<int>(random() % 3) - 1;
    bool inverse = random() % 2 == 0;

    std::vector<Crossing> expected;
    for (int i = 0; i + 1 < n; ++i) {
      double s0 = searched[i], s1 = searched[i + 1], r0 = results[i], r1 = results[i + 1];
      if (!((s0 <= level && level < s1) || (s1 < level && level <= s0) ||
            (i == n - 2 && level == s1)))
        continue;
      bool rising = (s0 < s1 && r0 < r1) || (s1 < s0 && r1 < r0);
      bool falling = (s0 < s1 && r1 < r0) || (s1 < s0 && r0 < r1);
      if ((slope == 1 && !rising) || (slope == -1 && !falling))
        continue;
      expected.insert(expected.begin(),
                      {s0 == s1 ? r0 : r0 + (r1 - r0) * (level - s0) / (s1 - s0), i});
    }
    ASSERT_TRUE(
        sameCrossings(crossings(results, searched, level, 1, slope, inverse), expected, 1e-9))
        << "trial " << trial;
  }
}

} // namespace
