#include "kvsupport/numerics/Complex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

namespace {

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

} // namespace
