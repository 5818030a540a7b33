#include "kvsupport/hooks/AutoFunc.h"

#include "hooks/StartupOption_p.h"

#include "common/ChildProcess.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include "kvsupport/ipc/SharedBlockManager.h"
#include "kvsupport/streams/kvstrstream.h"
#include "kvsupport/threads/GenericTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// The functions of `hook`, or every hook when null; the count returned
// must be the length of the list.
std::vector<std::string> names(const char *hook = nullptr) {
  YList<YString> list;
  const int count = hook ? sp_GetAutoFunctionNames(hook, &list) : sp_GetAutoFunctionHooks(&list);
  EXPECT_EQ(count, list.count());
  std::vector<std::string> result;
  for (const YString &text : list)
    result.push_back(text.tocs());
  return result;
}

// The data every function of a scripted hook receives: the letters of the
// calls so far, and actions that run at the first call of their letter.
struct Script {
  std::string log;
  std::map<char, std::function<void()>> actions;
};

template <char Letter> void step(void *data) {
  Script *script = static_cast<Script *>(data);
  script->log += Letter;
  std::function<void()> run = std::move(script->actions[Letter]);
  script->actions.erase(Letter);
  if (run)
    run();
}

void noop(void *) {}

// Hooks are named by their first 31 bytes, exactly: the runs of names
// differing past them, at the 31st byte and in case find one function. A
// null function and a copy register nothing; a copy's end unregisters nothing.
TEST(AutoFuncTest, HookNamesNullFunctionsAndCopies) {
  const std::string name = (kvtest::uniqueName("cut") + std::string(31, 'x')).substr(0, 31);
  AutoFunc nothing(name.c_str(), nullptr, "nothing");
  EXPECT_TRUE(names(name.c_str()).empty());
  EXPECT_EQ(sp_GetAutoFunctionNames(name.c_str(), nullptr) + sp_GetAutoFunctionHooks(nullptr), 0);
  Script script;
  auto original = std::make_unique<AutoFunc>((name + "one").c_str(), step<'A'>, "a");
  { AutoFunc copy(*original); }
  for (const std::string &run : {name + "two", name.substr(0, 30), "C" + name.substr(1)})
    executeAutoFunction(run.c_str(), &script);
  EXPECT_FALSE(original->getTimer().isRunning());
  original.reset();
  executeAutoFunction(name.c_str(), &script);
  EXPECT_EQ(script.log, "A");
}

// Functions A, B, C registered in that order run C, B, A. At the first call
// of a letter its actions run: "-X" destroys X, "+X" registers X, "n" runs
// the hook again. The calls of two runs, separated by '|'.
TEST(AutoFuncTest, WalksSurviveChangesMadeByTheirFunctions) {
  const struct {
    const char *actions, *calls;
  } cases[] = {
      {"C-A", "CB|CB"},       {"B-B", "CBA|CA"},      {"A-C", "CBA|BA"},        {"B+D", "CBA|DCBA"},
      {"C+D B-D", "CBA|CBA"}, {"Bn A-A", "CBCBA|CB"}, {"B+Dn", "CBDCBAA|DCBA"},
  };
  for (const auto &c : cases) {
    const std::string hook = kvtest::uniqueName("walk");
    Script script;
    std::map<char, std::unique_ptr<AutoFunc>> functions;
    auto add = [&](char letter) {
      static const AutoFunc::Function steps[] = {step<'A'>, step<'B'>, step<'C'>, step<'D'>};
      functions[letter] = std::make_unique<AutoFunc>(hook.c_str(), steps[letter - 'A'], "f");
    };
    for (char letter : {'A', 'B', 'C'})
      add(letter);
    std::istringstream words(c.actions);
    for (std::string word; words >> word;)
      script.actions[word[0]] = [&, ops = word.substr(1)] {
        for (size_t i = 0; i < ops.size(); ++i)
          if (ops[i] == 'n')
            executeAutoFunction(hook.c_str(), &script);
          else if (ops[i++] == '-')
            functions[ops[i]].reset();
          else
            add(ops[i]);
      };
    executeAutoFunction(hook.c_str(), &script);
    script.log += '|';
    executeAutoFunction(hook.c_str(), &script);
    EXPECT_EQ(script.log, c.calls) << c.actions;
  }
}

