// Profile files on POSIX.
//
// Replacing: the new text goes into a hidden temporary beside the real file
// (a symbolic link's target, so the rename never crosses file systems and
// the link stays a link), is fsync'ed, renamed over the file and the
// directory fsync'ed. A reader therefore finds either the old or the new
// file, whole, and a crash leaves at worst a stale temporary that the next
// writer removes.
//
// Telling versions apart: the file's device, inode, size and nanosecond
// mtime and ctime catch editors outside the library. They cannot catch
// everything the library itself does: two replacements of the same size
// within one tick of the file system clock look alike, and the inode of a
// replaced file is free at once for the next temporary. So every writer
// also bumps a counter in shared memory after its rename, and readers
// compare it with a plain memory load before trusting their cache. The
// counters form one fixed table per user, indexed by the path hash; it is
// never unlinked, so it needs no life-cycle protocol of its own (a fresh
// table reads as zeros, which only costs a re-read).
//
// Asking cheaply: a reader keeps the file it read open and stats the
// descriptor, which skips the walk of the path. Any change to the held
// file, its rename or removal included, stamps its ctime with the time of
// the change; so once the path was seen to name the held file well after
// that file's last change, an unchanged ctime on the descriptor means the
// path still names it, barring a directory exchanged above it. That case is
// caught by asking the path again at least once a second.
#include "os/ProfileStore_p.h"

#include "os/posix/ObjectName_p.h"
#include "os/posix/PosixCalls_p.h"

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <string>

