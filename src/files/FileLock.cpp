#include "kvsupport/files/FileLock.h"

#include "os/FileLock_p.h"
#include "os/PathName_p.h"

#include <cstring>
#include <utility>

namespace {

bool sameLockPath(const YString &a, const YString &b) {
  return kv::os::pathsIgnoreCase() ? sp_stricmp(a.tocs(), b.tocs()) == 0
                                   : std::strcmp(a.tocs(), b.tocs()) == 0;
}

} // namespace

FileLock::~FileLock() { unlock(); }

FileLock::FileLock(FileLock &&other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)),
      error_(std::exchange(other.error_, 0)) {}

FileLock &FileLock::operator=(FileLock &&other) noexcept {
  if (this != &other) {
    unlock();
    handle_ = std::exchange(other.handle_, -1);
    path_ = std::move(other.path_);
    error_ = std::exchange(other.error_, 0);
  }
  return *this;
}

bool FileLock::lock(const YString &path) {
  YString lockPath = path;
  lockPath &= ".lck";
  if (locked() && !sameLockPath(lockPath, path_))
    unlock();
  path_ = lockPath;
  return relock();
}

bool FileLock::relock() {
  unlock();
  if (path_.isEmpty()) {
    error_ = ~0u; // no lock file named: an error of no known kind
    return false;
  }
  YString owner = kv::os::lockOwnerName();
  owner &= "\r\n";
  handle_ = kv::os::acquireLockFile(path_.tocs(), owner.tocs(), &error_);
  return locked();
}

void FileLock::unlock() {
  if (!locked())
    return;
  kv::os::releaseLockFile(handle_, path_.tocs());
  handle_ = -1;
}

FileLockError FileLock::getError() const { return kv::os::classifyLockError(error_); }
