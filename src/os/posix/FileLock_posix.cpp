// Lock files on POSIX. There are no share modes, so "open for writing
// while nobody else has it open for writing" becomes an exclusive flock(2)
// on the open lock file, taken without waiting. flock locks belong to the
// open file description and vanish with it, so a holder that dies, however
// it dies, releases the lock, and a stale lock file is simply taken.
//
// Two rules keep a held lock file intact. The file is opened without
// truncation and emptied only once the lock is ours, so a refused attempt
// never wipes the holder's line. And a holder deletes the file while still
// holding the lock; whoever opened the old file before the deletion finds,
// after taking the lock, that the name now leads elsewhere (or nowhere) and
// starts again, so no two processes ever hold locks on two files of one name.
#include "os/FileLock_p.h"

#include "os/posix/PosixCalls_p.h"

#include <pwd.h>

#include <cstring>
#include <string>

namespace kv::os {
namespace {

bool sameFile(const struct stat &a, const struct stat &b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Attempts before giving up when the lock file keeps being deleted under us.
constexpr int kOpenAttempts = 16;

} // namespace

intptr_t acquireLockFile(const char *path, const char *owner, uint32_t *error) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    // O_NONBLOCK: a FIFO planted under the lock file's name must not hang the
    // open; O_NOFOLLOW: the lock file is never written through a symbolic link.
    int fd = posix::openFile(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd < 0) {
      *error = static_cast<uint32_t>(errno);
      return -1;
    }
    struct stat held;
    if (posix::statHandle(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
      *error = static_cast<uint32_t>(S_ISREG(held.st_mode) ? errno : EINVAL);
      posix::closeFile(fd);
      return -1;
    }
    if (posix::lockExclusiveNoWait(fd) != 0) {
      *error = static_cast<uint32_t>(errno);
      posix::closeFile(fd);
      return -1;
    }
    struct stat named;
    if (posix::statLink(path, &named) != 0 || !sameFile(named, held)) {
      posix::closeFile(fd); // the holder we outlasted deleted this file: try the new one
      continue;
    }
    // The lock is ours: only now may the previous holder's line go. The
    // owner line is for people reading the file; failing to write it does
    // not weaken the lock, which is held either way.
    if (posix::truncateHandle(fd, 0) == 0)
      posix::writeAll(fd, owner, std::strlen(owner));
    *error = 0;
    return fd;
  }
  *error = static_cast<uint32_t>(EWOULDBLOCK);
  return -1;
}

void releaseLockFile(intptr_t handle, const char *path) {
  if (handle < 0)
    return;
  const int fd = static_cast<int>(handle);
  // Delete only the file we hold: if someone removed it and another process
  // has since locked a new file of that name, that file is theirs.
  struct stat held, named;
  if (posix::statHandle(fd, &held) == 0 && posix::statLink(path, &named) == 0 &&
      sameFile(held, named))
    ::unlink(path);
  posix::closeFile(fd);
}

FileLockError classifyLockError(uint32_t error) {
  switch (error) {
  case 0:
    return FileLockNone;
  case EWOULDBLOCK:
    return FileLockInUse;
  case EACCES:
  case EPERM:
  case EROFS:
    return FileLockAccessDenied;
  default:
    return FileLockFailed;
  }
}

YString lockOwnerName() {
  std::string user;
  struct passwd entry;
  struct passwd *found = nullptr;
  char buffer[1024];
  if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
      found->pw_name && *found->pw_name)
    user = found->pw_name;
  else if (const char *name = ::getenv("USER"); name && *name)
    user = name;
  else
    user = std::to_string(::geteuid());

  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0 || !host[0])
    std::strcpy(host, "localhost");
  return YString((user + "@" + host).c_str());
}

} // namespace kv::os
