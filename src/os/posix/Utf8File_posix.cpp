// Files by UTF-8 name on POSIX systems. Path names are bytes here, so UTF-8
// names are passed through unchanged. Streams are opened through a
// close-on-exec descriptor (PosixCalls_p.h) and wrapped with fdopen, so child
// programs never inherit them; nothing locks the file, which gives the
// shared access the suite's callers expect. Directories are refused for
// streams, as the C runtimes of other platforms do, rather than handing out
// a stream on which every read fails.
#include "os/Utf8File_p.h"

#include "kvsupport/strings/Utf8File.h"
#include "os/posix/PosixCalls_p.h"

namespace kv::os {

int openStream(const char *path, bool read, bool write, bool create, bool truncate, bool append,
               FILE **file) {
  *file = nullptr;
  int flags = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  if (create)
    flags |= O_CREAT;
  if (truncate)
    flags |= O_TRUNC;
  if (append)
    flags |= O_APPEND;
  int fd = posix::openFile(path, flags);
  if (fd < 0)
    return errno;
  struct stat info;
  int error = posix::statDescriptor(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
  if (error) {
    posix::closeFile(fd);
    return error;
  }
  const char *mode = append ? (read ? "a+" : "a") : read && write ? "r+" : write ? "w" : "r";
  *file = posix::streamOnDescriptor(fd, mode);
  return *file ? 0 : errno;
}

int renameNoReplace(const char *from, const char *to) {
  return posix::renameNoReplace(from, to) == 0 ? 0 : errno;
}

int removeFile(const char *path) { return posix::unlinkPath(path) == 0 ? 0 : errno; }

int statFile(const char *path, Stat64 *out) {
  struct stat info;
  if (posix::statPath(path, &info) != 0)
    return errno;
  out->dev = static_cast<uint32_t>(info.st_dev);
  out->ino = static_cast<uint16_t>(info.st_ino);
  out->mode = static_cast<uint16_t>(info.st_mode);
  out->nlink = static_cast<int16_t>(info.st_nlink);
  out->uid = static_cast<int16_t>(info.st_uid);
  out->gid = static_cast<int16_t>(info.st_gid);
  out->rdev = static_cast<uint32_t>(info.st_rdev);
  out->size = static_cast<int64_t>(info.st_size);
  out->atime = static_cast<int64_t>(info.st_atim.tv_sec);
  out->mtime = static_cast<int64_t>(info.st_mtim.tv_sec);
  out->ctime = static_cast<int64_t>(info.st_ctim.tv_sec);
  return 0;
}

} // namespace kv::os
