// File services of JFile and JFileBuffered on POSIX. Names are UTF-8
// already, so they go to the system as they are; every stream is opened
// close-on-exec. Temporary files are created with O_EXCL under a fresh
// random name, so two writers never share one and an existing file is
// never taken over; they get mode 0666 less the umask, as any new file.
//
// Keeping the old target as a backup makes a hard link where the file
// system allows it: the target then never goes missing, and the final
// rename(2) swaps the new file in atomically. Where hard links are not
// available the target is renamed to the backup name instead, which is
// never allowed to overwrite an existing file.
#include "os/JFile_p.h"

#include "os/posix/PosixCalls_p.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>

namespace kv::os {
namespace {

constexpr int kTempNameAttempts = 100;

// A name part that differs between processes, calls and moments.
std::string freshSuffix() {
  static std::atomic<uint64_t> counter{0};
  uint64_t x = static_cast<uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ull ^
               static_cast<uint64_t>(
                   std::chrono::steady_clock::now().time_since_epoch().count()) ^
               (counter.fetch_add(1) * 0xBF58476D1CE4E5B9ull);
  x ^= x >> 31;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 29;
  static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string suffix;
  for (int i = 0; i < 8; ++i, x /= 36)
    suffix += digits[x % 36];
  return suffix;
}

} // namespace

FILE *openFileStream(const char *path, const char *mode) {
  if (!path || !mode || !*path)
    return nullptr;
  return posix::openStream(path, mode);
}

FILE *createTempFileStream(const char *directory, bool binary, YString *path) {
  std::string prefix = directory ? directory : "";
  if (prefix.empty())
    prefix = ".";
  if (prefix.back() != '/')
    prefix += '/';
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    const std::string candidate = prefix + "kv" + freshSuffix() + ".tmp";
    int fd = posix::openFile(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
    if (fd < 0) {
      if (errno == EEXIST)
        continue;
      return nullptr;
    }
    FILE *stream = posix::adoptStream(fd, binary ? "wb" : "w");
    if (!stream) {
      posix::closeFile(fd);
      ::unlink(candidate.c_str());
      return nullptr;
    }
    *path = YString(candidate.c_str());
    return stream;
  }
  return nullptr;
}

bool fileExists(const char *path) {
  struct stat info;
  return path && *path && posix::statLink(path, &info) == 0;
}

bool finishStream(FILE *stream) {
  if (std::fflush(stream) != 0 || std::ferror(stream))
    return false;
  return posix::syncHandle(::fileno(stream)) == 0;
}

void copyPermissions(FILE *stream, const char *model) {
  struct stat info;
  if (posix::statPath(model, &info) == 0)
    posix::changeModeHandle(::fileno(stream), info.st_mode & 07777);
}

bool keepAsBackup(const char *target, const char *backup) {
  struct stat info;
  if (posix::statLink(target, &info) != 0 || !S_ISREG(info.st_mode))
    return false;
  if (::link(target, backup) == 0)
    return true;
  if (errno == EEXIST || fileExists(backup))
    return false;
  return ::rename(target, backup) == 0;
}

bool replaceFile(const char *from, const char *to) { return ::rename(from, to) == 0; }

} // namespace kv::os
