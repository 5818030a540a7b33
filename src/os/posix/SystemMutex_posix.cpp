// Named system-wide mutexes on POSIX: a process-shared, robust, recursive
// pthread mutex living in a small POSIX shared-memory object named after
// the mutex. Robustness is what makes this the right mechanism rather than
// lock files: when the owning thread or its process dies, the kernel marks
// the mutex, and the next locker gets EOWNERDEAD, which is exactly the
// "abandoned" outcome callers are told about. Timed waits come from
// pthread_mutex_clocklock on the monotonic clock, so changing the wall
// clock does not stretch or cut a wait.
//
// The object is created and initialised race-free: every opener takes an
// flock on the object's descriptor before looking at it, and whoever finds
// it uninitialised (new, or left half-made by an opener that died)
// initialises it under that flock. The same flock guards a table of the
// processes that have the mutex open, with their handle counts. The last
// close marks the object retired and unlinks its name, so nothing is left
// behind; processes that died with handles open are struck from the table
// by whoever closes next, so they do not keep the name alive either. An
// opener that reached a retired object through the old name starts over
// with a fresh one.
#include "os/SystemMutex_p.h"

#include "os/posix/ObjectName_p.h"
#include "os/posix/PosixCalls_p.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <cstdint>
#include <string>

namespace kv::os {
namespace {

constexpr uint32_t kReady = 0x4B564D31;   // initialised and in use
constexpr uint32_t kRetired = 0x4B564D58; // name unlinked; open a new one
constexpr int kOpenAttempts = 8;
constexpr int kUserSlots = 64;

// Guarded by the flock on the object, except `mutex`.
struct MutexBlock {
  uint32_t state;
  uint32_t crowded; // more processes than slots opened it: never retire it
  struct {
    int32_t pid;
    uint32_t handles;
  } users[kUserSlots];
  pthread_mutex_t mutex;
};

bool alive(int32_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

void addUser(MutexBlock *block, int32_t pid) {
  int freeSlot = -1;
  for (int i = 0; i < kUserSlots; ++i) {
    if (block->users[i].pid == pid) {
      ++block->users[i].handles;
      return;
    }
    if (freeSlot < 0 && (block->users[i].pid == 0 || !alive(block->users[i].pid)))
      freeSlot = i;
  }
  if (freeSlot < 0) {
    block->crowded = 1;
    return;
  }
  block->users[freeSlot].pid = pid;
  block->users[freeSlot].handles = 1;
}

// Takes one handle of `pid` away and strikes out processes that no longer
// exist; true when nobody is left.
bool removeUser(MutexBlock *block, int32_t pid) {
  bool anyone = false;
  for (int i = 0; i < kUserSlots; ++i) {
    auto &user = block->users[i];
    if (user.pid == pid && user.handles > 0 && --user.handles == 0)
      user.pid = 0;
    if (user.pid != 0 && user.pid != pid && !alive(user.pid))
      user.pid = 0;
    anyone = anyone || user.pid != 0;
  }
  return !anyone && !block->crowded;
}

bool initialise(MutexBlock *block) {
  pthread_mutexattr_t attributes;
  if (pthread_mutexattr_init(&attributes) != 0)
    return false;
  bool done = pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED) == 0 &&
              pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0 &&
              pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) == 0 &&
              pthread_mutex_init(&block->mutex, &attributes) == 0;
  pthread_mutexattr_destroy(&attributes);
  if (done) {
    block->crowded = 0;
    for (auto &user : block->users)
      user = {0, 0};
    block->state = kReady;
  }
  return done;
}

timespec deadlineAfter(int milliseconds) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  now.tv_sec += milliseconds / 1000;
  now.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (now.tv_nsec >= 1000000000L) {
    now.tv_sec += 1;
    now.tv_nsec -= 1000000000L;
  }
  return now;
}

} // namespace

struct SystemMutex {
  int fd;
  MutexBlock *block;
  std::string objectName;
};

SystemMutex *openSystemMutex(const char *name) {
  const std::string object = posix::objectName("mutex", name);
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    const int fd = posix::openSharedMemory(object.c_str(), O_RDWR | O_CREAT, 0600);
    if (fd < 0)
      return nullptr;
    struct stat info;
    if (posix::lockExclusive(fd) != 0 || posix::statHandle(fd, &info) != 0 ||
        (static_cast<size_t>(info.st_size) < sizeof(MutexBlock) &&
         posix::truncateHandle(fd, sizeof(MutexBlock)) != 0)) {
      posix::closeFile(fd);
      return nullptr;
    }
    void *at = ::mmap(nullptr, sizeof(MutexBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (at == MAP_FAILED) {
      posix::closeFile(fd);
      return nullptr;
    }
    auto *block = static_cast<MutexBlock *>(at);
    if (block->state == kRetired) {
      ::munmap(at, sizeof(MutexBlock));
      posix::closeFile(fd);
      continue;
    }
    if (block->state != kReady && !initialise(block)) {
      ::munmap(at, sizeof(MutexBlock));
      posix::closeFile(fd);
      return nullptr;
    }
    addUser(block, static_cast<int32_t>(::getpid()));
    posix::unlockFile(fd);
    return new SystemMutex{fd, block, object};
  }
  return nullptr;
}

MutexWaitStatus waitSystemMutex(SystemMutex *mutex, int timeoutMs) {
  pthread_mutex_t *m = &mutex->block->mutex;
  int result;
  if (timeoutMs < 0) {
    result = pthread_mutex_lock(m);
  } else if (timeoutMs == 0) {
    result = pthread_mutex_trylock(m);
  } else {
    const timespec deadline = deadlineAfter(timeoutMs);
    result = pthread_mutex_clocklock(m, CLOCK_MONOTONIC, &deadline);
  }
  switch (result) {
  case 0:
    return MutexAcquired;
  case EOWNERDEAD:
    // We own it now; make it usable again for everyone after us.
    pthread_mutex_consistent(m);
    return MutexAbandoned;
  case EBUSY:
  case ETIMEDOUT:
    return MutexTimedOut;
  default:
    return MutexWaitFailed;
  }
}

bool releaseSystemMutex(SystemMutex *mutex) {
  return pthread_mutex_unlock(&mutex->block->mutex) == 0;
}

void closeSystemMutex(SystemMutex *mutex) {
  if (!mutex)
    return;
  if (posix::lockExclusive(mutex->fd) == 0) {
    if (removeUser(mutex->block, static_cast<int32_t>(::getpid()))) {
      mutex->block->state = kRetired;
      ::shm_unlink(mutex->objectName.c_str());
    }
    posix::unlockFile(mutex->fd);
  }
  ::munmap(mutex->block, sizeof(MutexBlock));
  posix::closeFile(mutex->fd);
  delete mutex;
}

} // namespace kv::os
