// 64-bit stdio positioning on POSIX: fseeko/ftello with a 64-bit off_t, and
// fstat on the descriptor for the size, so files beyond 2 GiB work alike.
#include "os/StdioFile_p.h"

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

} // namespace kv::os
