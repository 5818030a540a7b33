#include "kvsupport/threads/YSystemMutex.h"

#include "os/SystemMutex_p.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace {

// One open handle. Ownership is counted here as well as in the mutex, so
// that closing a handle can give back exactly what was taken through it.
// `owner` and `count` change only while the mutex is held, by its owner.
class Handle {
public:
  explicit Handle(kv::os::SystemMutex *mutex) : mutex_(mutex) {}
  Handle(const Handle &) = delete;
  Handle &operator=(const Handle &) = delete;

  ~Handle() {
    while (ownedHere())
      release();
    // A handle closed on a thread other than its owner cannot give the
    // ownership back; its mapping must then stay, because the owner thread's
    // bookkeeping of held robust mutexes still points into it.
    if (owner_.load() == std::thread::id())
      kv::os::closeSystemMutex(mutex_);
  }

  MutexWaitStatus wait(int timeoutMs) {
    const MutexWaitStatus status = kv::os::waitSystemMutex(mutex_, timeoutMs);
    if (status == MutexAcquired || status == MutexAbandoned) {
      owner_.store(std::this_thread::get_id());
      ++count_;
    }
    return status;
  }

  bool release() {
    if (!ownedHere())
      return false;
    if (--count_ == 0)
      owner_.store(std::thread::id());
    if (kv::os::releaseSystemMutex(mutex_))
      return true;
    // The mutex says this thread holds nothing: keep the books in step.
    count_ = 0;
    owner_.store(std::thread::id());
    return false;
  }

private:
  bool ownedHere() const { return count_ > 0 && owner_.load() == std::this_thread::get_id(); }

  kv::os::SystemMutex *mutex_;
  std::atomic<std::thread::id> owner_{};
  int count_ = 0;
};

// Handles are numbers looked up here, never addresses, so that a stale or
// made-up handle is recognised instead of followed. A waiter keeps its own
// reference, so closing a handle while another thread waits on it is safe.
class HandleTable {
public:
  uint64_t add(std::shared_ptr<Handle> handle) {
    std::lock_guard<std::mutex> guard(lock_);
    const uint64_t id = next_++;
    handles_.emplace(id, std::move(handle));
    return id;
  }
  std::shared_ptr<Handle> find(uint64_t id) {
    std::lock_guard<std::mutex> guard(lock_);
    auto at = handles_.find(id);
    return at == handles_.end() ? nullptr : at->second;
  }
  std::shared_ptr<Handle> take(uint64_t id) {
    std::lock_guard<std::mutex> guard(lock_);
    auto at = handles_.find(id);
    if (at == handles_.end())
      return nullptr;
    std::shared_ptr<Handle> handle = std::move(at->second);
    handles_.erase(at);
    return handle;
  }

private:
  std::mutex lock_;
  std::unordered_map<uint64_t, std::shared_ptr<Handle>> handles_;
  uint64_t next_ = 1;
};

HandleTable &handles() {
  static HandleTable *table = new HandleTable; // outlives every static destructor
  return *table;
}

} // namespace

uint64_t sp_CreateMutex(const char *name, bool initialOwner) {
  if (!name || !*name)
    return 0;
  kv::os::SystemMutex *mutex = kv::os::openSystemMutex(name);
  if (!mutex)
    return 0;
  auto handle = std::make_shared<Handle>(mutex);
  if (initialOwner) {
    const MutexWaitStatus status = handle->wait(0);
    if (status != MutexAcquired && status != MutexAbandoned)
      return 0; // `handle` closes the mutex as it goes
  }
  return handles().add(std::move(handle));
}

bool sp_AcquireMutex(uint64_t handle, int timeoutMs) {
  std::shared_ptr<Handle> found = handles().find(handle);
  if (!found)
    return false;
  const MutexWaitStatus status = found->wait(timeoutMs);
  return status == MutexAcquired || status == MutexAbandoned;
}

bool sp_ReleaseMutex(uint64_t handle) {
  std::shared_ptr<Handle> found = handles().find(handle);
  return found && found->release();
}

void sp_CloseMutex(uint64_t handle) { handles().take(handle); }

YSystemMutex::YSystemMutex(const YString &name) : handle_(sp_CreateMutex(name.tocs(), false)) {}

YSystemMutex::~YSystemMutex() { sp_CloseMutex(handle_); }

bool YSystemMutex::wait(int timeoutMs, MutexWaitStatus *status) {
  MutexWaitStatus result = MutexWaitFailed;
  if (std::shared_ptr<Handle> found = handles().find(handle_))
    result = found->wait(timeoutMs);
  if (status)
    *status = result;
  return result == MutexAcquired || result == MutexAbandoned;
}

bool YSystemMutex::release() { return sp_ReleaseMutex(handle_); }
