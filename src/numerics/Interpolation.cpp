#include "kvsupport/numerics/Interpolation.h"

#include "kvsupport/numerics/Complex.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

namespace {

// Halving rounds of the bracket search; 2^80 samples is far beyond any array,
// so the limit only ever stops a search stalled by unordered samples.
constexpr int kMaxSearchRounds = 80;

template <class Sample>
void bracket(Sample sample, int64_t n, double x, int64_t *loOut, int64_t *hiOut, int direction) {
  int64_t lo = 0, hi = n < 2 ? 0 : n - 1;
  if (n >= 2 && (direction == 0 || direction == 1) && !std::isnan(x)) {
    bool ascending = direction == 1;
    if (ascending ? x < sample(0) : x > sample(0)) {
      hi = 0;
    } else if (ascending ? x > sample(n - 1) : x < sample(n - 1)) {
      lo = n - 1;
    } else {
      for (int round = 0; round < kMaxSearchRounds && hi != lo + 1; ++round) {
        int64_t mid = lo + (hi - lo) / 2;
        int64_t lastLo = lo, lastHi = hi;
        double value = sample(mid);
        if (ascending) {
          if (x < value)
            hi = mid;
          else if (value <= x)
            lo = mid;
        } else {
          if (value < x)
            hi = mid;
          else if (x <= value)
            lo = mid;
        }
        // A NaN sample answers neither comparison; step past it so the
        // bracket keeps shrinking.
        if (lo == lastLo && hi == lastHi) {
          if (hi == mid)
            --hi;
          else
            ++lo;
        }
      }
    }
  }
  if (loOut)
    *loOut = lo;
  if (hiOut)
    *hiOut = hi;
}

// Lagrange form through samples 0..k at q. Two abscissae that (nearly)
// coincide make the polynomial meaningless, so the order drops by one; when
// the coincident sample lies below q the window slides one sample on, keeping
// the samples nearer q.
double lagrange(const double *y, const double *x, int k, double q) {
  for (;;) {
    if (k <= 0)
      return y[0];
    double sum = 0.0;
    bool restart = false;
    for (int i = 0; i <= k && !restart; ++i) {
      double term = y[i];
      for (int j = 0; j <= k; ++j) {
        if (j == i)
          continue;
        double xi = x[i], xj = x[j];
        if (std::fabs(xi - xj) <= 1e-14 * std::max(std::fabs(xi), std::fabs(xj))) {
          if (xi < q) {
            ++x;
            ++y;
          }
          --k;
          restart = true;
          break;
        }
        term *= (q - xj) / (xi - xj);
      }
      sum += term;
    }
    if (!restart)
      return sum;
  }
}

// The straight line through (x0, y0), (x1, y1) solved for ordinate t.
double inverseLinear(double y0, double y1, double x0, double x1, double t) {
  if (y0 == y1)
    return x0;
  return (x0 * t - y1 * x0 - x1 * t + y0 * x1) / (y0 - y1);
}

// The parabola through three samples solved for ordinate t, preferring the
// root between samples 1 and 2.
double inverseQuadratic(const double *y, const double *x, double t) {
  double x0 = x[0], x1 = x[1], x2 = x[2];
  double y0 = y[0], y1 = y[1], y2 = y[2];
  if (x0 == x1 || x1 == x2 || x0 == x2)
    return inverseLinear(y1, y2, x1, x2, t);
  double d = (y0 - y1) / (x0 - x1);
  double a = ((y1 - y2) / (x1 - x2) - d) / (x2 - x0);
  double b = d - (x1 + x0) * a;
  double c = y2 - a * x2 * x2 - b * x2 - t;
  double D = b * b - 4.0 * a * c;
  double r1, r2;
  if (D > 0.0 && a != 0.0) {
    // The root pair formed without cancellation.
    double q = -0.5 * (b + (b > 0.0 ? 1.0 : -1.0) * std::sqrt(D));
    r1 = q / a;
    r2 = c / q;
  } else if (D == 0.0 && a != 0.0) {
    r1 = r2 = -0.5 * b / a;
  } else {
    return inverseLinear(y1, y2, x1, x2, t);
  }
  // The interval of samples 1 and 2, whichever way the abscissae run.
  double low = std::min(x1, x2), high = std::max(x1, x2);
  if (low <= r1 && r1 <= high)
    return r1;
  if (low <= r2 && r2 <= high)
    return r2;
  return std::fabs(r2 - x1) < std::fabs(r1 - x1) ? r2 : r1;
}

// Copies `count` values as their log10 into `out`; false (and `out` unused)
// when any is not above 0, the axis then staying linear.
bool takeLogs(const double *values, int count, double *out) {
  for (int i = 0; i < count; ++i)
    if (!(values[i] > 0.0))
      return false;
  for (int i = 0; i < count; ++i)
    out[i] = std::log10(values[i]);
  return true;
}

} // namespace

void sp_BinarySearch(const double *data, int64_t n, double x, int64_t *lo, int64_t *hi,
                     int direction) {
  if (!data)
    n = 0;
  bracket([data](int64_t i) { return data[i]; }, n, x, lo, hi, direction);
}

