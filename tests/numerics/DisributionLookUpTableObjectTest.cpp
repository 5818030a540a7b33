#include "kvsupport/numerics/DisributionLookUpTableObject.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

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

} // namespace
