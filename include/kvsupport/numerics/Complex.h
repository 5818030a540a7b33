#pragma once

/// The library's complex number: a real and an imaginary part, in that order,
/// so that an array of `complex` is a contiguous array of double pairs. The
/// elementary functions below use fixed formulas and principal branches;
/// "zero" means both parts equal 0.0.
class complex {
public:
  double re = 0.0;
  double im = 0.0;

  constexpr complex() = default;
  constexpr complex(double real, double imaginary = 0.0) : re(real), im(imaginary) {}

  constexpr double real() const { return re; }
  constexpr double imag() const { return im; }
  constexpr bool isZero() const { return re == 0.0 && im == 0.0; }

  complex &operator+=(const complex &w) {
    re += w.re;
    im += w.im;
    return *this;
  }
  complex &operator-=(const complex &w) {
    re -= w.re;
    im -= w.im;
    return *this;
  }
  /// (xu - yv) + i(yu + xv).
  complex &operator*=(const complex &w);
  /// ((xu + yv) + i(yu - xv)) / (u^2 + v^2), without rescaling: a zero divisor
  /// gives infinities or NaN parts.
  complex &operator/=(const complex &w);
};

constexpr complex operator+(const complex &z, const complex &w) {
  return complex(z.re + w.re, z.im + w.im);
}
constexpr complex operator-(const complex &z, const complex &w) {
  return complex(z.re - w.re, z.im - w.im);
}
constexpr complex operator-(const complex &z) { return complex(-z.re, -z.im); }
constexpr bool operator==(const complex &z, const complex &w) {
  return z.re == w.re && z.im == w.im;
}
constexpr bool operator!=(const complex &z, const complex &w) { return !(z == w); }

/// (xu - yv) + i(yu + xv).
complex operator*(const complex &z, const complex &w);
/// ((xu + yv) + i(yu - xv)) / (u^2 + v^2), computed directly.
complex operator/(const complex &z, const complex &w);
/// (au - iav) / (u^2 + v^2).
complex operator/(double a, const complex &w);

/// sqrt(x^2 + y^2).
double abs(const complex &z);
/// x^2 + y^2.
double norm(const complex &z);
/// atan2(y, x); 0 for zero.
double arg(const complex &z);
/// e^x (cos y + i sin y).
complex exp(const complex &z);
/// ln|z| + i arg z; zero gives -infinity + 0i.
complex log(const complex &z);
/// log(z) times log10(e), both parts.
complex log10(const complex &z);
/// |z|^(1/2) at half the argument.
complex sqrt(const complex &z);
/// sin x cosh y + i cos x sinh y, from e^y and e^-y.
complex sin(const complex &z);
/// cos x cosh y - i sin x sinh y, from e^y and e^-y.
complex cos(const complex &z);
/// cos y sinh x + i sin y cosh x, from e^x and e^-x.
complex sinh(const complex &z);
/// cos y cosh x + i sin y sinh x, from e^x and e^-x.
complex cosh(const complex &z);
/// From cos^2 x and tanh y, so a large |y| saturates instead of overflowing.
complex tan(const complex &z);
/// Saturates to +-1 for real parts beyond +-19 without overflow.
complex tanh(const complex &z);
/// -i ln(iz + sqrt(1 - z^2)).
complex asin(const complex &z);
/// -i ln(z + i sqrt(1 - z^2)).
complex acos(const complex &z);
/// (1/2) arg(W) - (i/2) ln|W| with W = (1 - y^2 - x^2 + 2ix) / ((y + 1)^2 + x^2).
complex atan(const complex &z);
/// 0 when z is zero and Re w > 0; otherwise exp(w (ln|z| + i arg z)).
complex pow(const complex &z, const complex &w);
/// 0 when z is zero and p > 0; otherwise |z|^p (cos(p arg z) + i sin(p arg z)).
complex pow(const complex &z, double p);
/// 0 when a = 0 and Re w > 0; exp(w ln a) for a > 0; otherwise
/// exp(w (ln|a| + i pi)).
complex pow(double a, const complex &w);
