// 64-bit stdio positioning on POSIX: fseeko/ftello with a 64-bit off_t, and
// fstat on the descriptor for the size, so files beyond 2 GiB work alike.
//
// Read-ahead: character readers take their bytes straight from the C
// library's own input buffer, as its getc macro does, so that the FILE stays
// the one owner of the position and of the buffered bytes (seeking, telling,
// fgets and fscanf on the same file see no difference). Only the GNU C
// library's FILE shows its read pointers; elsewhere nothing is shown and
// readers fall back to fgetc.
//
// Gathered writes go to the descriptor with writev once the FILE's buffer is
// flushed; the FILE is then positioned afresh where the descriptor is, since
// it remembers an offset of its own that the descriptor's write moved past.
#include "os/StdioFile_p.h"

#include "os/posix/PosixCalls_p.h"

#include <climits>
#include <cstdio>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <sys/types.h>

static_assert(sizeof(off_t) == 8, "the library needs 64-bit file offsets");

namespace kv::os {

int seekStdioFile(std::FILE *file, int64_t offset, int origin) {
  int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
  return ::fseeko(file, static_cast<off_t>(offset), whence) == 0 ? 0 : -1;
}

int64_t tellStdioFile(std::FILE *file) { return static_cast<int64_t>(::ftello(file)); }

int stdioFileDescriptor(std::FILE *file) { return ::fileno(file); }

int64_t stdioFileSize(std::FILE *file) {
  struct stat info;
  if (::fstat(::fileno(file), &info) != 0)
    return -1;
  return static_cast<int64_t>(info.st_size);
}

size_t writeStdioFilePieces(std::FILE *file, const WritePiece *pieces, size_t count) {
  if (std::fflush(file) != 0)
    return 0;
  const int fd = ::fileno(file);
  constexpr size_t kMaxVector = IOV_MAX < 64 ? IOV_MAX : 64;
  size_t written = 0;
  size_t next = 0; // the first piece not yet written whole
  size_t done = 0; // bytes of pieces[next] written already
  for (;;) {
    while (next < count && done == pieces[next].size) {
      ++next;
      done = 0;
    }
    if (next == count)
      break;
    iovec vector[kMaxVector];
    size_t used = 0;
    for (size_t i = next; i < count && used < kMaxVector; ++i, ++used) {
      size_t skip = i == next ? done : 0;
      vector[used].iov_base = const_cast<char *>(pieces[i].data + skip);
      vector[used].iov_len = pieces[i].size - skip;
    }
    ssize_t result = kv::posix::writeVector(fd, vector, static_cast<int>(used));
    if (result <= 0)
      break;
    written += static_cast<size_t>(result);
    // Step over the pieces the write finished; a piece it cut short is
    // taken up again where it stopped.
    for (size_t left = static_cast<size_t>(result); left > 0; ++next, done = 0) {
      size_t rest = pieces[next].size - done;
      if (left < rest) {
        done += left;
        break;
      }
      left -= rest;
    }
  }
  off_t at = ::lseek(fd, 0, SEEK_CUR);
  if (at >= 0)
    ::fseeko(file, at, SEEK_SET);
  return written;
}

size_t stdioReadAhead(std::FILE *file, const char **data) {
#if defined(__GLIBC__)
  // A stream whose last operation was a write has no input buffered, and its
  // read pointers mean nothing until a read switches it over.
  if (!::__freading(file))
    return 0;
  if (file->_IO_read_ptr >= file->_IO_read_end) {
    // getc refills the buffer; putting the byte back only steps the read
    // pointer back over it, as it is still in the buffer.
    int c = getc_unlocked(file);
    if (c == EOF)
      return 0;
    if (::ungetc(c, file) == EOF)
      return 0;
    if (file->_IO_read_ptr >= file->_IO_read_end)
      return 0;
  }
  *data = file->_IO_read_ptr;
  return static_cast<size_t>(file->_IO_read_end - file->_IO_read_ptr);
#else
  (void)file;
  (void)data;
  return 0;
#endif
}

void stdioConsume(std::FILE *file, size_t count) {
#if defined(__GLIBC__)
  file->_IO_read_ptr += count;
#else
  (void)file;
  (void)count;
#endif
}

int syncStdioFileData(std::FILE *file) {
  if (::fflush(file) != 0)
    return -1;
  return posix::syncHandleData(::fileno(file)) == 0 ? 0 : -1;
}

} // namespace kv::os
