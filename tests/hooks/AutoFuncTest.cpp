#include "kvsupport/hooks/AutoFunc.h"

#include "hooks/ExitRank_p.h"
#include "hooks/StartupOption_p.h"

#include "common/ChildProcess.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include "kvsupport/ipc/SharedBlockManager.h"
#include "kvsupport/streams/kvstrstream.h"
#include "kvsupport/threads/GenericTimer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using kv::detail::ExitRank;

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
  auto action = script->actions.find(Letter);
  if (action == script->actions.end())
    return;
  std::function<void()> run = std::move(action->second);
  script->actions.erase(action);
  run();
}

void noop(void *) {}

const std::vector<std::string> kLibraryExit = {
    "closeEmbeddedFiles", "closeWordArray",      "deleteTimers", "flushSharedBlockLookup",
    "closeOptions",       "closeLogicalPaths", "closeLibraryManager", "closeInifile",
    "closeAutoFunc"};

// Every order of registration of two host functions and four ranked ones.
TEST(AutoFuncTest, HostFunctionsRunBeforeRankedOnesWhateverTheOrder) {
  const std::string hook = kvtest::uniqueName("rank");
  const std::pair<const char *, int> registrations[] = {
      {"hostA", 0}, // 0: the host's
      {"hostB", 0},
      {"closeOptions", int(ExitRank::CloseOptions)},
      {"closeWordArray", int(ExitRank::CloseWordArray)},
      {"closeAutoFunc", int(ExitRank::CloseAutoFunc)},
      {"deleteTimers", int(ExitRank::DeleteTimers)}};
  std::vector<int> order = {0, 1, 2, 3, 4, 5};
  do {
    std::vector<std::unique_ptr<AutoFunc>> registered;
    std::vector<std::string> expected = {"closeWordArray", "deleteTimers", "closeOptions",
                                         "closeAutoFunc"};
    for (int i : order) {
      const auto &[name, rank] = registrations[i];
      registered.push_back(
          rank ? std::make_unique<AutoFunc>(hook.c_str(), noop, name, ExitRank(rank))
               : std::make_unique<AutoFunc>(hook.c_str(), noop, name));
      if (!rank)
        expected.insert(expected.begin(), name); // newest first
    }
    ASSERT_EQ(names(hook.c_str()), expected);
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_TRUE(names(hook.c_str()).empty()); // the entry stays, empty
}

TEST(AutoFuncTest, HookNamesAreExactAndCutAt31Bytes) {
  const std::string base = kvtest::uniqueName("cut") + std::string(31, 'x');
  const std::string name31 = base.substr(0, 31);
  struct Case {
    std::string registered, run;
    bool same;
  } cases[] = {
      {name31, name31 + "tail", true},
      {name31 + "one", name31 + "two", true},
      {name31.substr(0, 30) + "a", name31.substr(0, 30) + "b", false},
      {"Case" + name31.substr(0, 20), "case" + name31.substr(0, 20), false},
  };
  for (const Case &c : cases) {
    Script script;
    AutoFunc registration(c.registered.c_str(), step<'A'>, "a");
    EXPECT_EQ(std::string(registration.getHook()), c.registered.substr(0, 31));
    executeAutoFunction(c.run.c_str(), &script);
    EXPECT_EQ(script.log, c.same ? "A" : "") << c.registered << " / " << c.run;
  }
}

TEST(AutoFuncTest, NullFunctionsAndCopiesAreNotRegistered) {
  const std::string hook = kvtest::uniqueName("null");
  {
    AutoFunc nothing(hook.c_str(), nullptr, "nothing");
    const std::vector<std::string> all = names();
    EXPECT_EQ(std::count(all.begin(), all.end(), hook), 0);
    EXPECT_EQ(sp_GetAutoFunctionNames(hook.c_str(), nullptr) + sp_GetAutoFunctionHooks(nullptr), 0);
  }
  Script script;
  auto original = std::make_unique<AutoFunc>(hook.c_str(), step<'A'>, "a");
  { AutoFunc copy(*original); } // its end leaves the original registered
  executeAutoFunction(hook.c_str(), &script);
  EXPECT_EQ(script.log, "A");
  EXPECT_EQ(original->getTimer().getCount(), 1);
  EXPECT_FALSE(original->getTimer().isRunning());
  AutoFunc copy(*original);
  EXPECT_EQ(copy.getFunctionName(), "a");
  EXPECT_EQ(copy.getTimer().getCount(), 1);
  original.reset();
  executeAutoFunction(hook.c_str(), &script);
  EXPECT_EQ(script.log, "A");
}

// Functions A, B, C registered in that order run C, B, A. At the first call
// of a letter its actions run: "-X" destroys X, "+X" registers X, "n" runs
// the hook again. The calls of two runs, separated by '|'.
TEST(AutoFuncTest, WalksSurviveChangesMadeByTheirFunctions) {
  const struct {
    const char *actions, *calls;
  } cases[] = {
      {"C-A", "CB|CB"},     {"B-B", "CBA|CA"},      {"A-C", "CBA|BA"},
      {"C-A-B-C", "C|"},    {"B+D", "CBA|DCBA"},    {"C+D B-D", "CBA|CBA"},
      {"Bn", "CBCBAA|CBA"}, {"Bn A-A", "CBCBA|CB"}, {"B+Dn", "CBDCBAA|DCBA"},
  };
  for (const auto &c : cases) {
    const std::string hook = kvtest::uniqueName("walk");
    Script script;
    std::map<char, std::unique_ptr<AutoFunc>> functions;
    auto add = [&](char letter) {
      static const AutoFunc::Function steps[] = {step<'A'>, step<'B'>, step<'C'>, step<'D'>};
      functions[letter] = std::make_unique<AutoFunc>(hook.c_str(), steps[letter - 'A'], "f");
    };
    add('A');
    add('B');
    add('C');
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
// a function runs (the functions here register too).
TEST(AutoFuncTest, ConcurrentRegistrationAndRuns) {
  static std::string shared = kvtest::uniqueName("shared");
  static std::atomic<int> stableCalls{0};
  auto registerInside = [](void *) { AutoFunc inner(shared.c_str(), noop, "inner"); };
  AutoFunc stable(
      shared.c_str(), [](void *) { ++stableCalls; }, "stable");
  AutoFunc registering(shared.c_str(), registerInside, "registering");
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([&, t] {
      const std::string own = kvtest::uniqueName("own");
      std::vector<std::unique_ptr<AutoFunc>> held;
      for (int i = 0; !stop && i < 2000; ++i) {
        const char *hook = (i + t) % 2 ? shared.c_str() : own.c_str();
        held.push_back(std::make_unique<AutoFunc>(hook, noop, "churn"));
        if (held.size() > 8)
          held.erase(held.begin() + (i % held.size()));
        if (i % 16 == 0)
          executeAutoFunction(own.c_str(), nullptr);
      }
    });
  int runs = 0;
  for (; runs < 300; ++runs)
    executeAutoFunction(shared.c_str(), nullptr);
  stop = true;
  for (std::thread &thread : threads)
    thread.join();
  EXPECT_EQ(stableCalls, runs);
  EXPECT_EQ(names(shared.c_str()), (std::vector<std::string>{"registering", "stable"}));
}

// Child side of the "Exit" tests: what ran, in order.
std::string gExitLog;
void logHost(void *data) { gExitLog += static_cast<const char *>(data ? data : "-"); }
void hostFirst(void *) { gExitLog += "first;"; }
void hostSecond(void *) { gExitLog += "second;"; }

// Deleted by "deleteTimers": notes whether the shared-block look-up, which
// is flushed after the timers, still knows the heap.
class NoteDeletion : public TimerObject {
public:
  explicit NoteDeletion(const SharedBlockToken &heap) : heap_(heap) {}
  ~NoteDeletion() override { gExitLog += heap_.get() ? "timers;" : "timers-late;"; }
  void timerCallback(int) override {}

private:
  const SharedBlockToken &heap_;
};

int exitInChild() {
  SharedBlockToken heap(64, 2);
  const int timer = sp_CreateTimer(0, false, new NoteDeletion(heap));
  auto first = std::make_unique<AutoFunc>("Exit", hostFirst, "hostFirst");
  auto second = std::make_unique<AutoFunc>("Exit", hostSecond, "hostSecond");
  std::vector<std::string> expected = {"hostSecond", "hostFirst"};
  expected.insert(expected.end(), kLibraryExit.begin(), kLibraryExit.end());
  EXPECT_EQ(names("Exit"), expected);

  executeAutoFunction("Exit", nullptr);
  EXPECT_EQ(gExitLog, "second;first;timers;");
  EXPECT_EQ(sp_GetTimerData(timer), nullptr);
  EXPECT_EQ(heap.get(), nullptr); // the shared-block look-up was flushed
  EXPECT_TRUE(names().empty() && names("Exit").empty()); // and the registry released
  executeAutoFunction("Exit", nullptr);
  EXPECT_EQ(gExitLog, "second;first;timers;");
  EXPECT_EQ(first->getTimer().getCount(), 1);
  first.reset(); // destroyed after the release
  second.reset();

  // A registration after the release starts a new registry.
  AutoFunc later("Exit", hostFirst, "later");
  executeAutoFunction("Exit", nullptr);
  EXPECT_EQ(gExitLog, "second;first;timers;first;");
  return ::testing::Test::HasFailure() ? 1 : 0;
}

// A host function that runs "Exit" again: the nested run releases nothing,
// the outer run goes on over the registry and releases it at its end.
int nestedExitInChild() {
  static int depth = 0;
  static bool registryDuringOuterRun = false;
  AutoFunc nesting(
      "Exit",
      [](void *) {
        gExitLog += "host;";
        if (++depth == 1) {
          executeAutoFunction("Exit", nullptr);
          registryDuringOuterRun = !names("Exit").empty();
        }
      },
      "nesting");
  AutoFunc after("Exit", logHost, "after");
  executeAutoFunction("Exit", const_cast<char *>("after;"));
  EXPECT_EQ(gExitLog, "after;host;-host;"); // the nested run passed no data
  EXPECT_TRUE(registryDuringOuterRun);
  EXPECT_TRUE(names().empty());
  return ::testing::Test::HasFailure() ? 1 : 0;
}

// Run from a static destructor, after main has destroyed the application
// object: the "late" child writes what it saw to KV_RESULT.
struct LateExit {
  std::unique_ptr<AutoFunc> host;
  SharedBlockToken heap;
  ~LateExit() {
    if (kvtest::childRole() != "late")
      return;
    executeAutoFunction("Exit", nullptr);
    executeAutoFunction("Exit", nullptr);
    const bool released = names().empty();
    host.reset();
    kvtest::writeFile(kvtest::env("KV_RESULT"), gExitLog + (released ? "released" : "kept"));
  }
} lateExit;

TEST(AutoFuncTest, ExitRunsHostThenLibraryAndReleasesTheRegistry) {
  if (kvtest::childRole() == "exit" || kvtest::childRole() == "nested")
    std::exit(kvtest::childRole() == "exit" ? exitInChild() : nestedExitInChild());
  if (kvtest::childRole() == "late") {
    lateExit.host = std::make_unique<AutoFunc>("Exit", hostFirst, "hostFirst");
    lateExit.heap = SharedBlockToken(64, 2);
    sp_CreateTimer(50, false, new NoteDeletion(lateExit.heap)); // running
    return;
  }
  const char *self = "AutoFuncTest.ExitRunsHostThenLibraryAndReleasesTheRegistry";
  EXPECT_EQ(kvtest::runChild(self, "exit"), 0);
  EXPECT_EQ(kvtest::runChild(self, "nested"), 0);
  const std::string dir = kvtest::makeTempDir("kvexit");
  EXPECT_EQ(kvtest::runChild(self, "late", {{"KV_RESULT", dir + "/result"}}), 0);
  EXPECT_EQ(kvtest::readFile(dir + "/result"), "first;timers;released");
  kvtest::removeTree(dir);
}

// Timing decided by the start-up option: every function's calls are then
// reported, also those registered before the first run and after it.
YString gTimersOption;
YString startupOption(const char *key) {
  return std::string(key) == "AutoFuncTimers" ? gTimersOption : YString();
}

int timingInChild() {
  gTimersOption = kvtest::env("KV_TIMERS").c_str();
  kv::detail::setStartupOptionReader(startupOption);
  AutoFunc early("Timed", noop, "early");
  executeAutoFunction("Timed", nullptr);
  AutoFunc late("Timed", noop, "late");
  executeAutoFunction("Timed", nullptr);
  kvstrstream report;
  KvTimer::print(&report);
  const std::string text = report.getString();
  kv::detail::setStartupOptionReader(nullptr);
  for (const char *line : {"AutoFunc_Timed_early: Total ", ", Count2\n", "AutoFunc_Timed_late: Total ",
                           "AutoFunc_Exit_closeWordArray: Total 0, Last 0, Count0\n"})
    if (text.find(line) == std::string::npos)
      return text.find("AutoFunc_") == std::string::npos ? 20 : (std::cout << text, 30);
  return 10;
}

TEST(AutoFuncTest, StartupOptionTurnsTimersOn) {
  if (kvtest::childRole() == "timing")
    std::exit(timingInChild());
  const struct {
    const char *value;
    int outcome; // 10: every function listed, 20: none
  } cases[] = {{"true", 10}, {"TRUE", 10}, {"", 20}, {"yes", 20}, {"true ", 20}};
  for (const auto &c : cases)
    EXPECT_EQ(kvtest::runChild("AutoFuncTest.StartupOptionTurnsTimersOn", "timing", {{"KV_TIMERS", c.value}}), c.outcome)
        << c.value;
}

} // namespace
