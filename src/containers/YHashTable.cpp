#include "kvsupport/containers/YHashTable.h"

#include <algorithm>
#include <iterator>

namespace kv {

namespace {
// Roughly doubling primes, so a growing table keeps short chains.
constexpr uint32_t kSizes[] = {2,        5,         11,        23,        47,        97,
                               197,      397,       797,       1597,      3203,      6421,
                               12853,    25717,     51437,     102877,    205759,    411527,
                               823117,   1646237,   3292489,   6584983,   13169977,  26339969,
                               52679969, 105359939, 210719881, 421439783, 842879579, 1685759167};
} // namespace

uint32_t nextHashTableSize(uint32_t current) {
  const uint32_t *next = std::upper_bound(std::begin(kSizes), std::end(kSizes), current);
  return next == std::end(kSizes) ? kSizes[std::size(kSizes) - 1] : *next;
}

} // namespace kv
