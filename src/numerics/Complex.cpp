#include "kvsupport/numerics/Complex.h"

#include <cmath>

// Arrays of complex numbers are read as pairs of doubles, real part first.
static_assert(sizeof(complex) == 2 * sizeof(double), "complex is two doubles, nothing more");

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kLog10E = 0.4342944819032518;

// atan2 with the library's rule for zero: both parts 0 give angle 0.
double angleOf(double x, double y) { return (x == 0.0 && y == 0.0) ? 0.0 : std::atan2(y, x); }

// The -i ln(w) step shared by asin and acos: (arg w, -ln|w|).
complex minusILog(double x, double y) {
  return complex(angleOf(x, y), -std::log(std::sqrt(x * x + y * y)));
}

// sqrt(1 - z^2) as the inverse trigonometric functions form it.
complex sqrtOneMinusSquare(const complex &z) {
  double qx = 1.0 - z.re * z.re + z.im * z.im;
  double qy = -2.0 * z.re * z.im;
  double modulus = std::sqrt(std::sqrt(qx * qx + qy * qy));
  double half = angleOf(qx, qy) / 2.0;
  return complex(modulus * std::cos(half), modulus * std::sin(half));
}

} // namespace

complex &complex::operator*=(const complex &w) { return *this = *this * w; }
complex &complex::operator/=(const complex &w) { return *this = *this / w; }

complex operator*(const complex &z, const complex &w) {
  return complex(z.re * w.re - z.im * w.im, z.im * w.re + z.re * w.im);
}

complex operator/(const complex &z, const complex &w) {
  double d = w.re * w.re + w.im * w.im;
  return complex((z.re * w.re + z.im * w.im) / d, (z.im * w.re - z.re * w.im) / d);
}

complex operator/(double a, const complex &w) {
  double d = w.re * w.re + w.im * w.im;
  return complex(a * w.re / d, -a * w.im / d);
}

double abs(const complex &z) { return std::sqrt(z.re * z.re + z.im * z.im); }
double norm(const complex &z) { return z.re * z.re + z.im * z.im; }
double arg(const complex &z) { return angleOf(z.re, z.im); }

complex exp(const complex &z) {
  double m = std::exp(z.re);
  return complex(m * std::cos(z.im), m * std::sin(z.im));
}

complex log(const complex &z) {
  return complex(std::log(std::sqrt(z.re * z.re + z.im * z.im)), arg(z));
}

complex log10(const complex &z) {
  complex l = log(z);
  return complex(l.re * kLog10E, l.im * kLog10E);
}

complex sqrt(const complex &z) {
  double m = std::pow(z.re * z.re + z.im * z.im, 0.25);
  double half = arg(z) / 2.0;
  return complex(m * std::cos(half), m * std::sin(half));
}

complex sin(const complex &z) {
  double ep = std::exp(z.im), em = std::exp(-z.im);
  return complex(std::sin(z.re) * (em + ep) / 2.0, -std::cos(z.re) * (em - ep) / 2.0);
}

complex cos(const complex &z) {
  double ep = std::exp(z.im), em = std::exp(-z.im);
  return complex(std::cos(z.re) * (em + ep) / 2.0, std::sin(z.re) * (em - ep) / 2.0);
}

complex sinh(const complex &z) {
  double ep = std::exp(z.re), em = std::exp(-z.re);
  return complex(std::cos(z.im) * (ep - em) / 2.0, std::sin(z.im) * (em + ep) / 2.0);
}

complex cosh(const complex &z) {
  double ep = std::exp(z.re), em = std::exp(-z.re);
  return complex(std::cos(z.im) * (em + ep) / 2.0, std::sin(z.im) * (ep - em) / 2.0);
}

complex tan(const complex &z) {
  double c = std::cos(z.re);
  c *= c;
  double t = std::tanh(z.im);
  double d = (1.0 - c) * t * t + c;
  return complex(std::sin(2.0 * z.re) / 2.0 * (1.0 - t * t) / d, t / d);
}

complex tanh(const complex &z) {
  double x = z.re, y = z.im;
  if (y == 0.0)
    return complex(std::tanh(x), 0.0);
  double sc4 = 4.0 * std::sin(y) * std::cos(y);
  // Far from the imaginary axis e^(2x) alone decides; forming E - 1/E there
  // would overflow.
  if (x > 19.0)
    return complex(1.0, sc4 / std::exp(2.0 * x));
  if (x < -19.0)
    return complex(-1.0, sc4 / std::exp(-2.0 * x));
  double E = std::exp(x), e = 1.0 / E;
  double a = (E - e) * std::sin(y), b = (E + e) * std::cos(y);
  double D = a * a + b * b;
  return complex((E - e) * (E + e) / D, sc4 / D);
}

complex asin(const complex &z) {
  complex s = sqrtOneMinusSquare(z);
  // iz + s
  return minusILog(-z.im + s.re, z.re + s.im);
}

complex acos(const complex &z) {
  complex s = sqrtOneMinusSquare(z);
  // z + i s
  return minusILog(z.re - s.im, z.im + s.re);
}

complex atan(const complex &z) {
  double x = z.re, y = z.im;
  double d = (y + 1.0) * (y + 1.0) + x * x;
  double X = ((1.0 - y) * (1.0 + y) - x * x) / d;
  double Y = 2.0 * x / d;
  return complex(0.5 * angleOf(X, Y), -0.5 * std::log(std::sqrt(X * X + Y * Y)));
}

complex pow(const complex &z, const complex &w) {
  if (z.isZero() && w.re > 0.0)
    return complex();
  return exp(w * complex(std::log(abs(z)), arg(z)));
}

complex pow(const complex &z, double p) {
  if (z.isZero() && p > 0.0)
    return complex();
  double m = std::pow(abs(z), p);
  double angle = p * arg(z);
  return complex(m * std::cos(angle), m * std::sin(angle));
}

complex pow(double a, const complex &w) {
  if (a == 0.0 && w.re > 0.0)
    return complex();
  if (a > 0.0)
    return exp(w * complex(std::log(a), 0.0));
  return exp(w * complex(std::log(std::fabs(a)), kPi));
}
