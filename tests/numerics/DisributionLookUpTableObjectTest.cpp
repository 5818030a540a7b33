#include "kvsupport/numerics/DisributionLookUpTableObject.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

YVector<ArbLookUpTableValues> points(std::initializer_list<std::pair<double, double>> list) {
  YVector<ArbLookUpTableValues> out;
  for (auto [x, density] : list)
    out.append(ArbLookUpTableValues{-1.0, x, density});
  return out;
}

TEST(DisributionLookUpTableObjectTest, LoadErrors) {
  struct Case {
    YVector<ArbLookUpTableValues> points;
    DistTableValuesError expected;
  } cases[] = {
      {points({}), DTV_NO_AREA},
      {points({{0, 1}}), DTV_NO_AREA},
      {points({{0, 0}, {1, 0}}), DTV_NO_AREA},
      {points({{1, 1}, {1, 1}}), DTV_NO_AREA},
      {points({{1, 1}, {0, 1}}), DTV_X_DECREASING},
      {points({{0, 1}, {1, 1}, {0.5, 1}}), DTV_X_DECREASING},
      {points({{0, 1}, {1, -1}}), DTV_NEGATIVE_DENSITY},
      {points({{0, 1}, {kNaN, 1}}), DTV_X_DECREASING},
      {points({{0, 1}, {kInf, 1}}), DTV_X_DECREASING},
      {points({{0, 1}, {1, kNaN}}), DTV_NEGATIVE_DENSITY},
      {points({{0, 1}, {1, kInf}}), DTV_NEGATIVE_DENSITY},
      {points({{0, 1e308}, {1e308, 1e308}}), DTV_NO_AREA},
      {points({{0, 1}, {1, 1}}), DTV_OK},
  };
  for (const Case &c : cases) {
    DisributionLookUpTableObject table;
    EXPECT_EQ(table.load(c.points), c.expected) << "points " << c.points.size();
    if (c.expected != DTV_OK) {
      // A failed load leaves no half-built table to read.
      EXPECT_EQ(table.segments().size(), 0);
      EXPECT_EQ(table.lookUp(0.5), 0.0);
    }
  }
}

TEST(DisributionLookUpTableObjectTest, LookUpCases) {
  struct Case {
    YVector<ArbLookUpTableValues> points;
    double p, expected;
    int64_t segments;
  } cases[] = {
      {points({{0, 1}, {1, 1}}), 0.0, 0.0, 1},
      {points({{0, 1}, {1, 1}}), 1.0, 1.0, 1},
      {points({{0, 1}, {1, 1}}), -3.0, 0.0, 1},
      {points({{0, 1}, {1, 1}}), 7.0, 1.0, 1},
      // Equal x adds no segment; zero-density stretches add none either.
      {points({{0, 1}, {0.5, 1}, {0.5, 1}, {1, 1}}), 0.6, 0.6, 2},
      {points({{-5, 0}, {0, 0}, {0, 1}, {1, 1}, {4, 0}, {9, 0}}), 0.0, 0.0, 2},
      {points({{-5, 0}, {0, 0}, {0, 1}, {1, 1}, {4, 0}, {9, 0}}), 1.0, 4.0, 2},
  };
  for (const Case &c : cases) {
    DisributionLookUpTableObject table;
    ASSERT_EQ(table.load(c.points), DTV_OK);
    EXPECT_NEAR(table.lookUp(c.p), c.expected, 1e-12) << "p " << c.p;
    EXPECT_EQ(table.segments().size(), c.segments) << "p " << c.p;
  }
}

TEST(DisributionLookUpTableObjectTest, EmptyTableAnswersZero) {
  DisributionLookUpTableObject table;
  for (double p : {-1.0, 0.0, 0.5, 1.0, 2.0})
    EXPECT_EQ(table.lookUp(p), 0.0);
  ASSERT_EQ(table.load(points({{0, 1}, {2, 1}})), DTV_OK);
  EXPECT_NEAR(table.lookUp(0.5), 1.0, 1e-12);
  EXPECT_TRUE(std::isnan(table.lookUp(kNaN)));
  // Reloading replaces the table, also when the new load fails.
  EXPECT_EQ(table.load(points({{0, -1}, {1, 1}})), DTV_NEGATIVE_DENSITY);
  EXPECT_EQ(table.lookUp(0.5), 0.0);
}

