// Loading arbitrary density tables and looking up arbitrary probabilities:
// a failed load leaves an empty table, and a loaded one answers values
// inside its range that never decrease with p.
#include <kvsupport/numerics/DisributionLookUpTableObject.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

double take(const uint8_t *&data, size_t &size, bool raw) {
  if (!raw) {
    if (size == 0)
      return 0.0;
    --size;
    return static_cast<double>(static_cast<int8_t>(*data++)) / 8.0;
  }
  double value = 0.0;
  size_t n = size < sizeof value ? size : sizeof value;
  std::memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1)
    return 0;
  bool raw = *data & 1;
  ++data;
  --size;
  YVector<ArbLookUpTableValues> points;
  double x = 0.0;
  while (size > 0 && points.size() < 512) {
    double step = take(data, size, raw);
    // Mostly rising abscissae, so loads get past the ordering check.
    x = raw ? step : x + std::fabs(step);
    points.append(ArbLookUpTableValues{0.0, x, take(data, size, raw)});
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
    if (!(value >= previous) || value < first || value > last)
      std::abort();
    previous = value;
  }
  return 0;
}
