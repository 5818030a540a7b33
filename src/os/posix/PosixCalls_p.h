// Internal header, not API: the one place where raw POSIX calls are made
// safe to use. Every call that can be interrupted is retried on EINTR, and
// every descriptor is opened close-on-exec, so child programs never inherit
// the library's files, locks or mappings.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

namespace kv::posix {

/// Calls `call()` again while it fails with EINTR; returns its last result.
template <class Call> auto retryOnInterrupt(Call call) -> decltype(call()) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

/// open(2) with O_CLOEXEC added, retried on EINTR; -1 with errno on failure.
inline int openFile(const char *path, int flags, mode_t mode = 0666) {
  return retryOnInterrupt([&] { return ::open(path, flags | O_CLOEXEC, mode); });
}

/// close(2); EINTR is not retried (the descriptor is gone either way on Linux).
inline int closeFile(int fd) { return ::close(fd); }

/// Writes all `size` bytes unless an error other than EINTR occurs; returns
/// the bytes written, or -1 when nothing could be written.
inline ssize_t writeAll(int fd, const void *data, size_t size) {
  const char *at = static_cast<const char *>(data);
  size_t done = 0;
  while (done < size) {
    ssize_t n = retryOnInterrupt([&] { return ::write(fd, at + done, size - done); });
    if (n <= 0)
      return done ? static_cast<ssize_t>(done) : -1;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

/// writev(2), retried on EINTR; the bytes written (possibly fewer than
/// given), or -1 with errno.
inline ssize_t writeVector(int fd, const iovec *pieces, int count) {
  return retryOnInterrupt([&] { return ::writev(fd, pieces, count); });
}

/// stat(2) and fstat(2), retried on EINTR; -1 with errno on failure.
inline int statPath(const char *path, struct stat *info) {
  return retryOnInterrupt([&] { return ::stat(path, info); });
}
inline int statDescriptor(int fd, struct stat *info) {
  return retryOnInterrupt([&] { return ::fstat(fd, info); });
}

/// faccessat(2) with the effective user's rights (AT_EACCESS); -1 with errno
/// when `how` (R_OK, W_OK, X_OK) is not allowed.
inline int accessEffective(const char *path, int how) {
  return retryOnInterrupt([&] { return ::faccessat(AT_FDCWD, path, how, AT_EACCESS); });
}

/// unlink(2); -1 with errno on failure.
inline int unlinkPath(const char *path) {
  return retryOnInterrupt([&] { return ::unlink(path); });
}

/// rename(2) that fails with EEXIST instead of replacing an existing target.
/// Where the file system cannot do that atomically (EINVAL), the target is
/// checked first, which leaves a short window in which a file appearing there
/// would be replaced.
inline int renameNoReplace(const char *from, const char *to) {
  int result =
      retryOnInterrupt([&] { return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE); });
  if (result == 0 || errno != EINVAL)
    return result;
  struct stat info;
  if (::lstat(to, &info) == 0) {
    errno = EEXIST;
    return -1;
  }
  return retryOnInterrupt([&] { return ::rename(from, to); });
}

/// A stdio stream over an open descriptor; on failure the descriptor is
/// closed and null returned with errno kept.
inline FILE *streamOnDescriptor(int fd, const char *mode) {
  FILE *file = ::fdopen(fd, mode);
  if (!file) {
    int error = errno;
    closeFile(fd);
    errno = error;
  }
  return file;
}

/// fstat(2); -1 with errno on failure.
inline int statHandle(int fd, struct stat *info) { return ::fstat(fd, info); }

/// lstat(2): the entry itself, not what a symbolic link points to.
inline int statLink(const char *path, struct stat *info) {
  return retryOnInterrupt([&] { return ::lstat(path, info); });
}

/// flock(2) with LOCK_EX | LOCK_NB: -1 with errno EWOULDBLOCK when another
/// open file description holds the lock.
inline int lockExclusiveNoWait(int fd) {
  return retryOnInterrupt([&] { return ::flock(fd, LOCK_EX | LOCK_NB); });
}

/// flock(2) with LOCK_EX, waiting as long as it takes.
inline int lockExclusive(int fd) {
  return retryOnInterrupt([&] { return ::flock(fd, LOCK_EX); });
}

/// flock(2) with LOCK_UN.
inline int unlockFile(int fd) {
  return retryOnInterrupt([&] { return ::flock(fd, LOCK_UN); });
}

/// ftruncate(2), retried on EINTR.
inline int truncateHandle(int fd, off_t size) {
  return retryOnInterrupt([&] { return ::ftruncate(fd, size); });
}

/// fsync(2), retried on EINTR.
inline int syncHandle(int fd) {
  return retryOnInterrupt([&] { return ::fsync(fd); });
}

/// fdatasync(2), retried on EINTR.
inline int syncHandleData(int fd) {
  return retryOnInterrupt([&] { return ::fdatasync(fd); });
}

/// fchmod(2).
inline int changeModeHandle(int fd, mode_t mode) {
  return retryOnInterrupt([&] { return ::fchmod(fd, mode); });
}

/// shm_open(3). The C library opens shared memory objects close-on-exec
/// already; -1 with errno on failure.
inline int openSharedMemory(const char *name, int flags, mode_t mode) {
  return retryOnInterrupt([&] { return ::shm_open(name, flags, mode); });
}

/// fopen(3) with the close-on-exec mode flag 'e' added; null with errno on
/// failure (also for a mode too long to be a stdio mode).
inline FILE *openStream(const char *path, const char *mode) {
  char withCloexec[16];
  size_t length = std::strlen(mode);
  if (length + 2 > sizeof withCloexec) {
    errno = EINVAL;
    return nullptr;
  }
  std::memcpy(withCloexec, mode, length);
  withCloexec[length] = 'e';
  withCloexec[length + 1] = '\0';
  FILE *stream;
  do {
    stream = ::fopen(path, withCloexec);
  } while (!stream && errno == EINTR);
  return stream;
}

/// nanosleep(2) for the whole of `duration`: after an interruption the
/// sleep goes on for the time that remained.
inline void sleepFully(timespec duration) {
  while (::nanosleep(&duration, &duration) == -1 && errno == EINTR) {
  }
}

/// fdopen(3) of a descriptor this layer opened (already close-on-exec).
inline FILE *adoptStream(int fd, const char *mode) { return ::fdopen(fd, mode); }

/// A non-blocking local stream socket, close-on-exec; -1 with errno.
inline int openLocalSocket() {
  return ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

/// accept4(2) of a non-blocking, close-on-exec connection, retried on EINTR.
inline int acceptConnection(int fd) {
  return retryOnInterrupt(
      [&] { return ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC); });
}

/// connect(2), retried on EINTR.
inline int connectSocket(int fd, const sockaddr *address, socklen_t length) {
  return retryOnInterrupt([&] { return ::connect(fd, address, length); });
}

/// sendmsg(2) of the pieces without raising SIGPIPE on a closed peer and
/// without blocking, retried on EINTR; the bytes sent or -1 with errno.
inline ssize_t sendPieces(int fd, iovec *pieces, int count) {
  msghdr message{};
  message.msg_iov = pieces;
  message.msg_iovlen = static_cast<size_t>(count);
  return retryOnInterrupt([&] { return ::sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT); });
}

/// sendmsg(2) on a non-blocking socket that waits for room as a blocking
/// one would, up to the socket's send time-out (SO_SNDTIMEO); no SIGPIPE.
/// The bytes sent (possibly fewer), or -1 with errno (EAGAIN: time-out).
inline ssize_t sendPiecesWaiting(int fd, iovec *pieces, int count) {
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
    return sendPieces(fd, pieces, count);
  msghdr message{};
  message.msg_iov = pieces;
  message.msg_iovlen = static_cast<size_t>(count);
  ssize_t sent = ::sendmsg(fd, &message, MSG_NOSIGNAL);
  int error = errno;
  ::fcntl(fd, F_SETFL, flags);
  errno = error;
  if (sent < 0 && errno == EINTR) {
    errno = EAGAIN;
  }
  return sent;
}

/// readv(2), retried on EINTR.
inline ssize_t readVector(int fd, const iovec *pieces, int count) {
  return retryOnInterrupt([&] { return ::readv(fd, pieces, count); });
}

/// poll(2); EINTR is reported as "nothing ready" (0), so that callers
/// recompute their time-out and try again.
inline int pollDescriptors(pollfd *fds, nfds_t count, int timeoutMs) {
  int result = ::poll(fds, count, timeoutMs);
  return result < 0 && errno == EINTR ? 0 : result;
}

} // namespace kv::posix
