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

struct Bracket {
  int64_t lo, hi;
};

Bracket search(const std::vector<double> &data, double x, int direction, int64_t n = -1) {
  Bracket b{-7, -7};
  sp_BinarySearch(data.data(), n < 0 ? static_cast<int64_t>(data.size()) : n, x, &b.lo, &b.hi,
                  direction);
  return b;
}

// Ordered data is compared with a scan below; these inputs have no order to
// follow: a direction that is neither rising nor falling, and a NaN target.
TEST(InterpolationTest, BinarySearchWithoutAnOrderSpansTheData) {
  const std::vector<double> up = {0, 1, 2, 3}, down = {3, 2, 1, 0};
  struct Case {
    const std::vector<double> *data;
    double x;
    int direction;
  } cases[] = {{&up, 1, 2}, {&up, 1, -1}, {&up, kNaN, 1}, {&down, kNaN, 0}};
  for (const Case &c : cases) {
    Bracket b = search(*c.data, c.x, c.direction);
    EXPECT_EQ(b.lo, 0) << "x " << c.x << " direction " << c.direction;
    EXPECT_EQ(b.hi, 3) << "x " << c.x << " direction " << c.direction;
  }
}

TEST(InterpolationTest, BinarySearchShortAndNullData) {
  const double one[] = {5};
  const std::pair<const double *, int64_t> cases[] = {
      {one, 1}, {one, 0}, {one, -3}, {nullptr, 0}, {nullptr, 10}};
  for (const auto &[data, n] : cases) {
    int64_t lo = -1, hi = -1;
    sp_BinarySearch(data, n, 5.0, &lo, &hi, 1);
    EXPECT_EQ(lo, 0) << n;
    EXPECT_EQ(hi, 0) << n;
  }
  sp_BinarySearch(one, 1, 1.0, nullptr, nullptr, 1); // null out-pointers are skipped
}

