#pragma once

#include "kvsupport/containers/YVector.h"

/// One point of a tabulated probability density.
struct ArbLookUpTableValues {
  double value = 0.0;   ///< carried along, not read by loading
  double x = 0.0;       ///< the abscissa
  double density = 0.0; ///< the density at x
};

/// One trapezoid of the integrated density: the cumulative probability before
/// it and its two end points.
struct IntegratedSegment {
  double cumulative = 0.0;
  double x0 = 0.0;
  double d0 = 0.0;
  double x1 = 0.0;
  double d1 = 0.0;
};

/// The result of `DisributionLookUpTableObject::load`.
enum DistTableValuesError {
  DTV_OK = 0,               ///< loaded
  DTV_X_DECREASING = 1,     ///< a point's x is less than the previous one's (or not finite)
  DTV_NEGATIVE_DENSITY = 2, ///< a density is negative (or not finite)
  DTV_NO_AREA = 3           ///< fewer than two points, or no positive finite area
};

/// Samples an arbitrary distribution given as a piecewise-linear density:
/// `load` integrates the density once, `lookUp` maps p in [0, 1] to the x at
/// which the cumulative distribution reaches p.
class DisributionLookUpTableObject {
public:
  DisributionLookUpTableObject() = default;

  /// Integrates `points` (x non-decreasing, densities not negative) into a
  /// normalised table. On any error the table is left empty.
  DistTableValuesError load(const YVector<ArbLookUpTableValues> &points);

  /// The x at which the cumulative distribution reaches p: the table's first
  /// x for p <= 0, its last x for p >= 1, NaN for a NaN p, and 0 when no
  /// table is loaded.
  double lookUp(double p) const;

  /// The stored segments (empty until a load succeeds).
  const YVector<IntegratedSegment> &segments() const { return segments_; }

private:
  YVector<IntegratedSegment> segments_;
};