// The distribution's cumulative sum at x, summed in small trapezoids.
double cumulative(const std::vector<std::pair<double, double>> &density, double x) {
  double area = 0.0, total = 0.0;
  for (size_t i = 0; i + 1 < density.size(); ++i) {
    double x0 = density[i].first, d0 = density[i].second;
    double x1 = density[i + 1].first, d1 = density[i + 1].second;
    auto at = [=](double u) { return d0 + (d1 - d0) * (u - x0) / (x1 - x0); };
    const int steps = 64;
    for (int s = 0; s < steps; ++s) {
      double a = x0 + (x1 - x0) * s / steps, b = x0 + (x1 - x0) * (s + 1) / steps;
      double piece = (at(a) + at(b)) / 2 * (b - a);
      total += piece;
      if (b <= x)
        area += piece;
      else if (a < x)
        area += (at(a) + at(x)) / 2 * (x - a);
    }
  }
  return area / total;
}

// The x at which the cumulative sum reaches p, by bisection.
double invert(const std::vector<std::pair<double, double>> &density, double p) {
  double lo = density.front().first, hi = density.back().first;
  for (int i = 0; i < 100; ++i) {
    double mid = (lo + hi) / 2;
    (cumulative(density, mid) < p ? lo : hi) = mid;
  }
  return hi;
}

// lookUp against numerically inverted cumulative sums of random densities.
TEST(DisributionLookUpTableObjectTest, InvertsTheCumulativeSum) {
  std::mt19937 random(4);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  for (int trial = 0; trial < 60; ++trial) {
    std::vector<std::pair<double, double>> density;
    YVector<ArbLookUpTableValues> input;
    double x = uniform(random) * 10 - 5;
    int n = 2 + static_cast<int>(random() % 8);
    for (int i = 0; i < n; ++i) {
      double d = random() % 4 == 0 ? 0.0 : uniform(random) * 3;
      density.emplace_back(x, d);
      input.append(ArbLookUpTableValues{0, x, d});
      x += 0.05 + uniform(random) * 2;
    }
    DisributionLookUpTableObject table;
    DistTableValuesError loaded = table.load(input);
    bool anyArea = false;
    for (int i = 0; i + 1 < n; ++i)
      anyArea |= density[i].second > 0 || density[i + 1].second > 0;
    ASSERT_EQ(loaded, anyArea ? DTV_OK : DTV_NO_AREA);
    if (!anyArea)
      continue;
    double previous = -1e300;
    for (int k = 0; k <= 20; ++k) {
      double p = k / 20.0;
      double answer = table.lookUp(p);
      ASSERT_GE(answer, previous) << "lookUp never decreases";
      previous = answer;
      if (k == 0 || k == 20)
        continue;
      EXPECT_NEAR(cumulative(density, answer), p, 1e-9) << "trial " << trial << " p " << p;
      // Where the density is positive the inverse is unique.
      double inverted = invert(density, p);
      if (cumulative(density, inverted + 1e-6) - cumulative(density, inverted - 1e-6) > 1e-9) {
        EXPECT_NEAR(answer, inverted, 1e-6) << "trial " << trial << " p " << p;
      }
    }
  }
}

// Near-uniform segments make the quadratic's leading term tiny; the answer
// must stay inside the segment rather than collapse.
TEST(DisributionLookUpTableObjectTest, NearlyFlatSegments) {
  DisributionLookUpTableObject table;
  ASSERT_EQ(table.load(points({{0, 1}, {1, 1 + 1e-13}, {2, 1}})), DTV_OK);
  for (int k = 1; k < 100; ++k) {
    double p = k / 100.0;
    EXPECT_NEAR(table.lookUp(p), 2 * p, 1e-9);
  }
  EXPECT_NEAR(table.lookUp(std::nextafter(1.0, 0.0)), 2.0, 1e-9);
  EXPECT_NEAR(table.lookUp(0.5), 1.0, 1e-9);
}

} // namespace
