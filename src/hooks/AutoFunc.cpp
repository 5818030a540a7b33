// The hook registry and its runner.
//
// The registry is reached through a plain pointer and guarded by a mutex,
// both constant-initialised and never destroyed by a static destructor: the
// static AutoFunc objects of other files are constructed before or after
// this file's statics, and destroyed after them, in an order nobody
// controls. The lock is held only while the registry is read or changed,
// never while a hook function runs, so a function may register, destroy and
// run hooks itself.
//
// A walk holds no lock across calls, so it must survive changes of the list
// it walks. Nodes are therefore never unlinked while any walk is in
// progress: a destroyed AutoFunc only clears its node, which walks skip, and
// the outermost walk unlinks such nodes when it ends. Each node carries the
// serial number of its registration, and a walk skips nodes newer than its
// start, so a function registered meanwhile waits for the next run. A
// request to release the registry ("closeAutoFunc") is likewise carried out
// when the outermost walk ends.
#include "kvsupport/hooks/AutoFunc.h"

#include "hooks/ExitRank_p.h"
#include "hooks/StartupOption_p.h"

#include "kvsupport/containers/YHashTable.h"
#include "kvsupport/netlist/TextConversions.h"
#include "kvsupport/threads/Clock.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace {

constexpr int kUnranked = INT_MAX; // ahead of every ranked registration

struct HookName {
  char text[AutoFunc::kMaxHookLength + 1];
};

void copyHookName(char (&to)[AutoFunc::kMaxHookLength + 1], const char *from) {
  const size_t length = from ? ::strnlen(from, AutoFunc::kMaxHookLength) : 0;
  std::memcpy(to, from ? from : "", length);
  std::memset(to + length, 0, sizeof to - length);
}

HookName hookName(const char *text) {
  HookName name;
  copyHookName(name.text, text);
  return name;
}

struct HookNameTraits {
  static uint32_t hash(const HookName &name) { return sp_HashValue(name.text); }
  static bool equal(const HookName &a, const HookName &b) {
    return std::strcmp(a.text, b.text) == 0;
  }
};

struct Node {
  AutoFunc *function; // null once the AutoFunc is gone
  int rank;
  uint64_t serial; // registrations are numbered from 1
  Node *next;
};

// The functions of one hook in the order they run.
struct HookEntry {
  Node *head = nullptr;
};

using HookTable = YHashTable<HookName, HookEntry, HookNameTraits>;

enum Timing { TimingUndecided, TimingOff, TimingOn };

// Everything below is guarded by `registryLock`, except `timing`, which is
// also read without it on the way into a walk.
std::mutex registryLock;
HookTable *registry = nullptr;
int walkDepth = 0;
uint64_t lastSerial = 0;
bool unlinkPending = false;
bool releaseRequested = false;
std::atomic<int> timing{TimingUndecided};

void freeRegistry() {
  registry->forEach([](const HookName &, const HookEntry &entry) {
    for (Node *node = entry.head; node;) {
      Node *next = node->next;
      delete node;
      node = next;
    }
  });
  delete registry;
  registry = nullptr;
  unlinkPending = false;
}

void unlinkClearedNodes() {
  registry->forEach([](const HookName &, const HookEntry &entry) {
    for (Node **link = const_cast<Node **>(&entry.head); *link;) {
      Node *node = *link;
      if (node->function) {
        link = &node->next;
      } else {
        *link = node->next;
        delete node;
      }
    }
  });
  unlinkPending = false;
}

// "closeAutoFunc", the last of the library's "Exit" functions.
void closeAutoFunc(void *) {
  std::lock_guard<std::mutex> guard(registryLock);
  if (walkDepth > 0)
    releaseRequested = true;
  else if (registry)
    freeRegistry();
}

const AutoFunc closeAutoFuncRegistration("Exit", closeAutoFunc, "closeAutoFunc",
                                         kv::detail::ExitRank::CloseAutoFunc);

} // namespace

struct AutoFuncAccess {
  static KvTimer &timer(AutoFunc *function) { return function->timer_; }
  static void startTimer(KvTimer &timer, double now) { timer.startAt(now); }
  static void endTimer(KvTimer &timer, double now) { timer.endAt(now); }

  // Membership of the timer report is given by construction only.
  static void nameTimer(AutoFunc *function) {
    if (!function->timer_.getName().isEmpty())
      return;
    YString name = "AutoFunc_";
    name &= function->hook_;
    name &= "_";
    name &= function->functionName_;
    function->timer_.~KvTimer();
    new (&function->timer_) KvTimer(name.tocs());
  }

  static void nameEveryTimer() {
    if (!registry)
      return;
    registry->forEach([](const HookName &, const HookEntry &entry) {
      for (Node *node = entry.head; node; node = node->next)
        if (node->function)
          nameTimer(node->function);
    });
  }

  static AutoFunc::Function function(const AutoFunc *function) { return function->function_; }
};

