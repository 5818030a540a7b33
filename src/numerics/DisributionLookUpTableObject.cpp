#include "kvsupport/numerics/DisributionLookUpTableObject.h"

#include <algorithm>
#include <cmath>

DistTableValuesError
DisributionLookUpTableObject::load(const YVector<ArbLookUpTableValues> &points) {
  segments_.clear();
  if (points.size() < 2)
    return DTV_NO_AREA;
  // A failed load must not leave a half-built, unnormalised table behind.
  auto fail = [this](DistTableValuesError error) {
    segments_.clear();
    return error;
  };
  double area = 0.0;
  for (int64_t i = 0; i + 1 < points.size(); ++i) {
    double x0 = points[i].x, x1 = points[i + 1].x;
    double d0 = points[i].density, d1 = points[i + 1].density;
    if (!std::isfinite(x0) || !std::isfinite(x1) || x0 > x1)
      return fail(DTV_X_DECREASING);
    if (!std::isfinite(d0) || !std::isfinite(d1) || d0 < 0.0 || d1 < 0.0)
      return fail(DTV_NEGATIVE_DENSITY);
    if (x1 - x0 > 0.0 && (d0 > 0.0 || d1 > 0.0)) {
      segments_.append(IntegratedSegment{area, x0, d0, x1, d1});
      area += (d0 + d1) / 2.0 * (x1 - x0);
    }
  }
  if (!(area > 0.0) || !std::isfinite(area))
    return fail(DTV_NO_AREA);
  for (IntegratedSegment &segment : segments_) {
    segment.cumulative /= area;
    segment.d0 /= area;
    segment.d1 /= area;
  }
  return DTV_OK;
}

double DisributionLookUpTableObject::lookUp(double p) const {
  int64_t n = segments_.size();
  if (n == 0)
    return 0.0;
  if (p <= 0.0)
    return segments_[0].x0;
  if (p >= 1.0)
    return segments_[n - 1].x1;
  if (std::isnan(p))
    return p;

  // The last segment whose cumulative value is at most p.
  int64_t lo = 0, hi = n;
  while (hi != lo + 1) {
    int64_t mid = lo + (hi - lo) / 2;
    if (p < segments_[mid].cumulative)
      hi = mid;
    else
      lo = mid;
  }
  const IntegratedSegment &s = segments_[lo];

  // Within the segment the distribution is C + d0 t + a t^2 (t = x - x0).
  // Its root on the rising branch is 2r / (d0 + sqrt(D)) with r = p - C,
  // the form that stays accurate when the density barely changes (a near 0).
  // Rounding may put the root a hair outside the segment: it is clamped in,
  // since p itself lies within the segment's share.
  double r = p - s.cumulative;
  double t;
  if (s.d0 == s.d1) {
    t = r / s.d0;
  } else {
    double a = (s.d1 - s.d0) / (2.0 * (s.x1 - s.x0));
    double D = std::max(0.0, s.d0 * s.d0 + 4.0 * a * r);
    double denominator = s.d0 + std::sqrt(D);
    t = denominator > 0.0 ? 2.0 * r / denominator : 0.0;
  }
  return std::min(s.x1, std::max(s.x0, s.x0 + t));
}
