// Internal header, not API: the block scan with which the netlist readers
// pass over runs of ordinary characters.
#pragma once

#include <cstdint>
#include <cstring>

namespace kv::netlist {

// Sixteen bytes at a time through the compiler's portable vector types: the
// readers would otherwise decide every character of a line on its own.
using Bytes16 = unsigned char __attribute__((vector_size(16)));

/// Skips whole 16-byte blocks from `p` towards `end` in which every byte is an
/// ordinary content character: readable (tab or 32 to 254) and none of line
/// feed, `{`, `}` and `comment` (pass 0 to let braces through as well).
/// ORs the skipped bytes into *bits (so bit 7 tells of bytes above 127).
/// Returns the first byte not skipped; the caller decides the rest one by one.
inline const char *skipPlainBlocks(const char *p, const char *end, char comment,
                                   unsigned char *bits, bool braces = true) {
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
  *bits |= (all & 0x8080808080808080ull) ? 0x80 : 0;
  return p;
}

} // namespace kv::netlist
