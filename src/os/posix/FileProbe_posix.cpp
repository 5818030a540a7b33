// File-open probes on POSIX. The probe is open(2) itself, never a stdio or
// Qt open: O_NONBLOCK keeps a FIFO without a peer from hanging it (a writer
// then fails with ENXIO, which reads as "in use"), O_NOCTTY keeps a terminal
// from becoming ours, and no O_TRUNC ever touches a file's bytes. A missing
// file is created with O_EXCL, so the probe deletes only a file it made
// itself, and only while the name still leads to it.
//
// Held lock files are told from /proc/locks: taking the lock to see whether
// it is free would, for that moment, refuse its real owner.
#include "os/FileProbe_p.h"

#include "os/posix/PosixCalls_p.h"

#include <sys/sysmacros.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace kv::os {
namespace {

constexpr int kProbeFlags = O_NONBLOCK | O_NOCTTY;

bool isDirectory(int fd) {
  struct stat info;
  return posix::statHandle(fd, &info) == 0 && S_ISDIR(info.st_mode);
}

// Deletes the file this probe created, unless the name meanwhile leads to
// another file.
void removeCreated(int fd, const char *path) {
  struct stat made, named;
  if (posix::statHandle(fd, &made) == 0 && posix::statLink(path, &named) == 0 &&
      made.st_dev == named.st_dev && made.st_ino == named.st_ino)
    posix::unlinkPath(path);
}

} // namespace

PathLook lookAtPath(const char *path) {
  struct stat info;
  if (posix::statPath(path, &info) == 0)
    return S_ISDIR(info.st_mode) ? PathLook::Directory : PathLook::File;
  return errno == EACCES ? PathLook::Unsearchable : PathLook::Missing;
}

bool mayAccess(const char *path, bool write) {
  return posix::accessEffective(path, write ? W_OK : R_OK) == 0;
}

bool opensAsFile(const char *path, bool write) {
  if (!write) {
    int fd = posix::openFile(path, O_RDONLY | kProbeFlags);
    if (fd < 0)
      return false;
    const bool file = !isDirectory(fd);
    posix::closeFile(fd);
    return file;
  }
  const int flags = O_WRONLY | O_APPEND | kProbeFlags;
  int fd = posix::openFile(path, flags | O_CREAT | O_EXCL, 0600);
  if (fd >= 0) {
    removeCreated(fd, path);
    posix::closeFile(fd);
    return true;
  }
  if (errno != EEXIST)
    return false;
  fd = posix::openFile(path, flags);
  if (fd < 0)
    return false;
  posix::closeFile(fd);
  return true;
}

bool lockHeldByAnotherProcess(const char *lockPath) {
  struct stat lock;
  if (posix::statPath(lockPath, &lock) != 0)
    return false;
  FILE *table = posix::openStream("/proc/locks", "r");
  if (!table)
    return false;
  const long self = static_cast<long>(::getpid());
  bool held = false;
  char line[256];
  while (!held && std::fgets(line, sizeof line, table)) {
    // "1: FLOCK  ADVISORY  WRITE 1234 fd:01:5678 0 EOF"; waiters carry "->"
    // after the number and hold nothing yet.
    char kind[16], mode[16], access[16];
    long pid = 0;
    unsigned major = 0, minor = 0;
    uintmax_t inode = 0;
    if (std::strstr(line, "->"))
      continue;
    if (std::sscanf(line, "%*d: %15s %15s %15s %ld %x:%x:%" SCNuMAX, kind, mode, access, &pid,
                    &major, &minor, &inode) == 7)
      held = pid != self && major == ::major(lock.st_dev) && minor == ::minor(lock.st_dev) &&
             inode == static_cast<uintmax_t>(lock.st_ino);
  }
  std::fclose(table);
  return held;
}

} // namespace kv::os
