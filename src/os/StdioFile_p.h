// Internal header, not API: 64-bit positioning and the descriptor of an open
// C stdio file, implemented by the platform layer.
#pragma once

#include <cstdint>
#include <cstdio>

namespace kv::os {

/// Moves `file` by `offset` from the start (origin 0), the current position
/// (1) or the end (2); 0 on success, -1 on failure.
int seekStdioFile(std::FILE *file, int64_t offset, int origin);
/// The position of `file`, or -1.
int64_t tellStdioFile(std::FILE *file);
/// The descriptor under `file`, or -1.
int stdioFileDescriptor(std::FILE *file);
/// The size in bytes of the file under `file`, or -1.
int64_t stdioFileSize(std::FILE *file);

} // namespace kv::os
