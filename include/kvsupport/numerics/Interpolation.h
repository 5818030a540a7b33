#pragma once

#include "kvsupport/containers/YList.h"

#include <cstdint>

class complex;

/// How `support_Interp` and `support_FindYFromX` interpolate.
struct InterpOpts {
  bool inverse = false;   ///< solve the curve for its abscissa instead of evaluating it
  bool logX = false;      ///< abscissae on a log10 scale (linear when any is not above 0)
  bool logY = false;      ///< ordinates on a log10 scale (linear when any is not above 0)
  bool nearest = false;   ///< `support_FindYFromX` keeps only the two results nearest `reference`
  int32_t order = 1;      ///< polynomial order: the curve through `order` + 1 samples
  int32_t slope = 0;      ///< crossings kept: 1 rising, -1 falling, 0 any, other values none
  double reference = 0.0; ///< the reference value of `nearest`
};

/// Brackets `x` in the monotonic array `data` of `n` samples: `direction` 1
/// for ascending data, 0 for descending. Inside the range, *hi = *lo + 1 and
/// data[*lo] <= x < data[*hi] (ascending; mirrored for descending), a value
/// equal to the last sample giving the last interval. Below the range both
/// are 0, beyond it both are n - 1; with n < 2 or null data both are 0. A NaN
/// x, or any other direction, leaves *lo = 0 and *hi = n - 1. At most 80
/// halving rounds are made, so unordered (NaN) samples cannot stall it. Null
/// out-pointers are skipped.
void sp_BinarySearch(const double *data, int64_t n, double x, int64_t *lo, int64_t *hi,
                     int direction);

/// The same search over the real parts of an array of `complex`.
void sp_BinarySearch(const complex *data, int64_t n, double x, int64_t *lo, int64_t *hi,
                     int direction);

/// The polynomial through samples 0 to `opts.order` of `ordinates` over
/// `abscissae`, evaluated at abscissa `q`; with `opts.inverse`, the abscissa
/// (between samples 1 and 2 for order 2, preferring a root there) at which
/// the curve of order 1 or 2 reaches ordinate `q`. Coincident abscissae lower
/// the order. Both arrays must hold `opts.order` + 1 samples (the inverse
/// counting an order below 1 as 1, and reading nothing above order 2). Inverse orders
/// above 2 give 0; forward orders below 1 give the first ordinate.
double support_Interp(const double *ordinates, const double *abscissae, double q,
                      const InterpOpts &opts);

/// Finds every interval of `searched` (n samples) that contains `level` and
/// adds to the front of `values` the interpolated value of `results` there
/// and to the front of `indices` the interval's index, so the lists end with
/// the last crossing first. `opts.slope` keeps only rising or falling
/// crossings, `opts.nearest` only the smallest value at or above
/// `opts.reference` (first in the lists) and the largest below it. With n < 2,
/// null arrays or lists, or a NaN level nothing is added; NaN samples contain
/// no level.
void support_FindYFromX(YList<double> *values, YList<int64_t> *indices, const double *results,
                        const double *searched, int64_t n, double level, InterpOpts opts);

/// The square root for n = 2, otherwise x to the power 1/n (n = 0 meaning an
/// infinite power).
double invPower(double x, int n);
