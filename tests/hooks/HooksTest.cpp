// Hooks run at start-up and shut-down, functions found by name, the
// interface of user functions, and what kvtool tells of hooks.
#include "kvsupport/hooks/AutoFunc.h"
#include "kvsupport/hooks/DynamicFunction.h"
#include "kvsupport/hooks/UserFunctionInterface.h"
#include "kvsupport/ipc/SharedBlockManager.h"
#include "kvsupport/streams/kvstrstream.h"
#include "kvsupport/strings/YString.h"
#include "kvsupport/threads/GenericTimer.h"

#include "common/ChildProcess.h"
#include "common/KvtoolRun.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"
#include "hooks/StartupOption_p.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---- AutoFunc ----
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
    EXPECT_EQ(kvtest::runChild(kvtest::currentTest(), "exit",
                               {{"KV_RESULT", dir + "/result"}, {"KV_TIMERS", timers}}),
              0);
    EXPECT_EQ(kvtest::readFile(dir + "/result"), lines + "CCBA:kept:BA:released:D") << timers;
  }
  kvtest::removeTree(dir);
}

// ---- DynamicFunction ----
int one() { return 1; }
int two() { return 2; }

int callNamed(const std::string &name) {
  void *function = support_GetDynamicFunction(YString(name.c_str()));
  return function ? reinterpret_cast<int (*)()>(function)() : 0;
}

// Names are exact and cut at 31 bytes; the newest registration wins, and
// a destruction removes every registration under the object's current name.
TEST(DynamicFunctionTest, NamesLookUpTheNewestAndDestructionRemovesThemAll) {
  const std::string cut = "abcdefghijklmnopqrstuvwxyz01234";
  MakeDynamicFunction first(one, (cut + "56789").c_str());
  EXPECT_EQ(callNamed(cut) + callNamed(cut + "-other-tail"), 2);
  EXPECT_EQ(callNamed(cut.substr(0, 30)) + callNamed("ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"), 0);
  {
    MakeDynamicFunction second(two, cut.c_str()), scratch(two, "scratch");
    EXPECT_EQ(callNamed(cut), 2);
    scratch = first; // takes the name, registers nothing
    EXPECT_EQ(scratch.getFunction(), reinterpret_cast<void *>(one));
    EXPECT_EQ(callNamed("scratch"), 2);
  } // both go, by the name: `first`'s registration too
  EXPECT_EQ(callNamed(cut) + callNamed(""), 0);
  EXPECT_EQ(callNamed("scratch"), 2); // left under its old name
  MakeDynamicFunction nullName(static_cast<void *>(nullptr), nullptr);
  EXPECT_STREQ(nullName.getName(), "");
}

// ---- UserFunctionInterface ----
// A small script engine: results and copied texts live in it.
struct Engine {
  std::vector<double> realResult;
  std::vector<char *> stringResult;
  std::deque<std::string> texts;
  bool refuse = false; // its functions give no room
} gEngine;

UserFunctionInterface makeRecord() {
  UserFunctionInterface record;
  std::memset(&record, 0, sizeof record);
  record.makeRealResult = [](UserFunctionInterface *, unsigned int count, int) -> double * {
    gEngine.realResult.assign(count, 0.0);
    return gEngine.refuse ? nullptr : gEngine.realResult.data();
  };
  record.makeStringResult = [](UserFunctionInterface *, unsigned int count) -> char ** {
    gEngine.stringResult.assign(count, nullptr);
    return gEngine.refuse ? nullptr : gEngine.stringResult.data();
  };
  record.copyText = [](const char *text) -> char * {
    return gEngine.refuse ? nullptr : &gEngine.texts.emplace_back(text)[0];
  };
  return record;
}

double reals[] = {1.5, 2.5, 3.5};
char textA[] = "alpha", textB[] = "beta", sentinel[] = "s";
char *texts[] = {textA, textB, nullptr};

// What every reader makes of argument `index`, in one line: both scalars,
// both vectors (count, and '=' when they point at the argument's elements),
// and the three copies into room for `room` elements ('s': left alone).
std::string readAll(const UserFunctionInterface &record, int index, int room) {
  const void *elements = index >= 0 && index < 32 ? record.arguments[index].elements : nullptr;
  auto where = [&](const void *p) { return p ? (p == elements ? "=" : "?") : "0"; };
  double value = -1, data[4] = {-1, -1, -1, -1}, copied[4] = {-1, -1, -1, -1};
  YString text("-");
  const double *realElements = reals;
  char *const *stringElements = texts;
  unsigned int realCount = 99, stringCount = 99;
  char *copiedTexts[4] = {sentinel, sentinel, sentinel, sentinel};
  std::ostringstream out;
  out << sp_GetScalarReal(&record, index, &value) << ':' << value << ' ';
  out << sp_GetScalarString(&record, index, &text) << ':' << text.tocs() << ' ';
  sp_GetRealIfVector(&record, index, &realElements, &realCount);
  sp_GetStringIfVector(&record, index, &stringElements, &stringCount);
  out << realCount << where(realElements) << ' ' << stringCount << where(stringElements) << ' ';
  out << sp_GetRealIfData(&record, index, data, room);
  // Room in bytes for `room` elements and a part of one more.
  sp_CopyRealIfData(&record, index, copied, room * 8 + 7);
  sp_CopyStringIfData(&record, index, copiedTexts, room * 8 + 7);
  for (double *row : {data, copied})
    out << ' ' << row[0] << ',' << row[1] << ',' << row[2] << ',' << row[3];
  for (int i = 0; i < 4; ++i)
    out << (i ? ',' : ' ') << (copiedTexts[i] ? copiedTexts[i] : "0");
  return out.str();
}

