#include "kvsupport/numerics/Complex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <random>

namespace {

using Std = std::complex<double>;

Std toStd(const complex &z) { return Std(z.re, z.im); }

void expectClose(const complex &got, const Std &want, const char *what, const complex &at) {
  double scale = std::max(1.0, std::abs(want));
  EXPECT_NEAR(got.re, want.real(), 1e-10 * scale) << what << " at " << at.re << "+" << at.im << "i";
  EXPECT_NEAR(got.im, want.imag(), 1e-10 * scale) << what << " at " << at.re << "+" << at.im << "i";
}

// Unary functions against the standard ones, at random points kept clear of
// the branch cuts, where both take the same principal branch.
TEST(ComplexTest, MatchesStandardAwayFromBranchCuts) {
  struct Unary {
    const char *name;
    std::function<complex(const complex &)> ours;
    std::function<Std(const Std &)> theirs;
    // True when z is close to this function's branch cut.
    std::function<bool(const complex &)> nearCut;
  };
  auto none = [](const complex &) { return false; };
  auto negativeReal = [](const complex &z) { return z.re < 0.1 && std::fabs(z.im) < 0.1; };
  auto realBeyondOne = [](const complex &z) {
    return std::fabs(z.im) < 0.1 && std::fabs(z.re) > 0.9;
  };
  auto imaginaryBeyondOne = [](const complex &z) {
    return std::fabs(z.re) < 0.1 && std::fabs(z.im) > 0.9;
  };
  // Each function beside its standard counterpart, with the cut to keep clear of.
  // clang-format off
#define KV_UNARY(f, cut) \
  Unary{#f, [](const complex &z) { return f(z); }, [](const Std &z) { return std::f(z); }, cut}
  // clang-format on
  const Unary functions[] = {
      KV_UNARY(exp, none),
      KV_UNARY(log, negativeReal),
      KV_UNARY(log10, negativeReal),
      KV_UNARY(sqrt, negativeReal),
      KV_UNARY(sin, none),
      KV_UNARY(cos, none),
      KV_UNARY(sinh, none),
      KV_UNARY(cosh, none),
      KV_UNARY(tan, none),
      KV_UNARY(tanh, none),
      KV_UNARY(asin, realBeyondOne),
      KV_UNARY(acos, realBeyondOne),
      KV_UNARY(atan, imaginaryBeyondOne),
  };
#undef KV_UNARY
  std::mt19937 random(1);
  std::uniform_real_distribution<double> part(-3.0, 3.0);
  for (int trial = 0; trial < 2000; ++trial) {
    complex z(part(random), part(random));
    for (const Unary &f : functions)
      if (!f.nearCut(z))
        expectClose(f.ours(z), f.theirs(toStd(z)), f.name, z);

    complex w(part(random), part(random));
    expectClose(z * w, toStd(z) * toStd(w), "multiply", z);
    expectClose(z / w, toStd(z) / toStd(w), "divide", z);
    expectClose(2.5 / w, 2.5 / toStd(w), "divide real", w);
    EXPECT_EQ(complex(z) *= w, z * w);
    EXPECT_EQ(complex(z) /= w, z / w);
    EXPECT_NEAR(abs(z), std::abs(toStd(z)), 1e-12);
    EXPECT_NEAR(norm(z), std::norm(toStd(z)), 1e-12);
    EXPECT_NEAR(arg(z), std::arg(toStd(z)), 1e-12);
    if (!negativeReal(z)) {
      expectClose(pow(z, w), std::pow(toStd(z), toStd(w)), "pow", z);
      expectClose(pow(z, w.re), std::pow(toStd(z), w.re), "pow real", z);
    }
    double a = part(random);
    if (a > 0.1)
      expectClose(pow(a, w), std::pow(Std(a, 0), toStd(w)), "real pow", w);
  }
}

TEST(ComplexTest, ZeroAndSpecialValues) {
  const complex zero;
  EXPECT_EQ(arg(zero), 0.0);
  complex l = log(zero);
  EXPECT_TRUE(std::isinf(l.re) && l.re < 0);
  EXPECT_EQ(l.im, 0.0);
  EXPECT_EQ(pow(zero, 2.0), complex(0, 0));
  EXPECT_EQ(pow(zero, complex(2, 0)), complex(0, 0));
  EXPECT_EQ(pow(0.0, complex(2, 5)), complex(0, 0));

  // Principal roots of negative reals, on the cut itself.
  const std::pair<complex, complex> roots[] = {
      {pow(-8.0, complex(1.0 / 3.0, 0)), {1, std::sqrt(3.0)}},
      {pow(complex(-8, 0), 1.0 / 3.0), {1, std::sqrt(3.0)}},
      {sqrt(complex(-4, 0)), {0, 2}}};
  for (const auto &[got, want] : roots) {
    EXPECT_NEAR(got.re, want.re, 1e-12);
    EXPECT_NEAR(got.im, want.im, 1e-12);
  }

  // Far from the axis tanh saturates without overflowing.
  for (double x : {20.0, 400.0, -20.0, -400.0}) {
    complex t = tanh(complex(x, 0.5));
    EXPECT_EQ(t.re, x > 0 ? 1.0 : -1.0);
    EXPECT_TRUE(std::isfinite(t.im));
    EXPECT_LT(std::fabs(t.im), 1e-16);
  }
  EXPECT_EQ(tanh(complex(0.5, 0)), complex(std::tanh(0.5), 0));

  // A zero divisor gives non-finite parts, not a trap.
  complex q = complex(1, 1) / zero;
  EXPECT_FALSE(std::isfinite(q.re));
  EXPECT_FALSE(std::isfinite((1.0 / zero).re));

  // asin and acos at the branch points.
  EXPECT_NEAR(asin(complex(1, 0)).re, M_PI / 2, 1e-7);
  EXPECT_NEAR(acos(complex(1, 0)).re, 0.0, 1e-7);
  EXPECT_NEAR(atan(complex(1, 0)).re, M_PI / 4, 1e-15);
}

} // namespace