// Registration from several threads while hooks run: under ThreadSanitizer
// this checks that the registry is guarded and that no lock is held while
// a function runs.
TEST(AutoFuncTest, ConcurrentRegistrationAndRuns) {
  static std::string shared = kvtest::uniqueName("shared");
  static std::atomic<int> stableCalls{0};
  AutoFunc stable(
      shared.c_str(), [](void *) { ++stableCalls; }, "stable");
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([] {
      std::vector<std::unique_ptr<AutoFunc>> held;
      for (int i = 0; i < 2000; ++i) {
        held.push_back(std::make_unique<AutoFunc>(shared.c_str(), noop, "churn"));
        if (held.size() > 8)
          held.erase(held.begin() + (i % held.size()));
        if (i % 16 == 0)
          executeAutoFunction(shared.c_str(), nullptr);
      }
    });
  for (int run = 0; run < 300; ++run)
    executeAutoFunction(shared.c_str(), nullptr);
  for (std::thread &thread : threads)
    thread.join();
  EXPECT_EQ(stableCalls, 300 + 3 * 125);
  EXPECT_EQ(names(shared.c_str()), std::vector<std::string>{"stable"});
}

// --- Child processes: "Exit" ends what a process registered -----------------

// Timing is decided by the start-up option at the first run; then every
// function's calls are reported, also those registered after that run.
// How many of the expected report lines are there.
int timedReportLines() {
  kv::detail::setStartupOptionReader([](const char *key) {
    return YString(std::string(key) == "AutoFuncTimers" ? kvtest::env("KV_TIMERS").c_str() : "");
  });
  AutoFunc early("Timed", noop, "early");
  executeAutoFunction("Timed", nullptr);
  AutoFunc late("Timed", noop, "late");
  executeAutoFunction("Timed", nullptr);
  kvstrstream report;
  KvTimer::print(&report);
  int found = 0;
  for (const char *line : {"AutoFunc_Timed_early: ", ", Count2\n", "AutoFunc_Timed_late: ",
                           "AutoFunc_Exit_closeWordArray: Total 0, Last 0, Count0\n"})
    found += std::string(report.getString()).find(line) != std::string::npos;
  return found;
}

// Deleted by "deleteTimers" (the leak check at exit would see it kept).
struct Idle : TimerObject {
  void timerCallback(int) override {}
};

// The "exit" child registers host functions A, B and C, a heap and a
// running timer, and leaves main; a static destructor, run after main
// destroyed the application object, runs "Exit" and writes what it saw to
// KV_RESULT. C runs "Exit" again: the nested run releases nothing, the outer
// one goes on over the registry and releases it at its end.
struct LateExit {
  Script script;
  std::unique_ptr<AutoFunc> a, b, c;
  SharedBlockToken heap;
  ~LateExit() {
    if (kvtest::childRole() != "exit")
      return;
    script.actions['C'] = [this] {
      executeAutoFunction("Exit", &script);
      script.log += names("Exit").empty() ? ":released:" : ":kept:";
    };
    executeAutoFunction("Exit", &script);
    YList<YString> left; // counted: an EXPECT here would come after the exit code
    const int kept = sp_GetAutoFunctionHooks(&left) + sp_GetAutoFunctionNames("Exit", &left);
    script.log += heap.get() || kept ? ":kept:" : ":released:";
    a.reset();                              // destroyed after the release
    AutoFunc later("Exit", step<'D'>, "d"); // starts a new registry
    executeAutoFunction("Exit", &script);
    kvtest::writeFile(kvtest::env("KV_RESULT"), script.log);
  }
} lateExit;

TEST(AutoFuncTest, ExitRunsHostThenLibraryAndReleasesTheRegistry) {
  if (kvtest::childRole() == "exit") {
    lateExit.script.log = std::to_string(timedReportLines());
    lateExit.a = std::make_unique<AutoFunc>("Exit", step<'A'>, "a");
    lateExit.b = std::make_unique<AutoFunc>("Exit", step<'B'>, "b");
    lateExit.c = std::make_unique<AutoFunc>("Exit", step<'C'>, "c");
    lateExit.heap = SharedBlockToken(64, 2);
    sp_CreateTimer(50, false, new Idle);
    return;
  }
  const std::string dir = kvtest::makeTempDir("kvexit");
  for (auto [timers, lines] : {std::pair<const char *, std::string>{"TRUE", "4"}, {"true ", "0"}}) {
    EXPECT_EQ(kvtest::runChild("AutoFuncTest.ExitRunsHostThenLibraryAndReleasesTheRegistry", "exit",
                               {{"KV_RESULT", dir + "/result"}, {"KV_TIMERS", timers}}),
              0);
    EXPECT_EQ(kvtest::readFile(dir + "/result"), lines + "CCBA:kept:BA:released:D") << timers;
  }
  kvtest::removeTree(dir);
}

} // namespace