void sp_BinarySearch(const complex *data, int64_t n, double x, int64_t *lo, int64_t *hi,
                     int direction) {
  if (!data)
    n = 0;
  bracket([data](int64_t i) { return data[i].re; }, n, x, lo, hi, direction);
}

double support_Interp(const double *ordinates, const double *abscissae, double q,
                      const InterpOpts &opts) {
  if (!ordinates || !abscissae)
    return 0.0;
  int k = opts.order;
  if (opts.inverse) {
    if (k < 1)
      k = 1;
    if (k > 2)
      return 0.0;
  } else if (k < 0) {
    k = 0;
  }

  const double *x = abscissae;
  const double *y = ordinates;
  bool logX = false, logY = false;
  double smallX[3], smallY[3];
  std::vector<double> largeX, largeY;
  if (opts.logX || opts.logY) {
    int count = k + 1;
    double *bufferX = smallX, *bufferY = smallY;
    if (count > 3) {
      largeX.resize(static_cast<size_t>(count));
      largeY.resize(static_cast<size_t>(count));
      bufferX = largeX.data();
      bufferY = largeY.data();
    }
    if (opts.logX && takeLogs(abscissae, count, bufferX)) {
      logX = true;
      x = bufferX;
    }
    if (opts.logY && takeLogs(ordinates, count, bufferY)) {
      logY = true;
      y = bufferY;
    }
  }

  if (!opts.inverse) {
    double value = lagrange(y, x, k, logX ? std::log10(q) : q);
    return logY ? std::pow(10.0, value) : value;
  }
  double t = logY ? std::log10(q) : q;
  double root = k == 1 ? inverseLinear(y[0], y[1], x[0], x[1], t) : inverseQuadratic(y, x, t);
  return logX ? std::pow(10.0, root) : root;
}

void support_FindYFromX(YList<double> *values, YList<int64_t> *indices, const double *results,
                        const double *searched, int64_t n, double level, InterpOpts opts) {
  if (!values || !indices || !results || !searched || n < 2 || std::isnan(level))
    return;
  int64_t k = std::min<int64_t>(opts.order, n - 1);
  // The inverse needs at least the interval's own two samples; a forward
  // order 0 answers the sample after the interval.
  if (opts.inverse)
    k = std::max<int64_t>(1, std::min<int64_t>(k, 2));
  else if (k < 0)
    k = 0;

  bool haveBelow = false, haveAbove = false;
  double bestBelow = -DBL_MAX, bestAbove = DBL_MAX;
  int64_t indexBelow = -1, indexAbove = -1;

  for (int64_t i = 0; i + 1 < n; ++i) {
    double s0 = searched[i], s1 = searched[i + 1];
    // A sample equal to the level belongs to the interval that starts at it;
    // only the last interval also takes a level equal to its end.
    if (!((s0 <= level && level < s1) || (s1 < level && level <= s0) ||
          (i == n - 2 && level == s1)))
      continue;
    bool up = s0 < s1, down = s1 < s0;

    bool accept;
    double r0 = results[i], r1 = results[i + 1];
    switch (opts.slope) {
    case 0:
      accept = true;
      break;
    case 1:
      accept = (up && r0 < r1) || (down && r1 < r0);
      break;
    case -1:
      accept = (up && r1 < r0) || (down && r0 < r1);
      break;
    default:
      accept = false;
      break;
    }
    if (!accept)
      continue;

    // The window of k + 1 samples ending with this interval (or starting at
    // the data's first sample). Higher orders need strictly monotonic
    // searched samples there, else the curve through them is not a function
    // of the level and the straight line of the interval is used.
    int64_t start = std::max<int64_t>(0, i - k + 1);
    int m = static_cast<int>(k);
    if (k > 1) {
      bool rising = searched[start] < searched[start + 1];
      bool ok = rising || searched[start + 1] < searched[start];
      for (int64_t j = start + 1; ok && j < start + k; ++j)
        ok = rising ? searched[j] < searched[j + 1] : searched[j + 1] < searched[j];
      if (!ok) {
        m = 1;
        start = i;
      }
    }
    // The inverse parabola is solved between its samples 1 and 2, which the
    // first interval is not.
    if (opts.inverse && i == 0 && k == 2)
      m = 1;

    InterpOpts windowOpts = opts;
    windowOpts.order = m;
    double value = opts.inverse
                       ? support_Interp(searched + start, results + start, level, windowOpts)
                       : support_Interp(results + start, searched + start, level, windowOpts);

    if (!opts.nearest) {
      values->prepend(value);
      indices->prepend(i);
    } else if (value < opts.reference) {
      if (!haveBelow || value > bestBelow) {
        haveBelow = true;
        bestBelow = value;
        indexBelow = i;
      }
    } else if (value >= opts.reference) {
      if (!haveAbove || value < bestAbove) {
        haveAbove = true;
        bestAbove = value;
        indexAbove = i;
      }
    }
  }

  if (haveBelow) {
    values->prepend(bestBelow);
    indices->prepend(indexBelow);
  }
  if (haveAbove) {
    values->prepend(bestAbove);
    indices->prepend(indexAbove);
  }
}

double invPower(double x, int n) {
  if (n == 2)
    return std::sqrt(x);
  if (n == 0)
    return std::pow(x, std::numeric_limits<double>::infinity());
  return std::pow(x, 1.0 / n);
}