TEST(UserFunctionInterfaceTest, ReadersReadOnlyWhatIsThere) {
  const char *nothing = "0:-1 0:- 00 00 0 -1,-1,-1,-1 -1,-1,-1,-1 s,s,s,s";
  const struct {
    int index;
    void *elements;
    uint32_t count;
    int32_t type;
    int room;
    const char *seen;
  } cases[] = {
      {0, reals, 3, UserFunctionReal, 2, "1:1.5 0:- 3= 00 2 1.5,2.5,-1,-1 1.5,2.5,-1,-1 s,s,s,s"},
      {0, reals, 3, UserFunctionReal, 4, "1:1.5 0:- 3= 00 3 1.5,2.5,3.5,-1 1.5,2.5,3.5,-1 s,s,s,s"},
      {0, reals, 3, UserFunctionReal, -1, "1:1.5 0:- 3= 00 0 -1,-1,-1,-1 -1,-1,-1,-1 s,s,s,s"},
      {0, texts, 2, UserFunctionString, 1,
       "0:-1 1:alpha 00 2= 0 -1,-1,-1,-1 -1,-1,-1,-1 alpha,s,s,s"},
      {0, texts + 2, 1, UserFunctionString, 2, "0:-1 0:- 00 1= 0 -1,-1,-1,-1 -1,-1,-1,-1 0,s,s,s"},
      {0, reals, 3, 5, 2, "1:1.5 0:- 00 00 2 1.5,2.5,-1,-1 1.5,2.5,-1,-1 s,s,s,s"}, // another type
      {0, reals, 0, UserFunctionReal, 2, nothing},
      {0, nullptr, 3, UserFunctionReal, 2, nothing},
      {4, reals, 3, UserFunctionReal, 2, nothing}, // the index is the count
      {-1, reals, 3, UserFunctionReal, 2, nothing},
      {32, reals, 3, UserFunctionReal, 2, nothing},
  };
  UserFunctionInterface record;
  for (const auto &c : cases) {
    record = makeRecord();
    record.numArguments = c.index == 4 ? 4 : 40; // more than 32 count as 32
    // The argument in slot 31 for index -1, in slot 0 for index 32.
    record.arguments[c.index & 31] = {c.elements, c.count, c.type, nullptr};
    EXPECT_EQ(readAll(record, c.index, c.room), c.seen) << "case " << &c - cases;
  }
  double value = 0; // on the last case's record: a real at 0
  EXPECT_FALSE(sp_GetScalarReal(nullptr, 0, &value) || sp_GetScalarReal(&record, 0, nullptr));
  EXPECT_EQ(sp_GetRealIfData(&record, 0, nullptr, 3), 0);
  sp_CopyRealIfData(&record, 0, nullptr, 24);
  sp_GetStringIfVector(nullptr, 0, nullptr, nullptr);
}

TEST(UserFunctionInterfaceTest, ResultsGoThroughTheEngine) {
  UserFunctionInterface record = makeRecord();
  const YString text("result");
  EXPECT_TRUE(sp_SetScalarReal(&record, 2.75) && sp_SetScalarString(&record, text));
  EXPECT_EQ(gEngine.realResult, std::vector<double>{2.75});
  EXPECT_EQ(gEngine.texts.back(), "result"); // the engine's own copy is the result
  EXPECT_EQ(gEngine.stringResult, std::vector<char *>{&gEngine.texts.back()[0]});

  gEngine.refuse = true;
  EXPECT_FALSE(sp_SetScalarReal(&record, 1) || sp_SetScalarString(&record, text));
  gEngine.refuse = false;
  UserFunctionInterface noRoom = makeRecord(); // the text is copied, the result has no room
  noRoom.makeStringResult = [](UserFunctionInterface *, unsigned int) -> char ** {
    return nullptr;
  };
  EXPECT_FALSE(sp_SetScalarString(&noRoom, text));

  noRoom.makeRealResult = nullptr; // now an engine without result functions
  noRoom.makeStringResult = nullptr;
  EXPECT_FALSE(sp_SetScalarReal(&noRoom, 1) || sp_SetScalarString(&noRoom, text));
  EXPECT_EQ(sp_MakeStringResult(&noRoom, 1), nullptr);
  EXPECT_FALSE(sp_SetScalarString(nullptr, text) || sp_SetScalarReal(nullptr, 1));
}

// ---- HooksTool ----
// The output of "kvtool hooks", which scripts read.
using kvtest::KvtoolRun;
using kvtest::runKvtool;

TEST(HooksToolTest, ListsHooksInRunOrderAndRunsThem) {
  KvtoolRun run = runKvtool({"hooks"});
  if (run.exitCode == -1)
    GTEST_SKIP() << "kvtool not built beside the tests";
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "Exit\n  closeEmbeddedFiles\n  closeWordArray\n  deleteTimers\n"
                     "  flushSharedBlockLookup\n  closeOptions\n  closeLogicalPaths\n"
                     "  closeLibraryManager\n  closeInifile\n  closeAutoFunc\n"
                     "InitCli\n  initialisePaths\n");
  // "Exit" releases the registry: nothing is left to list.
  EXPECT_EQ(runKvtool({"hooks", "--run", "NoSuchHook", "--run", "Exit"}).out, "");
  for (const QStringList &bad : {QStringList{"hooks", "--run"}, QStringList{"hooks", "--list"},
                                 QStringList{"hooks", "Exit"}})
    EXPECT_EQ(runKvtool(bad).exitCode, 2) << bad.join(' ').toStdString();
}

} // namespace
