#include "kvsupport/threads/Clock.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

namespace {

std::atomic<int> signalsTaken{0};

// A sleep lasts at least its time, signals or not.
TEST(ClockTest, SleepGoesOnAfterASignal) {
  struct sigaction action = {}, previous;
  action.sa_handler = [](int) { ++signalsTaken; }; // no SA_RESTART: nanosleep fails with EINTR
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  std::atomic<bool> asleep{false}, awake{false};
  double slept = 0;
  std::thread sleeper([&] {
    asleep = true;
    const double start = sp_GetPerfTime();
    sp_Sleep(300);
    slept = sp_GetPerfTime() - start;
    awake = true;
  });
  while (!asleep)
    std::this_thread::yield();
  // Signals only while the sleeper sleeps: a loaded machine may stretch
  // the gaps past its whole sleep.
  for (int i = 0; i < 3 && !awake; ++i) {
    sp_Sleep(5);
    if (!awake)
      pthread_kill(sleeper.native_handle(), SIGUSR1);
  }
  sleeper.join();
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_GE(signalsTaken, 1);
  EXPECT_GE(slept, 0.3);
}

} // namespace
