// Named shared memory on POSIX: shm_open objects (memory-backed files in
// the system's shared-memory file system, the counterpart of mappings
// backed by the paging file) mapped with mmap(MAP_SHARED). Objects are
// created with mode 0600 and their names carry the user id (see
// ObjectName_posix.cpp), so only processes of the same user share them.
//
// mmap only needs page-aligned offsets; views are offered at a coarser
// granularity of 64 KiB (or the page size, where pages are larger) so that
// the geometry of shared heaps is the same on every platform and no view
// offset is ever invalid. A view is checked against the object's size
// before it is mapped: touching a mapping beyond the end of its object
// would raise SIGBUS rather than fail cleanly.
//
// Removing a name (shm_unlink) does not take the memory from anyone: it
// lives on while any process has it open or mapped. Unlike a mapping
// object's name, though, a shared-memory name outlives the process that
// made it, so the portable layer removes its own names at exit, and the
// first block a process creates sweeps away the block names of processes
// that no longer exist (block names end in their creator's process id).
#include "os/SharedMemory_p.h"

#include "os/posix/ObjectName_p.h"
#include "os/posix/PosixCalls_p.h"

#include <dirent.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace kv::os {
namespace {

constexpr int kGranularity = 65536;

int cachedPid = 0;

void forgetPid() { cachedPid = 0; }

// Where the C library keeps shared-memory objects as files.
constexpr char kSharedMemoryDir[] = "/dev/shm";

// Removes this user's block names whose creating process has ended.
void sweepStaleBlockNames() {
  const std::string prefix = posix::objectName("shm", "KelvantaSharedBlock").substr(1);
  DIR *dir = ::opendir(kSharedMemoryDir);
  if (!dir)
    return;
  while (const dirent *entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    const size_t underscore = name.rfind('_');
    if (name.compare(0, prefix.size(), prefix) != 0 || underscore == std::string::npos ||
        underscore + 1 == name.size() ||
        name.find_first_not_of("0123456789", underscore + 1) != std::string::npos ||
        name.size() - underscore > 10)
      continue;
    const int pid = std::stoi(name.substr(underscore + 1));
    if (!processExists(pid))
      ::shm_unlink(("/" + name).c_str());
  }
  ::closedir(dir);
}

} // namespace

SharedObject createSharedObject(const char *name, uint64_t size) {
  static pthread_once_t swept = PTHREAD_ONCE_INIT;
  pthread_once(&swept, sweepStaleBlockNames);
  if (size == 0 || size > static_cast<uint64_t>(INT64_MAX))
    return kNoSharedObject;
  const std::string object = posix::objectName("shm", name);
  int fd = posix::openSharedMemory(object.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  if (fd < 0 && errno == EEXIST) {
    // Block names carry the creating process's id, so an object already
    // under this name was left by an earlier process with that id.
    ::shm_unlink(object.c_str());
    fd = posix::openSharedMemory(object.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  }
  if (fd < 0)
    return kNoSharedObject;
  if (posix::truncateHandle(fd, static_cast<off_t>(size)) != 0) {
    posix::closeFile(fd);
    ::shm_unlink(object.c_str());
    return kNoSharedObject;
  }
  return fd;
}

SharedObject openSharedObject(const char *name, bool readOnly) {
  const std::string object = posix::objectName("shm", name);
  const int fd = posix::openSharedMemory(object.c_str(), readOnly ? O_RDONLY : O_RDWR, 0);
  return fd < 0 ? kNoSharedObject : fd;
}

bool sharedObjectSize(SharedObject object, uint64_t *size) {
  struct stat info;
  if (object < 0 || posix::statHandle(static_cast<int>(object), &info) != 0 || info.st_size < 0)
    return false;
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

void *mapSharedView(SharedObject object, uint64_t offset, uint64_t length, bool readOnly) {
  uint64_t size;
  if (!sharedObjectSize(object, &size) || length == 0 || offset >= size || length > size - offset)
    return nullptr;
  void *view = ::mmap(nullptr, static_cast<size_t>(length),
                      readOnly ? PROT_READ : PROT_READ | PROT_WRITE, MAP_SHARED,
                      static_cast<int>(object), static_cast<off_t>(offset));
  return view == MAP_FAILED ? nullptr : view;
}

void unmapSharedView(void *view, uint64_t length) {
  if (view)
    ::munmap(view, static_cast<size_t>(length));
}

void closeSharedObject(SharedObject object) {
  if (object >= 0)
    posix::closeFile(static_cast<int>(object));
}

void removeSharedObjectName(const char *name) {
  ::shm_unlink(posix::objectName("shm", name).c_str());
}

int sharedViewGranularity() {
  static const int granularity =
      std::max<int>(kGranularity, static_cast<int>(::sysconf(_SC_PAGESIZE)));
  return granularity;
}

// The id is asked for on every heap lock, so it is kept; a forked child
// forgets the parent's.
int currentProcessId() {
  static pthread_once_t once = PTHREAD_ONCE_INIT;
  pthread_once(&once, [] { pthread_atfork(nullptr, nullptr, forgetPid); });
  int pid = __atomic_load_n(&cachedPid, __ATOMIC_RELAXED);
  if (pid == 0) {
    pid = static_cast<int>(::getpid());
    __atomic_store_n(&cachedPid, pid, __ATOMIC_RELAXED);
  }
  return pid;
}

bool processExists(int pid) {
  if (pid <= 0)
    return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

void sleepOneMillisecond() {
  timespec wait{0, 1000000L};
  while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

} // namespace kv::os
