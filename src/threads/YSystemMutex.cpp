#include "kvsupport/threads/YSystemMutex.h"

#include "os/SystemMutex_p.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

// One open handle. Ownership is counted here as well as in the mutex, so
// that closing a handle can give back exactly what was taken through it.
// `owner` and `count` change only while the mutex is held, by its owner.
class kv::detail::SystemMutexHandle {
public:
  explicit SystemMutexHandle(kv::os::SystemMutex *mutex) : mutex_(mutex) {}
  SystemMutexHandle(const SystemMutexHandle &) = delete;
  SystemMutexHandle &operator=(const SystemMutexHandle &) = delete;

  ~SystemMutexHandle() {
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
      owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
      ++count_;
    }
    return status;
  }

  bool release() {
    if (!ownedHere())
      return false;
    if (--count_ == 0)
      owner_.store(std::thread::id(), std::memory_order_relaxed);
    if (kv::os::releaseSystemMutex(mutex_))
      return true;
    // The mutex says this thread holds nothing: keep the books in step.
    count_ = 0;
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    return false;
  }

private:
  // Only the owner writes `count_`, so it is read only once the owner is
  // known to be this thread. Relaxed order suffices: a thread always sees
  // its own last store to `owner_`, and no other thread stores its id.
  bool ownedHere() const {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id() && count_ > 0;
  }

  kv::os::SystemMutex *mutex_;
  std::atomic<std::thread::id> owner_{};
  int count_ = 0;
};

namespace {

using Handle = kv::detail::SystemMutexHandle;

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

// A YSystemMutex owns its handle outright: it belongs to one object, so
// needs no table and no shared ownership on the way to every wait.
YSystemMutex::YSystemMutex(const YString &name) : handle_(nullptr) {
  if (!name.isEmpty())
    if (kv::os::SystemMutex *mutex = kv::os::openSystemMutex(name.tocs()))
      handle_ = new Handle(mutex);
}

YSystemMutex::~YSystemMutex() { delete handle_; }

bool YSystemMutex::wait(int timeoutMs, MutexWaitStatus *status) {
  const MutexWaitStatus result = handle_ ? handle_->wait(timeoutMs) : MutexWaitFailed;
  if (status)
    *status = result;
  return result == MutexAcquired || result == MutexAbandoned;
}

bool YSystemMutex::release() { return handle_ && handle_->release(); }
