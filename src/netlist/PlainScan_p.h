// Internal header, not API: the block scan with which the netlist readers
// pass over runs of ordinary characters.
#pragma once

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kv::netlist {

/// Skips from `p` towards `end` the ordinary content characters: readable
/// (tab or 32 to 254) and none of line feed, `{`, `}` and `comment` (pass 0
/// to let braces through as well), sixteen bytes at a time. Within the
/// block holding the first other byte the scan stops at that byte; only the
/// last bytes before `end`, fewer than sixteen, are left for the caller,
/// which decides the rest one by one. ORs the skipped bytes' top bits into
/// *bits (so bit 7 tells of bytes above 127), unless `bits` is null.
/// Returns the first byte not skipped.
inline const char *skipPlainBlocks(const char *p, const char *end, char comment,
                                   unsigned char *bits, bool braces = true) {
#if defined(__SSE2__)
  // The readers would otherwise decide every character of a line on its
  // own: one mask per block tells where the next decision is.
  const __m128i controls = _mm_set1_epi8(31);
  const __m128i tab = _mm_set1_epi8('\t');
  const __m128i top = _mm_set1_epi8(static_cast<char>(255));
  const __m128i mark = _mm_set1_epi8(comment);
  const __m128i open = _mm_set1_epi8(braces ? '{' : '\n');
  const __m128i close = _mm_set1_epi8(braces ? '}' : '\n');
  unsigned high = 0;
  while (end - p >= 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    __m128i special =
        _mm_andnot_si128(_mm_cmpeq_epi8(x, tab), _mm_cmpeq_epi8(_mm_min_epu8(x, controls), x));
    special = _mm_or_si128(special, _mm_cmpeq_epi8(x, top));
    special = _mm_or_si128(special, _mm_cmpeq_epi8(x, mark));
    if (braces)
      special =
          _mm_or_si128(special, _mm_or_si128(_mm_cmpeq_epi8(x, open), _mm_cmpeq_epi8(x, close)));
    unsigned stops = static_cast<unsigned>(_mm_movemask_epi8(special));
    unsigned signs = bits ? static_cast<unsigned>(_mm_movemask_epi8(x)) : 0;
    if (stops) {
      unsigned before = static_cast<unsigned>(__builtin_ctz(stops));
      high |= signs & ((1u << before) - 1);
      p += before;
      break;
    }
    high |= signs;
    p += 16;
  }
  if (bits)
    *bits |= high ? 0x80 : 0;
  return p;
#else
  using Bytes16 = unsigned char __attribute__((vector_size(16)));
  const Bytes16 space = {32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32};
  Bytes16 seen = {};
  while (end - p >= 16) {
    Bytes16 x;
    std::memcpy(&x, p, 16);
    auto special = (x < space) & (x != '\t');
    special |= x == 255;
    special |= x == static_cast<unsigned char>(comment);
    if (braces)
      special |= (x == '{') | (x == '}');
    uint64_t halves[2];
    std::memcpy(halves, &special, 16);
    if (halves[0] | halves[1])
      break;
    seen |= x;
    p += 16;
  }
  uint64_t halves[2];
  std::memcpy(halves, &seen, 16);
  uint64_t all = halves[0] | halves[1];
  if (bits)
    *bits |= (all & 0x8080808080808080ull) ? 0x80 : 0;
  return p;
#endif
}

/// Whether the bytes from `p` to `end` begin with a line feed and, after it,
/// the first character of an ordinary line: readable (33 to 254 once blanks
/// and line feeds are left out) and none of `+`, `*` and `comment`. The
/// readers take such a line end, the commonest, in one step.
inline bool lineFeedBeforeOrdinaryLine(const char *p, const char *end, char comment) {
  if (end - p < 2 || p[0] != '\n')
    return false;
  const auto next = static_cast<unsigned char>(p[1]);
  return next >= 33 && next <= 254 && next != '+' && next != '*' &&
         next != static_cast<unsigned char>(comment);
}

} // namespace kv::netlist
