// Crossing search, bracket search and interpolation over arbitrary samples
// (NaN, infinities, plateaus, any order and slope): nothing may be read
// outside the arrays, and the lists must hold only intervals of the data.
#include <kvsupport/numerics/Complex.h>
#include <kvsupport/numerics/Interpolation.h>

#include "FuzzSupport.h"

#include <vector>

namespace {

// Samples come either as raw doubles or as small integers, which give
// plateaus and exact hits of the level far more often.
double sample(kvfuzz::Input &in, bool raw) {
  return raw ? in.value<double>() : static_cast<double>(in.value<int8_t>() % 8);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  kvfuzz::Input in(data, size);
  uint8_t flags = in.byte();
  bool raw = flags & 0x10;
  InterpOpts opts;
  opts.inverse = flags & 1;
  opts.logX = flags & 2;
  opts.logY = flags & 4;
  opts.nearest = flags & 8;
  opts.order = in.value<int8_t>();
  opts.slope = in.value<int8_t>() % 3;
  double level = sample(in, raw);
  opts.reference = sample(in, raw);

  std::vector<double> searched, results;
  while (in.left() > 0 && searched.size() < 4096) {
    searched.push_back(sample(in, raw));
    results.push_back(sample(in, raw));
  }
  int64_t n = static_cast<int64_t>(searched.size());

  YList<double> values;
  YList<int64_t> indices;
  support_FindYFromX(&values, &indices, results.data(), searched.data(), n, level, opts);
  if (values.count() != indices.count())
    std::abort();
  if (opts.nearest && values.count() > 2)
    std::abort();
  int64_t previous = n;
  for (int64_t index : indices) {
    if (index < 0 || index > n - 2)
      std::abort();
    // Without `nearest` the last crossing comes first.
    if (!opts.nearest && index >= previous)
      std::abort();
    previous = index;
  }

  std::vector<complex> complexSamples;
  for (double s : searched)
    complexSamples.emplace_back(s, 0.0);
  for (int direction : {0, 1, 2}) {
    int64_t lo = -1, hi = -1, clo = -1, chi = -1;
    sp_BinarySearch(searched.data(), n, level, &lo, &hi, direction);
    sp_BinarySearch(complexSamples.data(), n, level, &clo, &chi, direction);
    if (lo < 0 || hi < lo || (n > 0 && hi >= n) || lo != clo || hi != chi)
      std::abort();
  }

  // A window that fits the data at the requested order.
  // (An inverse curve always spans at least two samples.)
  int order = opts.order < 0 ? 0 : opts.order % 6;
  int needed = opts.inverse ? (order < 1 ? 2 : order + 1) : order + 1;
  if (n >= needed) {
    InterpOpts windowOpts = opts;
    windowOpts.order = order;
    (void)support_Interp(results.data(), searched.data(), level, windowOpts);
  }
  return 0;
}