// Unordered samples cannot make the search run away or leave the array.
TEST(InterpolationTest, BinarySearchWithNaNSamplesStaysInside) {
  std::mt19937 random(3);
  for (int trial = 0; trial < 2000; ++trial) {
    int n = 2 + static_cast<int>(random() % 40);
    std::vector<double> data(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
      data[i] = (random() % 4 == 0) ? kNaN : i;
    double x = static_cast<double>(random() % (n + 2)) - 1.0;
    for (int direction : {0, 1}) {
      Bracket b = search(data, x, direction);
      ASSERT_GE(b.lo, 0);
      ASSERT_LE(b.lo, b.hi);
      ASSERT_LT(b.hi, n);
    }
  }
}

// Against a linear scan on random sorted data with repeats, both directions.
TEST(InterpolationTest, BinarySearchMatchesScan) {
  std::mt19937 random(11);
  for (int trial = 0; trial < 3000; ++trial) {
    int n = 2 + static_cast<int>(random() % 30);
    std::vector<double> data(static_cast<size_t>(n));
    for (double &d : data)
      d = static_cast<double>(random() % 12);
    std::sort(data.begin(), data.end());
    // Between samples, or exactly on one (the first and last included).
    double x = random() % 3 ? static_cast<double>(random() % 28) / 2.0 - 0.75
                            : data[random() % static_cast<unsigned>(n)];
    std::vector<complex> complexData;
    for (double d : data)
      complexData.emplace_back(d, -d);

    for (int direction : {1, 0}) {
      std::vector<double> values = data;
      if (direction == 0)
        std::reverse(values.begin(), values.end());
      auto before = [&](double v) { return direction == 1 ? v <= x : x <= v; };
      int64_t lo, hi;
      if (direction == 1 ? x < values[0] : x > values[0]) {
        lo = hi = 0;
      } else if (direction == 1 ? x > values[n - 1] : x < values[n - 1]) {
        lo = hi = n - 1;
      } else {
        lo = 0;
        for (int64_t i = 0; i < n; ++i)
          if (before(values[i]))
            lo = i;
        lo = std::min<int64_t>(lo, n - 2);
        hi = lo + 1;
      }
      Bracket b = search(values, x, direction);
      ASSERT_EQ(b.lo, lo) << "trial " << trial << " x " << x << " direction " << direction;
      ASSERT_EQ(b.hi, hi);
      if (direction == 1) {
        Bracket c{-1, -1};
        sp_BinarySearch(complexData.data(), n, x, &c.lo, &c.hi, 1);
        ASSERT_EQ(c.lo, lo);
        ASSERT_EQ(c.hi, hi);
      }
    }
  }
}

double interp(std::vector<double> y, std::vector<double> x, double q, int order,
              bool inverse = false, bool logX = false, bool logY = false) {
  InterpOpts opts;
  opts.order = order;
  opts.inverse = inverse;
  opts.logX = logX;
  opts.logY = logY;
  return support_Interp(y.data(), x.data(), q, opts);
}

TEST(InterpolationTest, InterpCases) {
  struct Case {
    std::vector<double> y, x;
    double q;
    int order;
    bool inverse, logX, logY;
    double expected;
  } cases[] = {
      {{0, 2}, {0, 1}, 0.5, 1, true, false, false, 0.25},
      {{0, 1}, {10, 100}, std::pow(10.0, 1.5), 1, false, true, false, 0.5},
      // A non-positive abscissa keeps the x axis linear.
      {{0, 1}, {0, 100}, 25, 1, false, true, false, 0.25},
      {{10, 1000}, {0, 1}, 0.5, 1, false, false, true, 100},
      {{10, 1000}, {0, 1}, 100, 1, true, false, true, 0.5},
      {{0, -1}, {0, 1}, 0.5, 1, false, false, true, -0.5},
      // Coincident abscissae lower the order; the pair lies above q, so the
      // window keeps its first samples.
      {{0, 1, 2}, {0, 1, 1}, 0.5, 2, false, false, false, 0.5},
      // ... and below q, so the window moves on.
      {{5, 1, 3}, {0, 0, 1}, 0.5, 2, false, false, false, 2},
      // Exactly equal zero abscissae count as coincident, not as 0/0.
      {{7, 9}, {0, 0}, 0.0, 1, false, false, false, 7},
      // Logarithmic axes hold for every order.
      {{0, 1, 2, 3}, {1, 10, 100, 1000}, std::pow(10.0, 1.5), 3, false, true, false, 1.5},
      {{1, 10, 100, 1000}, {0, 1, 2, 3}, 1.5, 3, false, false, true, std::pow(10.0, 1.5)},
      {{4, 5}, {1, 2}, 9, 0, false, false, false, 4},
      {{4, 5}, {1, 2}, 9, -2, false, false, false, 4},
      {{3, 3}, {1, 2}, 3, 1, true, false, false, 1},
      {{0, 1, 4}, {0, 1, 2}, 2.25, 2, true, false, false, 1.5},
      // The parabola through (0,0) (1,1) (2,0) never reaches 2: the straight
      // line between samples 1 and 2 answers.
      {{0, 1, 0}, {0, 1, 2}, 2, 2, true, false, false, 0.0},
      // Equal abscissae in an inverse parabola fall back to samples 1 and 2.
      {{0, 1, 3}, {1, 1, 2}, 2, 2, true, false, false, 1.5},
      {{0, 1, 2, 3}, {0, 1, 2, 3}, 1.5, 3, true, false, false, 0.0},
  };
  for (const Case &c : cases)
    EXPECT_NEAR(interp(c.y, c.x, c.q, c.order, c.inverse, c.logX, c.logY), c.expected, 1e-12)
        << "order " << c.order << " q " << c.q << " inverse " << c.inverse;
  EXPECT_EQ(support_Interp(nullptr, nullptr, 1.0, InterpOpts()), 0.0);
}

// The forward curve against the Lagrange formula written out directly.
TEST(InterpolationTest, InterpMatchesLagrangeFormula) {
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
    double scale = 1.0;
    for (double v : y)
      scale = std::max(scale, std::fabs(v));
    ASSERT_NEAR(interp(y, x, q, order), expected, 1e-9 * scale * std::pow(10.0, order));
  }
}

