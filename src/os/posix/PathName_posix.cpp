// Path names on POSIX: '/' is the only separator the system knows and file
// names are case-sensitive, so two texts that differ only in case may name
// two files. There are no mapped network drives, so a path is its own
// network form. A file's identity is its device and inode numbers, which
// stat reports for files and directories alike and which hard links and
// symbolic links share with their target.
#include "os/PathName_p.h"

#include "os/posix/PosixCalls_p.h"

namespace kv::os {

char pathSeparator() { return '/'; }

bool pathsIgnoreCase() { return false; }

YString networkPath(const YString &path) { return path; }

bool fileIdentity(const char *path, FileIdentity *identity) {
  if (!path || !*path)
    return false;
  struct stat info;
  if (posix::statPath(path, &info) != 0)
    return false;
  identity->volume = static_cast<uint64_t>(info.st_dev);
  identity->index = static_cast<uint64_t>(info.st_ino);
  return true;
}

} // namespace kv::os