namespace {

// The start-up profile is read at the first run rather than at the first
// registration: registrations happen while modules load, possibly before
// the profile cache and the path symbols can be used.
void decideTiming() {
  // Threads running their first hooks at once would otherwise read the
  // start-up profile together, through caches that are not thread-safe.
  static std::mutex deciding;
  std::lock_guard<std::mutex> once(deciding);
  if (timing.load(std::memory_order_acquire) != TimingUndecided)
    return;
  const YString value = kv::detail::readStartupOption("AutoFuncTimers");
  const bool on = sp_stricmp(value.tocs(), "true") == 0;
  std::lock_guard<std::mutex> guard(registryLock);
  if (timing.load(std::memory_order_relaxed) != TimingUndecided)
    return;
  timing.store(on ? TimingOn : TimingOff, std::memory_order_release);
  if (on)
    AutoFuncAccess::nameEveryTimer();
}

// Leaves a walk, also when a hook function throws: the outermost walk
// carries out what was put off while walks were in progress.
class WalkScope {
public:
  explicit WalkScope(std::unique_lock<std::mutex> &lock) : lock_(lock) { ++walkDepth; }
  ~WalkScope() {
    if (!lock_.owns_lock())
      lock_.lock();
    if (--walkDepth > 0 || !registry)
      return;
    if (releaseRequested) {
      releaseRequested = false;
      freeRegistry();
    } else if (unlinkPending) {
      unlinkClearedNodes();
    }
  }
  WalkScope(const WalkScope &) = delete;
  WalkScope &operator=(const WalkScope &) = delete;

private:
  std::unique_lock<std::mutex> &lock_;
};

} // namespace

AutoFunc::AutoFunc(const char *hook, Function function, const char *functionName)
    : function_(function), functionName_(functionName) {
  copyHookName(hook_, hook);
  registerWithRank(kUnranked);
}

AutoFunc::AutoFunc(const char *hook, Function function, const char *functionName,
                   kv::detail::ExitRank rank)
    : function_(function), functionName_(functionName) {
  copyHookName(hook_, hook);
  registerWithRank(static_cast<int>(rank));
}

AutoFunc::AutoFunc(const AutoFunc &other)
    : function_(other.function_), timer_(other.timer_), functionName_(other.functionName_) {
  std::memcpy(hook_, other.hook_, sizeof hook_);
}

void AutoFunc::registerWithRank(int rank) {
  if (!function_)
    return;
  Node *node = new Node{this, rank, 0, nullptr};
  std::lock_guard<std::mutex> guard(registryLock);
  if (timing.load(std::memory_order_relaxed) == TimingOn)
    AutoFuncAccess::nameTimer(this);
  if (!registry)
    registry = new HookTable(101, 0.0);
  HookName name;
  std::memcpy(name.text, hook_, sizeof hook_);
  HookEntry &entry = (*registry)[name];
  Node **link = &entry.head;
  while (*link && (*link)->rank > rank)
    link = &(*link)->next;
  node->serial = ++lastSerial;
  node->next = *link;
  *link = node;
}

AutoFunc::~AutoFunc() {
  if (!function_)
    return;
  std::lock_guard<std::mutex> guard(registryLock);
  if (!registry)
    return;
  HookName name;
  std::memcpy(name.text, hook_, sizeof hook_);
  HookEntry *entry = registry->find(name);
  if (!entry)
    return;
  for (Node **link = &entry->head; *link;) {
    Node *node = *link;
    if (node->function != this) {
      link = &node->next;
    } else if (walkDepth > 0) {
      node->function = nullptr; // a walk may stand on it
      unlinkPending = true;
      link = &node->next;
    } else {
      *link = node->next;
      delete node;
    }
  }
}

void executeAutoFunction(const char *hook, void *data) {
  if (timing.load(std::memory_order_acquire) == TimingUndecided)
    decideTiming();
  const HookName name = hookName(hook);
  std::unique_lock<std::mutex> lock(registryLock);
  if (!registry)
    return;
  HookEntry *entry = registry->find(name);
  if (!entry)
    return;
  WalkScope walk(lock);
  const uint64_t startSerial = lastSerial;
  // One clock reading between two calls ends the timing of the one and
  // starts that of the next.
  double now = sp_GetPerfTime();
  for (Node *node = entry->head; node; node = node->next) {
    AutoFunc *function = node->function;
    if (!function || node->serial > startSerial)
      continue;
    KvTimer &timer = AutoFuncAccess::timer(function);
    AutoFunc::Function call = AutoFuncAccess::function(function);
    AutoFuncAccess::startTimer(timer, now);
    lock.unlock();
    call(data);
    now = sp_GetPerfTime();
    lock.lock();
    // The node outlives the walk; its AutoFunc (and timer) may not have.
    if (node->function && timer.isRunning())
      AutoFuncAccess::endTimer(timer, now);
  }
}

int sp_GetAutoFunctionHooks(YList<YString> *hooks) {
  if (!hooks)
    return 0;
  std::vector<HookName> names;
  {
    std::lock_guard<std::mutex> guard(registryLock);
    if (registry)
      registry->forEach([&](const HookName &name, const HookEntry &) { names.push_back(name); });
  }
  std::sort(names.begin(), names.end(),
            [](const HookName &a, const HookName &b) { return std::strcmp(a.text, b.text) < 0; });
  hooks->clear();
  for (const HookName &name : names)
    hooks->append(YString(name.text));
  return hooks->count();
}

int sp_GetAutoFunctionNames(const char *hook, YList<YString> *names) {
  if (!names)
    return 0;
  names->clear();
  const HookName name = hookName(hook);
  std::lock_guard<std::mutex> guard(registryLock);
  if (!registry)
    return 0;
  if (const HookEntry *entry = registry->find(name))
    for (const Node *node = entry->head; node; node = node->next)
      if (node->function)
        names->append(node->function->getFunctionName());
  return names->count();
}
