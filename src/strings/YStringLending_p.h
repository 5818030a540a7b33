// Internal header, not API: strings that take their text where it already
// lies, inside a larger allocation, instead of copying it.
#pragma once

#include "kvsupport/strings/YString.h"

#include <cstddef>

namespace kv::detail {

struct YStringLending {
  /// The string whose block starts `offset` bytes into the malloc'ed
  /// `allocation` (a multiple of 4, at most 252): 4 bytes that become its
  /// count, then its text, NUL-terminated within the allocation. The string
  /// takes the allocation over and frees it with its last copy.
  static YString adopt(char *allocation, size_t offset);
};

} // namespace kv::detail
