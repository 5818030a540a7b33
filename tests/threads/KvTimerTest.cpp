#include "kvsupport/threads/KvTimer.h"
#include "kvsupport/threads/CommandTimer.h"

#include "kvsupport/streams/kvstrstream.h"
#include "kvsupport/threads/Clock.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::string report() {
  kvstrstream stream;
  KvTimer::print(&stream);
  return stream.getString();
}

TEST(KvTimerTest, ReportListsNamedTimersWithoutRegardToCase) {
  ASSERT_EQ(report(), ""); // no named timer lives between tests
  {
    KvTimer beta("beta"), alpha("Alpha"), gamma("gamma"), alpha2("ALPHA2"), unnamed;
    KvTimer empty("");
    KvTimer copy(beta);
    beta.startTimer();
    beta.endTimer();
    beta.startTimer();
    const std::string text = report();
    EXPECT_EQ(text.find("Alpha: Total 0, Last 0, Count0\nALPHA2: Total 0, Last 0, Count0\nbeta: "
                        "Total "),
              0u)
        << text;
    EXPECT_NE(text.find(", Count2\ngamma: Total 0, Last 0, Count0\n"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
    KvTimer::print(nullptr);
  }
  EXPECT_EQ(report(), ""); // the list went with its last member
}

TEST(KvTimerTest, CopiesAndAssignmentsNeverChangeMembership) {
  auto lines = [] {
    const std::string text = report();
    return std::count(text.begin(), text.end(), '\n');
  };
  auto named = std::make_unique<KvTimer>("named");
  KvTimer copy(*named), unnamed;
  EXPECT_EQ(copy.getName(), "named");
  EXPECT_EQ(lines(), 1);
  unnamed = *named; // takes the name, stays out of the list
  EXPECT_EQ(lines(), 1);
  KvTimer other("other");
  other = KvTimer(); // stays listed, now without a name
  EXPECT_EQ(lines(), 2);
  EXPECT_EQ(report().rfind(": Total 0, Last 0, Count0\nnamed: ", 0), 0u);
  named.reset();
  EXPECT_EQ(lines(), 1);
}

TEST(KvTimerTest, StopwatchCountsCallsAndTheirTimes) {
  KvTimer timer("stopwatch");
  timer.endTimer(); // not running: nothing happens
  EXPECT_EQ(timer.getCount() + timer.getTotal(), 0);
  EXPECT_TRUE(timer.startTimer());
  sp_Sleep(20);
  timer.endTimer();
  timer.endTimer(); // once only
  const double first = timer.getTotal();
  EXPECT_GE(first, 0.02);
  EXPECT_EQ(timer.getLastCall(), first);
  timer.startTimer();
  EXPECT_EQ(timer.getLastCall(), 0);
  KvTimer::clearKvTimers(); // a running timer keeps running
  EXPECT_EQ(timer.getCount() + timer.getTotal(), 0);
  EXPECT_TRUE(timer.isRunning());
  timer.endTimer();
  EXPECT_GT(timer.getTotal(), 0);
  EXPECT_LT(timer.getTotal(), first);
  EXPECT_TRUE(KvTimer("a") == KvTimer("A") && KvTimer("a") < KvTimer("B"));
}

// Sequences of start ('s') and end ('e').
TEST(CommandTimerTest, OnlyTheOutermostRunIsCounted) {
  const struct {
    const char *calls;
    int count, nestedStarts, depth;
  } cases[] = {
      {"", 0, 0, 0},      {"se", 1, 0, 0},     {"ssee", 1, 1, 0},
      {"sssee", 0, 2, 1}, {"e", 0, 0, 0},      {"eese", 1, 0, 0},
      {"seese", 2, 0, 0}, {"sesese", 3, 0, 0}, {"sseesee", 2, 1, 0},
  };
  for (const auto &c : cases) {
    CommandTimer timer(YString("command"));
    for (const char *call = c.calls; *call; ++call)
      *call == 's' ? timer.start() : timer.end();
    EXPECT_EQ(timer.getCount(), c.count) << c.calls;
    EXPECT_EQ(timer.getNestedStarts(), c.nestedStarts) << c.calls;
    EXPECT_EQ(timer.getDepth(), c.depth) << c.calls;
  }
}

TEST(CommandTimerTest, RunTimesGoFromTheOuterStartToTheOuterEnd) {
  CommandTimer timer(YString("Outer"));
  EXPECT_STREQ(timer.print().tocs(), "Outer;0;0;-10E99;10E99");
  timer.start();
  sp_Sleep(30);
  timer.start();
  timer.end();
  sp_Sleep(30);
  timer.end();
  EXPECT_GE(timer.getTotal(), 0.059);
  EXPECT_EQ(timer.getLongest(), timer.getTotal());
  EXPECT_EQ(timer.getShortest(), timer.getTotal());
  timer.start();
  timer.end();
  EXPECT_LT(timer.getShortest(), 0.03);
  EXPECT_EQ(timer.print().hasPrefix("Outer;2;"), 8);
  EXPECT_EQ(timer.hashValue(), YString("OUTER").hashValue());
  EXPECT_TRUE(timer == CommandTimer(YString("outer")));
}

} // namespace