namespace kv::os {
namespace {

constexpr size_t kCounterSlots = 4096;

// How long after a file's last change its ctime is trusted to move with the
// next change: beyond any file system's time stamp granularity (two seconds
// for the coarsest).
constexpr int64_t kSettledNs = 2'000'000'000;
// How often a watched path is asked anyway, for the exchanged directory.
constexpr uint64_t kAskPathEveryNs = 1'000'000'000;
// Descriptors a process holds for watches; further watches ask the path.
constexpr int kMaxWatches = 64;

std::atomic<int> watchesHeld{0};

int64_t coarseClockNs() {
  timespec now;
  ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

FileVersion versionOf(const struct stat &info) {
  FileVersion version;
  version.exists = true;
  version.device = static_cast<uint64_t>(info.st_dev);
  version.inode = static_cast<uint64_t>(info.st_ino);
  version.size = static_cast<int64_t>(info.st_size);
  version.mtimeNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  version.ctimeNs = static_cast<int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
  return version;
}

int kindError(mode_t mode) {
  if (S_ISREG(mode))
    return 0;
  return S_ISDIR(mode) ? EISDIR : EINVAL;
}

std::string directoryOf(const std::string &path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

volatile uint64_t *counterTable() {
  static volatile uint64_t *table = []() -> volatile uint64_t * {
    const std::string name = posix::objectName("profile", "changes");
    const int fd = posix::openSharedMemory(name.c_str(), O_RDWR | O_CREAT, 0600);
    if (fd < 0)
      return nullptr;
    const size_t bytes = kCounterSlots * sizeof(uint64_t);
    struct stat info;
    // Growing is safe from any number of processes at once: ftruncate to the
    // same size only ever adds zeros.
    if (posix::statHandle(fd, &info) != 0 ||
        (static_cast<size_t>(info.st_size) < bytes && posix::truncateHandle(fd, bytes) != 0)) {
      posix::closeFile(fd);
      return nullptr;
    }
    void *at = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    posix::closeFile(fd);
    return at == MAP_FAILED ? nullptr : static_cast<volatile uint64_t *>(at);
  }
  ();
  return table;
}

} // namespace

int fileVersion(const char *path, FileVersion *version) {
  struct stat info;
  if (posix::statPath(path, &info) != 0) {
    *version = FileVersion();
    return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
  }
  *version = versionOf(info);
  return 0;
}

int FileWatch::version(const char *path, FileVersion *now) {
  const int64_t clock = coarseClockNs();
  struct stat info;
  // Unsigned: a clock set back asks the path at once.
  if (trusted_ && static_cast<uint64_t>(clock - pathAskedNs_) < kAskPathEveryNs &&
      posix::statDescriptor(fd_, &info) == 0) {
    *now = versionOf(info);
    if (*now == confirmed_)
      return 0;
  }
  pathAskedNs_ = clock;
  const int error = fileVersion(path, now);
  trusted_ = !error && fd_ >= 0 && now->exists && now->ctimeNs < clock - kSettledNs &&
             posix::statDescriptor(fd_, &info) == 0 && versionOf(info) == *now;
  if (trusted_)
    confirmed_ = *now;
  return error;
}

void FileWatch::adopt(int fd) {
  close();
  if (fd < 0)
    return;
  if (watchesHeld.fetch_add(1) >= kMaxWatches) {
    watchesHeld.fetch_sub(1);
    posix::closeFile(fd);
    return;
  }
  fd_ = fd;
}

void FileWatch::close() {
  if (fd_ < 0)
    return;
  posix::closeFile(fd_);
  watchesHeld.fetch_sub(1);
  fd_ = -1;
  trusted_ = false;
}

int readRegularFile(const char *path, std::string *bytes, FileVersion *before, FileVersion *after,
                    FileWatch *watch) {
  bytes->clear();
  const int fd = posix::openFile(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (fd < 0)
    return errno;
  struct stat info;
  if (posix::statDescriptor(fd, &info) != 0) {
    const int error = errno;
    posix::closeFile(fd);
    return error;
  }
  if (const int error = kindError(info.st_mode)) {
    posix::closeFile(fd);
    return error;
  }
  *before = versionOf(info);
  if (info.st_size > 0)
    bytes->reserve(static_cast<size_t>(info.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t n = posix::retryOnInterrupt([&] { return ::read(fd, chunk, sizeof chunk); });
    if (n < 0) {
      const int error = errno;
      posix::closeFile(fd);
      return error;
    }
    if (n == 0)
      break;
    bytes->append(chunk, static_cast<size_t>(n));
  }
  if (posix::statDescriptor(fd, &info) != 0) {
    const int error = errno;
    posix::closeFile(fd);
    return error;
  }
  *after = versionOf(info);
  watch->adopt(fd);
  return 0;
}

int checkReplaceable(const char *path) {
  struct stat info;
  if (posix::statPath(path, &info) != 0)
    return errno == ENOENT ? 0 : errno;
  if (const int error = kindError(info.st_mode))
    return error;
  if (::access(path, R_OK | W_OK) != 0)
    return errno;
  // access(2) lets root write anything; a file nobody may write was made
  // read-only on purpose, and stays as it is for root too.
  return (info.st_mode & 0222) == 0 ? EACCES : 0;
}

std::string temporaryPathFor(const char *target) {
  const std::string path(target);
  const size_t slash = path.rfind('/');
  const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, nameAt) + "." + path.substr(nameAt) + ".kvnew";
}

int writeReplacement(const char *target, const char *data, size_t size, Replacement *replacement) {
  replacement->target = target;
  replacement->temporary = temporaryPathFor(target);
  const char *temporary = replacement->temporary.c_str();
  posix::unlinkPath(temporary); // a leftover of a writer that died holding no mutex
  mode_t mode = 0666;
  struct stat info;
  const bool replacing = posix::statPath(target, &info) == 0;
  if (replacing)
    mode = info.st_mode & 07777;
  const int fd = posix::openFile(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
  if (fd < 0)
    return errno;
  int error = 0;
  // O_CREAT applies the umask; a replacement keeps exactly the old mode.
  if (replacing && posix::changeModeHandle(fd, mode) != 0)
    error = errno;
  if (!error && size > 0 && posix::writeAll(fd, data, size) != static_cast<ssize_t>(size))
    error = errno ? errno : EIO;
  if (!error && posix::syncHandle(fd) != 0)
    error = errno;
  if (error) {
    posix::closeFile(fd);
    posix::unlinkPath(temporary);
    return error;
  }
  replacement->fd = fd;
  return 0;
}

int commitReplacement(Replacement *replacement, FileVersion *written, FileWatch *watch) {
  if (replacement->fd < 0)
    return EBADF;
  watch->close();
  int error = 0;
  if (::rename(replacement->temporary.c_str(), replacement->target.c_str()) != 0) {
    error = errno;
    posix::unlinkPath(replacement->temporary.c_str());
  } else {
    // The rename is durable only once the directory is.
    const int directory =
        posix::openFile(directoryOf(replacement->target).c_str(), O_RDONLY | O_DIRECTORY);
    if (directory >= 0) {
      posix::syncHandle(directory);
      posix::closeFile(directory);
    }
    // The open descriptor names the new file whatever happened to the path
    // since, and sees the ctime the rename gave it.
    struct stat info;
    if (posix::statDescriptor(replacement->fd, &info) == 0)
      *written = versionOf(info);
    else
      *written = FileVersion();
  }
  if (error)
    posix::closeFile(replacement->fd);
  else
    watch->adopt(replacement->fd);
  replacement->fd = -1;
  return error;
}

void discardReplacement(Replacement *replacement) {
  if (replacement->fd < 0)
    return;
  posix::closeFile(replacement->fd);
  replacement->fd = -1;
  posix::unlinkPath(replacement->temporary.c_str());
}

void removeStaleTemporary(const char *target) {
  posix::unlinkPath(temporaryPathFor(target).c_str());
}

YString canonicalPath(const YString &path) {
  if (char *resolved = ::realpath(path.tocs(), nullptr)) {
    YString result(resolved);
    std::free(resolved);
    return result;
  }
  // A file not made yet: resolve the directory it will be made in.
  const std::string text(path.tocs());
  const size_t slash = text.rfind('/');
  if (slash == std::string::npos || slash + 1 == text.size())
    return path;
  if (char *resolved = ::realpath(directoryOf(text).c_str(), nullptr)) {
    std::string result(resolved);
    std::free(resolved);
    if (result != "/")
      result += '/';
    result += text.substr(slash + 1);
    return YString(result.c_str());
  }
  return path;
}

long long modificationSeconds(const char *path) {
  struct stat info;
  if (posix::statPath(path, &info) != 0)
    return -1;
  return static_cast<long long>(info.st_mtim.tv_sec);
}

volatile uint64_t *changeCounter(uint32_t hash) {
  volatile uint64_t *table = counterTable();
  return table ? table + (hash % kCounterSlots) : nullptr;
}

uint64_t loadCounter(volatile uint64_t *counter) {
  return counter ? __atomic_load_n(counter, __ATOMIC_ACQUIRE) : 0;
}

uint64_t bumpCounter(volatile uint64_t *counter) {
  return counter ? __atomic_add_fetch(counter, 1, __ATOMIC_SEQ_CST) : 0;
}

int createDirectories(const char *path) {
  std::string text(path);
  if (text.empty())
    return ENOENT;
  for (size_t at = 1; at <= text.size(); ++at) {
    if (at != text.size() && text[at] != '/')
      continue;
    const std::string prefix = text.substr(0, at);
    if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
      return errno;
  }
  struct stat info;
  if (posix::statPath(path, &info) != 0)
    return errno;
  return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

int createFileExclusive(const char *path) {
  const int fd = posix::openFile(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
  if (fd < 0)
    return errno;
  posix::closeFile(fd);
  return 0;
}

} // namespace kv::os
