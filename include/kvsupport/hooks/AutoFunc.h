#pragma once

#include "kvsupport/containers/YList.h"
#include "kvsupport/strings/YString.h"
#include "kvsupport/threads/KvTimer.h"

namespace kv::detail {
enum class ExitRank : int; // the library's own release functions; internal
} // namespace kv::detail

/// One function registered under a named hook. Define a static AutoFunc to
/// have a function run whenever the owner of a moment of the program's life
/// calls executeAutoFunction with that hook's name: the host runs "InitCli"
/// during its start-up and "Exit" when it shuts down; the options store runs
/// "OptionChange" after every option write, passing the option's name.
///
/// Functions of a hook run newest first. The library registers its own
/// release functions under "Exit" so that they run after every function
/// the host registered there, whatever the order in which modules load; the
/// last of them releases the registry itself.
///
/// Registration and removal may happen on any thread; they never wait for
/// a running hook function.
class AutoFunc {
public:
  using Function = void (*)(void *data);
  /// The longest hook name kept; longer names are cut to their first 31
  /// bytes, so names that agree in those are one hook.
  static constexpr int kMaxHookLength = 31;

  /// Registers `function` under `hook` (null counts as empty; names compare
  /// exactly). `functionName` names the function in listings and in the
  /// timer report. A null function is not registered.
  AutoFunc(const char *hook, Function function, const char *functionName);
  /// For the library's own release functions under "Exit": they stay behind
  /// every function registered without a rank, higher ranks first.
  AutoFunc(const char *hook, Function function, const char *functionName,
           kv::detail::ExitRank rank);
  /// Copies the hook name, the function, its name and the timer; the copy
  /// is not registered.
  AutoFunc(const AutoFunc &other);
  AutoFunc &operator=(const AutoFunc &) = delete;
  /// Removes the registration. When this happens while the hook runs, the
  /// function is not called any more.
  ~AutoFunc();

  const char *getHook() const { return hook_; }
  Function getFunction() const { return function_; }
  const YString &getFunctionName() const { return functionName_; }
  /// The timer of this function's calls: count, total and last-call time.
  const KvTimer &getTimer() const { return timer_; }

private:
  friend struct AutoFuncAccess;
  void registerWithRank(int rank);

  char hook_[kMaxHookLength + 1];
  Function function_;
  KvTimer timer_;
  YString functionName_;
};

/// Runs every function registered under `hook` (cut to 31 bytes), newest
/// first, passing `data`. A hook nobody registered does nothing. A function
/// may register and destroy AutoFunc objects and run hooks itself: one
/// destroyed meanwhile is not called, one registered meanwhile first runs
/// at the next run of its hook.
///
/// At the first call the start-up profile decides whether every function's
/// calls are reported by KvTimer::print, as "AutoFunc_HOOK_FUNCTION", with
/// the value "true" of "AutoFuncTimers" in its section "Options".
void executeAutoFunction(const char *hook, void *data);

/// The names of the hooks that have entries, in byte order; the result goes
/// to `*hooks` (emptied first). The count of hooks.
int sp_GetAutoFunctionHooks(YList<YString> *hooks);

/// The function names registered under `hook`, in the order in which they
/// run; the result goes to `*names` (emptied first). The count of names.
int sp_GetAutoFunctionNames(const char *hook, YList<YString> *names);