// The inverse answers of orders 1 and 2 lie on the curve, between samples 1
// and 2 whenever the curve reaches the target there.
TEST(InterpolationTest, InverseSolutionsLieOnTheCurve) {
  std::mt19937 random(8);
  std::uniform_real_distribution<double> uniform(-5.0, 5.0);
  for (int trial = 0; trial < 5000; ++trial) {
    int order = 1 + static_cast<int>(trial % 2);
    std::vector<double> x(3), y(3);
    double start = uniform(random);
    for (int i = 0; i < 3; ++i) {
      start += 0.2 + std::fabs(uniform(random));
      x[i] = start;
      y[i] = uniform(random);
    }
    // A target between the ordinates of the interval the inverse solves in.
    int first = order == 1 ? 0 : 1;
    double t = y[first] + (y[first + 1] - y[first]) * (uniform(random) + 5.0) / 10.0;
    double root = interp(y, x, t, order, true);
    ASSERT_GE(root, x[first] - 1e-9) << "trial " << trial;
    ASSERT_LE(root, x[first + 1] + 1e-9) << "trial " << trial;
    ASSERT_NEAR(interp(y, x, root, order), t, 1e-7) << "trial " << trial;
  }
}

struct Crossing {
  double value;
  int64_t index;
};

std::vector<Crossing> crossings(const std::vector<double> &results,
                                const std::vector<double> &searched, double level,
                                InterpOpts opts) {
  YList<double> values;
  YList<int64_t> indices;
  support_FindYFromX(&values, &indices, results.data(), searched.data(),
                     static_cast<int64_t>(searched.size()), level, opts);
  EXPECT_EQ(values.count(), indices.count());
  std::vector<Crossing> out;
  auto index = indices.begin();
  for (double v : values)
    out.push_back({v, *index++});
  return out;
}

InterpOpts options(int order, int slope = 0, bool inverse = false) {
  InterpOpts opts;
  opts.order = order;
  opts.slope = slope;
  opts.inverse = inverse;
  return opts;
}

TEST(InterpolationTest, FindYFromXOnATriangle) {
  const std::vector<double> searched = {0, 1, 0}, results = {0, 1, 2};
  struct Case {
    double level;
    int slope;
    std::vector<int64_t> indices;
    std::vector<double> values;
  } cases[] = {
      {0.5, 0, {1, 0}, {1.5, 0.5}},
      {0.5, 1, {0}, {0.5}},
      {0.5, -1, {1}, {1.5}},
      {0.5, 2, {}, {}},
      {1.0, 0, {1}, {1.0}},
      {0.0, 0, {1, 0}, {2.0, 0.0}},
      {1.5, 0, {}, {}},
      {-0.1, 0, {}, {}},
  };
  for (const Case &c : cases) {
    for (int order : {1, 2}) {
      std::vector<Crossing> found = crossings(results, searched, c.level, options(order, c.slope));
      ASSERT_EQ(found.size(), c.indices.size()) << "level " << c.level << " slope " << c.slope;
      for (size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].index, c.indices[i]);
        EXPECT_NEAR(found[i].value, c.values[i], 1e-12);
      }
    }
  }
}

