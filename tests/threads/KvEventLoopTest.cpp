#include "kvsupport/threads/KvEventLoop.h"
#include "kvsupport/threads/YEventLoop.h"

#include "kvsupport/threads/Clock.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// KvEventLoop runs until an exit from any thread, on its own thread only;
// YEventLoop handles one round of events per call.
TEST(KvEventLoopTest, RunsUntilExitFromAnyThread) {
  KvEventLoop loop;
  std::thread stopper([&] {
    sp_Sleep(30);
    loop.exit();
  });
  EXPECT_EQ(loop.exec(), 0);
  stopper.join();
  int elsewhere = 0;
  std::thread([&] { elsewhere = loop.exec(); }).join();
  EXPECT_EQ(elsewhere, -1);

  YEventLoop once;
  bool handled = false;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [&] { handled = true; }, Qt::QueuedConnection);
  // A wake-up left over from earlier work may end a call before the event
  // comes, as it may in any caller's loop.
  for (int call = 0; call < 10 && !handled; ++call)
    once.exec();
  EXPECT_TRUE(handled);
}

// An exit may come at any moment around the start of the wait; every one
// that comes after the flag was cleared must end it. Callers loop until the
// flag is set: an exit before a call is not remembered, and a wake-up meant
// for an earlier call may end a later one early.
TEST(YEventLoopTest, ExitFromAnotherThreadWakesTheWait) {
  YEventLoop loop;
  for (int round = 0; round < 50; ++round) {
    std::atomic<bool> returned{false};
    std::thread racer([&] {
      while (!returned) {
        loop.exit();
        std::this_thread::yield();
      }
    });
    do
      loop.exec();
    while (!loop.exitRequested());
    returned = true;
    racer.join();
  }
}

} // namespace
