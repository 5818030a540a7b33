// Internal header, not API: 64-bit positioning and the descriptor of an open
// C stdio file, implemented by the platform layer.
#pragma once

#include <cstddef>
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

/// Writes what `file` holds buffered and waits until the system has put the
/// file's data (and the size that reaches it) on its device; 0 on success,
/// -1 on failure.
int syncStdioFileData(std::FILE *file);

/// A run of bytes for writeStdioFilePieces.
struct WritePiece {
  const char *data;
  size_t size;
};

/// Writes the `count` pieces one after another at the position of `file`, in
/// as few system calls as the platform allows: one large write costs the
/// system less than several smaller ones. Returns the bytes written, fewer
/// after an error. What `file` had buffered is written first, and `file` is
/// left positioned after the bytes written, so its own buffer and position
/// stay right for the calls that follow.
size_t writeStdioFilePieces(std::FILE *file, const WritePiece *pieces, size_t count);

/// The bytes `file` holds buffered for reading and has not handed out yet:
/// stores their address in *data and returns their number, first refilling
/// the buffer from the file when it is empty. 0 at the end of the input, on
/// an error, while the file was last written, and where the C library does
/// not show its buffer; the caller then reads with fgetc.
size_t stdioReadAhead(std::FILE *file, const char **data);
/// Marks the first `count` bytes shown by stdioReadAhead as read, exactly as
/// `count` calls of fgetc would.
void stdioConsume(std::FILE *file, size_t count);

} // namespace kv::os
