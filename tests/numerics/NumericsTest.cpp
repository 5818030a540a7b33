// Complex arithmetic, distribution look-up tables and interpolation.
#include "kvsupport/numerics/Complex.h"
#include "kvsupport/numerics/DisributionLookUpTableObject.h"
#include "kvsupport/numerics/Interpolation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---- Complex ----
using Std = std::complex<double>;

void expectClose(const complex &got, const Std &want, const char *what, const complex &at) {
  double scale = std::max(1.0, std::abs(want));
  EXPECT_NEAR(got.re, want.real(), 1e-10 * scale) << what << " at " << at.re << "+" << at.im << "i";
  EXPECT_NEAR(got.im, want.imag(), 1e-10 * scale) << what << " at " << at.re << "+" << at.im << "i";
}

// The functions against the standard ones at random points; the ones with a
// branch cut are kept clear of it (`cut`: 1 the negative reals, 2 the reals
// beyond +-1, 3 the imaginaries beyond +-i), where both take the same branch.
TEST(ComplexTest, MatchesStandardAwayFromBranchCuts) {
  struct Unary {
    const char *name;
    complex (*ours)(const complex &);
    Std (*theirs)(const Std &);
    int cut;
  };
  // clang-format off
#define KV_UNARY(f, cut) \
  Unary{#f, [](const complex &z) { return f(z); }, [](const Std &z) { return std::f(z); }, cut}
  // clang-format on
  const Unary functions[] = {KV_UNARY(exp, 0),  KV_UNARY(log, 1),  KV_UNARY(log10, 1),
                             KV_UNARY(sqrt, 1), KV_UNARY(sin, 0),  KV_UNARY(cos, 0),
                             KV_UNARY(sinh, 0), KV_UNARY(cosh, 0), KV_UNARY(tan, 0),
                             KV_UNARY(tanh, 0), KV_UNARY(asin, 2), KV_UNARY(acos, 2),
                             KV_UNARY(atan, 3)};
#undef KV_UNARY
  auto nearCut = [](const complex &z, int cut) {
    return (cut == 1 && z.re < 0.1 && std::fabs(z.im) < 0.1) ||
           (cut == 2 && std::fabs(z.im) < 0.1 && std::fabs(z.re) > 0.9) ||
           (cut == 3 && std::fabs(z.re) < 0.1 && std::fabs(z.im) > 0.9);
  };
  std::mt19937 random(1);
  std::uniform_real_distribution<double> part(-3.0, 3.0);
  for (int trial = 0; trial < 2000; ++trial) {
    complex z(part(random), part(random)), w(part(random), part(random));
    Std sz = Std(z.re, z.im), sw = Std(w.re, w.im);
    for (const Unary &f : functions)
      if (!nearCut(z, f.cut))
        expectClose(f.ours(z), f.theirs(sz), f.name, z);
    expectClose(complex(z) *= w, sz * sw, "multiply", z);
    expectClose(complex(z) /= w, sz / sw, "divide", z);
    expectClose(2.5 / w, 2.5 / sw, "divide real", w);
    EXPECT_NEAR(arg(z), std::arg(sz), 1e-12);
    if (!nearCut(z, 1)) {
      expectClose(pow(z, w), std::pow(sz, sw), "pow", z);
      expectClose(pow(z, w.re), std::pow(sz, w.re), "pow real", z);
    }
    double a = part(random);
    if (a > 0.1)
      expectClose(pow(a, w), std::pow(Std(a, 0), sw), "real pow", w);
  }
}

// Zero, the cuts themselves, saturation and the branch points.
TEST(ComplexTest, ZeroAndSpecialValues) {
  const complex zero;
  const double inf = std::numeric_limits<double>::infinity(), r3 = std::sqrt(3.0);
  const std::pair<complex, complex> cases[] = {
      {pow(zero, 2.0), {0, 0}},
      {pow(0.0, complex(2, 5)), {0, 0}},
      {pow(-8.0, complex(1.0 / 3.0, 0)), {1, r3}},
      {pow(complex(-8, 0), 1.0 / 3.0), {1, r3}},
      {sqrt(complex(-4, 0)), {0, 2}},
      // Far from the axis tanh saturates without overflowing.
      {tanh(complex(20, 0.5)), {1, 0}},
      {tanh(complex(-400, 0.5)), {-1, 0}},
      {asin(complex(1, 0)), {M_PI / 2, 0}},
  };
  for (const auto &[got, want] : cases)
    expectClose(got, Std(want.re, want.im), "special value", want);
  EXPECT_EQ(arg(zero), 0.0);
  EXPECT_EQ(log(zero), complex(-inf, 0));
  EXPECT_FALSE(std::isfinite((complex(1, 1) / zero).re)); // not a trap
}

// ---- DisributionLookUpTableObject ----
using Points = std::vector<std::pair<double, double>>; // x, density

YVector<ArbLookUpTableValues> input(const Points &list) {
  YVector<ArbLookUpTableValues> out;
  for (auto [x, density] : list)
    out.append(ArbLookUpTableValues{-1.0, x, density});
  return out;
}

// Loads, failed (also over a good table, which leaves no half-built table to
// read) and good: equal x adds no segment, zero-density stretches add none.
TEST(DisributionLookUpTableObjectTest, LoadAndLookUp) {
  const Points gaps = {{-5, 0}, {0, 0}, {0, 1}, {1, 1}, {4, 0}, {9, 0}};
  const Points flat = {{0, 1}, {1, 1 + 1e-13}, {2, 1}};
  struct Case {
    Points points;
    DistTableValuesError expected;
    int64_t segments = 0;
    double p = 0.5, x = 0.0;
  } cases[] = {
      {{{0, 1}}, DTV_NO_AREA},
      {{{0, 0}, {1, 0}}, DTV_NO_AREA},
      {{{1, 1}, {1, 1}}, DTV_NO_AREA},
      {{{1, 1}, {0, 1}}, DTV_X_DECREASING},
      {{{0, 1}, {1, -1}}, DTV_NEGATIVE_DENSITY},
      {{{0, 1}, {kNaN, 1}}, DTV_X_DECREASING},
      {{{0, 1}, {1, kNaN}}, DTV_NEGATIVE_DENSITY},
      {{{0, 1e308}, {1e308, 1e308}}, DTV_NO_AREA},
      {{{0, 1}, {0.5, 1}, {0.5, 1}, {1, 1}}, DTV_OK, 2, 0.6, 0.6},
      {gaps, DTV_OK, 2, 0.0, 0.0},
      {gaps, DTV_OK, 2, 1.0, 4.0},
      // Near-uniform segments make the quadratic's leading term tiny; the
      // answer must stay inside the segment rather than collapse.
      {flat, DTV_OK, 2, 0.3, 0.6},
      {flat, DTV_OK, 2, std::nextafter(1.0, 0.0), 2.0},
  };
  for (const Case &c : cases) {
    DisributionLookUpTableObject table;
    ASSERT_EQ(table.load(input({{0, 1}, {2, 1}})), DTV_OK);
    EXPECT_EQ(table.load(input(c.points)), c.expected) << "points " << c.points.size();
    EXPECT_EQ(table.segments().size(), c.segments) << "points " << c.points.size();
    EXPECT_NEAR(table.lookUp(c.p), c.x, 1e-9) << "p " << c.p;
    EXPECT_EQ(std::isnan(table.lookUp(kNaN)), c.expected == DTV_OK);
  }
}

// The distribution's exact cumulative sum at x: trapezoids up to x.
double cumulative(const Points &density, double x) {
  double area = 0.0, total = 0.0;
  for (size_t i = 0; i + 1 < density.size(); ++i) {
    auto [x0, d0] = density[i];
    auto [x1, d1] = density[i + 1];
    double to = std::min(std::max(x, x0), x1);
    total += (d0 + d1) / 2 * (x1 - x0);
    area += (2 * d0 + (d1 - d0) * (to - x0) / (x1 - x0)) / 2 * (to - x0);
  }
  return area / total;
}

// lookUp of random densities (zero stretches included) reaches p on the
// cumulative sum and never decreases.
TEST(DisributionLookUpTableObjectTest, InvertsTheCumulativeSum) {
  std::mt19937 random(4);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  for (int trial = 0; trial < 200; ++trial) {
    Points density;
    double x = uniform(random) * 10 - 5;
    for (int i = 0, n = 2 + static_cast<int>(random() % 8); i < n; ++i) {
      density.emplace_back(x, random() % 4 == 0 ? 0.0 : uniform(random) * 3);
      x += 0.05 + uniform(random) * 2;
    }
    DisributionLookUpTableObject table;
    if (table.load(input(density)) != DTV_OK) // all zero: the table checks that case
      continue;
    double previous = -1e300;
    for (int k = 0; k <= 20; ++k) {
      double answer = table.lookUp(k / 20.0);
      ASSERT_GE(answer, previous) << "lookUp never decreases";
      previous = answer;
      EXPECT_NEAR(cumulative(density, answer), k / 20.0, 1e-9) << "trial " << trial << " k " << k;
    }
  }
}

// ---- Interpolation ----
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