TEST(InterpolationTest, FindYFromXBadInputAddsNothing) {
  const std::vector<double> a = {0, 1, 2}, b = {0, 1, 2};
  YList<double> values;
  YList<int64_t> indices;
  InterpOpts opts = options(1);
  support_FindYFromX(&values, &indices, a.data(), b.data(), 1, 0.0, opts);
  support_FindYFromX(&values, &indices, a.data(), b.data(), 0, 0.0, opts);
  support_FindYFromX(&values, &indices, a.data(), b.data(), -5, 0.0, opts);
  support_FindYFromX(&values, &indices, nullptr, nullptr, 0, 0.0, opts);
  support_FindYFromX(&values, &indices, nullptr, b.data(), 3, 0.5, opts);
  support_FindYFromX(&values, &indices, a.data(), b.data(), 3, kNaN, opts);
  support_FindYFromX(nullptr, &indices, a.data(), b.data(), 3, 0.5, opts);
  EXPECT_EQ(values.count(), 0);
  EXPECT_EQ(indices.count(), 0);

  // NaN samples contain no level; the other intervals still answer.
  const std::vector<double> searched = {0, kNaN, 0, 1}, results = {0, 1, 2, 3};
  for (int order : {0, 1, 2, 3, 7}) {
    for (bool inverse : {false, true}) {
      std::vector<Crossing> found = crossings(results, searched, 0.5, options(order, 0, inverse));
      ASSERT_EQ(found.size(), 1u) << "order " << order;
      EXPECT_EQ(found[0].index, 2);
    }
  }
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
      double s0 = searched[i], s1 = searched[i + 1];
      bool contains =
          (s0 <= level && level < s1) || (s1 < level && level <= s0) || (i == n - 2 && level == s1);
      if (!contains)
        continue;
      bool up = s0 < s1, down = s1 < s0;
      bool same = (up && results[i] < results[i + 1]) || (down && results[i + 1] < results[i]);
      bool opposite = (up && results[i + 1] < results[i]) || (down && results[i] < results[i + 1]);
      if ((slope == 1 && !same) || (slope == -1 && !opposite))
        continue;
      double value = s0 == s1
                         ? results[i]
                         : results[i] + (results[i + 1] - results[i]) * (level - s0) / (s1 - s0);
      expected.insert(expected.begin(), {value, i});
    }
    std::vector<Crossing> found = crossings(results, searched, level, options(1, slope, inverse));
    ASSERT_EQ(found.size(), expected.size()) << "trial " << trial;
    for (size_t i = 0; i < found.size(); ++i) {
      ASSERT_EQ(found[i].index, expected[i].index) << "trial " << trial;
      ASSERT_NEAR(found[i].value, expected[i].value, 1e-9) << "trial " << trial;
    }

    // `nearest` keeps the closest at or above the reference, then the closest below.
    InterpOpts nearest = options(1, slope, inverse);
    nearest.nearest = true;
    nearest.reference = results[static_cast<size_t>(random() % static_cast<unsigned>(n))];
    std::vector<Crossing> kept = crossings(results, searched, level, nearest);
    std::vector<Crossing> want;
    const Crossing *below = nullptr, *above = nullptr;
    for (auto it = found.rbegin(); it != found.rend(); ++it) { // earliest interval first
      if (it->value < nearest.reference) {
        if (!below || it->value > below->value)
          below = &*it;
      } else if (!above || it->value < above->value) {
        above = &*it;
      }
    }
    if (above)
      want.push_back(*above);
    if (below)
      want.push_back(*below);
    ASSERT_EQ(kept.size(), want.size()) << "trial " << trial;
    for (size_t i = 0; i < kept.size(); ++i) {
      ASSERT_EQ(kept[i].index, want[i].index) << "trial " << trial;
      ASSERT_EQ(kept[i].value, want[i].value);
    }
  }
}

// Order 2 reproduces a parabola exactly: forward when the results are the
// parabola of the searched samples, inverse when the searched samples are the
// parabola of the results.
TEST(InterpolationTest, FindYFromXOrderTwo) {
  std::vector<double> line, square;
  for (int i = 0; i <= 10; ++i) {
    line.push_back(i);
    square.push_back(i * i);
  }
  std::vector<double> lineDown(line.rbegin(), line.rend()), squareDown(square.rbegin(), square.rend());
  for (double level : {0.5, 2.0, 7.25, 9.5, 10.0}) {
    std::vector<Crossing> found = crossings(square, line, level, options(2));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_NEAR(found[0].value, level * level, 1e-9) << "level " << level;
    found = crossings(squareDown, lineDown, level, options(2)); // falling samples alike
    ASSERT_EQ(found.size(), 1u);
    EXPECT_NEAR(found[0].value, level * level, 1e-9) << "level " << level;
  }
  for (double level : {0.5, 2.0, 30.0, 99.0, 100.0}) {
    std::vector<Crossing> found = crossings(line, square, level, options(2, 0, true));
    ASSERT_EQ(found.size(), 1u);
    // The first interval has no sample before it and takes the straight line.
    double expected = found[0].index == 0 ? level : std::sqrt(level);
    EXPECT_NEAR(found[0].value, expected, 1e-9) << "level " << level;
  }
  // A peak inside the window: the straight line of the interval answers.
  const std::vector<double> searched = {0, 2, 1}, results = {0, 1, 2};
  std::vector<Crossing> found = crossings(results, searched, 1.5, options(2));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].index, 1);
  EXPECT_NEAR(found[0].value, 1.5, 1e-12);
}

TEST(InterpolationTest, InvPower) {
  EXPECT_EQ(invPower(16.0, 2), 4.0);
  EXPECT_NEAR(invPower(27.0, 3), 3.0, 1e-15);
  EXPECT_NEAR(invPower(4.0, -2), 0.5, 1e-15);
  EXPECT_EQ(invPower(2.0, 1), 2.0);
  EXPECT_TRUE(std::isnan(invPower(-4.0, 2)));
  EXPECT_EQ(invPower(0.5, 0), 0.0);
  EXPECT_TRUE(std::isinf(invPower(2.0, 0)));
}

} // namespace
