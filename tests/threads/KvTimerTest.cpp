#include "kvsupport/threads/KvTimer.h"
#include "kvsupport/threads/CommandTimer.h"

#include "kvsupport/streams/kvstrstream.h"
#include "kvsupport/threads/Clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

std::string report() {
  kvstrstream stream;
  KvTimer::print(&stream);
  return stream.getString();
}

// Named timers are listed, copies and assignments never change membership,
// and the list goes with its last member.
TEST(KvTimerTest, ReportListsNamedTimersWithoutRegardToCase) {
  ASSERT_EQ(report(), ""); // no named timer lives between tests
  {
    KvTimer beta("beta"), alpha("Alpha"), alpha2("ALPHA2"), unnamed, empty("");
    KvTimer copy(beta), assigned;
    assigned = beta;
    KvTimer other("other");
    other = KvTimer(); // stays listed, now without a name
    beta.startTimer();
    beta.endTimer();
    beta.startTimer();
    const std::string text = report();
    EXPECT_EQ(text.rfind(": Total 0, Last 0, Count0\nAlpha: Total 0, Last 0, Count0\nALPHA2: "
                         "Total 0, Last 0, Count0\nbeta: Total ",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find(", Count2\n"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
    KvTimer::print(nullptr);
  }
  EXPECT_EQ(report(), "");
}

// Sequences of start ('s') and end ('e'): only the outermost run counts, and
// its time goes from the outer start to the outer end.
TEST(CommandTimerTest, OnlyTheOutermostRunIsCounted) {
  const struct {
    const char *calls;
    int count, nestedStarts, depth;
  } cases[] = {
      {"se", 1, 0, 0},   {"ssee", 1, 1, 0},    {"sssee", 0, 2, 1},
      {"eese", 1, 0, 0}, {"sseesee", 2, 1, 0},
  };
  for (const auto &c : cases) {
    CommandTimer timer(YString("command"));
    for (const char *call = c.calls; *call; ++call)
      *call == 's' ? timer.start() : timer.end();
    EXPECT_EQ(timer.getCount(), c.count) << c.calls;
    EXPECT_EQ(timer.getNestedStarts(), c.nestedStarts) << c.calls;
    EXPECT_EQ(timer.getDepth(), c.depth) << c.calls;
  }

  CommandTimer timer(YString("Outer"));
  EXPECT_STREQ(timer.print().tocs(), "Outer;0;0;-10E99;10E99");
  timer.start();
  timer.start();
  timer.end();
  sp_Sleep(30);
  timer.end();
  EXPECT_GE(timer.getTotal(), 0.029);
  EXPECT_EQ(timer.getShortest(), timer.getLongest());
}

} // namespace
