#include "kvsupport/strings/Utf8File.h"

#include "os/Utf8File_p.h"

#include <cerrno>

namespace {

// Parses a C mode as the suite writes it: the first letter chooses the kind
// of opening, then '+' adds the other direction; 'b', 't' and anything the
// suite's other platform understands ("ccs=", 'N', 'S', ...) change nothing
// here.
int openWithMode(const char *path, const char *mode, FILE **file) {
  *file = nullptr;
  if (!path || !mode)
    return EINVAL;
  bool read = false, write = false, create = false, truncate = false, append = false;
  switch (mode[0]) {
  case 'r':
    read = true;
    break;
  case 'w':
    write = create = truncate = true;
    break;
  case 'a':
    write = create = append = true;
    break;
  default:
    return EINVAL;
  }
  for (const char *p = mode + 1; *p && *p != ','; ++p) {
    if (*p == '+')
      read = write = true;
  }
  return kv::os::openStream(path, read, write, create, truncate, append, file);
}

int result(int error) {
  if (error == 0)
    return 0;
  errno = error;
  return -1;
}

} // namespace

FILE *fopen_utf8(const char *path, const char *mode) {
  FILE *file;
  int error = openWithMode(path, mode, &file);
  if (error)
    errno = error;
  return file;
}

int fopen_s_utf8(FILE **file, const char *path, const char *mode) {
  if (!file)
    return EINVAL;
  return openWithMode(path, mode, file);
}

int rename_utf8(const char *from, const char *to) {
  if (!from || !to)
    return result(EINVAL);
  return result(kv::os::renameNoReplace(from, to));
}

int unlink_utf8(const char *path) {
  if (!path)
    return result(EINVAL);
  return result(kv::os::removeFile(path));
}

int stat_utf8(const char *path, Stat64 *info) {
  if (!path || !info)
    return result(EINVAL);
  return result(kv::os::statFile(path, info));
}
