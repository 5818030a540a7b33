// 64-bit stdio positioning on POSIX: fseeko/ftello with a 64-bit off_t, and
// fstat on the descriptor for the size, so files beyond 2 GiB work alike.
//
// Read-ahead: character readers take their bytes straight from the C
// library's own input buffer, as its getc macro does, so that the FILE stays
// the one owner of the position and of the buffered bytes (seeking, telling,
// fgets and fscanf on the same file see no difference). Only the GNU C
// library's FILE shows its read pointers; elsewhere nothing is shown and
// readers fall back to fgetc.
#include "os/StdioFile_p.h"

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

} // namespace kv::os
