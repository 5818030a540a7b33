#include "kvsupport/threads/KvTimer.h"
#include "kvsupport/threads/CommandTimer.h"

#include "kvsupport/streams/kvstrstream.h"
#include "kvsupport/threads/Clock.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string report() {
  kvstrstream stream;
  KvTimer::print(&stream);
  return stream.getString();
}

// Named timers are listed in order of their names without regard to case,
// copies and assignments never change membership, and the list goes with
// its last member.
TEST(KvTimerTest, ReportListsNamedTimersWithoutRegardToCase) {
  ASSERT_EQ(report(), ""); // no named timer lives between tests
  {
    KvTimer beta("Beta"), alpha("alpha"), unnamed, empty("");
    KvTimer copy(beta), assigned;
    assigned = beta;
    KvTimer other("other");
    other = KvTimer(); // stays listed, now without a name
    beta.startTimer();
    beta.startTimer();
    EXPECT_EQ(report(), ": Total 0, Last 0, Count0\nalpha: Total 0, Last 0, Count0\nBeta: Total 0, "
                        "Last 0, Count2\n");
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
}

} // namespace
