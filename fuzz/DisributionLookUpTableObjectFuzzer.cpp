// Loading arbitrary density tables and looking up arbitrary probabilities:
// a failed load leaves an empty table, and a loaded one answers values
// inside its range that never decrease with p.
#include <kvsupport/numerics/DisributionLookUpTableObject.h>

#include "FuzzSupport.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1)
    return 0;
  kvfuzz::Input in(data, size);
  bool raw = in.byte() & 1;
  auto take = [&] { return raw ? in.value<double>() : in.value<int8_t>() / 8.0; };
  YVector<ArbLookUpTableValues> points;
  double x = 0.0;
  while (in.left() > 0 && points.size() < 512) {
    double step = take();
    // Mostly rising abscissae, so loads get past the ordering check.
    x = raw ? step : x + std::fabs(step);
    points.append(ArbLookUpTableValues{0.0, x, take()});
  }
  DisributionLookUpTableObject table;
  DistTableValuesError error = table.load(points);
  if (error != DTV_OK) {
    if (table.segments().size() != 0 || table.lookUp(0.5) != 0.0)
      std::abort();
    return 0;
  }
  double first = table.lookUp(0.0), last = table.lookUp(1.0);
  double previous = first;
  for (int k = 1; k <= 64; ++k) {
    double value = table.lookUp(k / 64.0);
    // Never decreasing, up to rounding in the last digits.
    double slack = 1e-12 * std::fabs(previous);
    if (!(value >= previous - slack) || value < first || value > last)
      std::abort();
    previous = value;
  }
  return 0;
}
