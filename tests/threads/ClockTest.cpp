#include "kvsupport/threads/Clock.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Every reading, by whichever thread, is taken in one order under a lock,
// so a clock that went back between processors would show it. The tick
// count is the low 32 bits of the count behind seconds(), and the epoch
// clocks follow the wall clock.
TEST(ClockTest, ClocksAgreeAndNeverGoBackAcrossThreads) {
  std::mutex lock;
  double last[3] = {0, 0, 0};
  int backwards = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        std::lock_guard<std::mutex> guard(lock);
        const double now[3] = {sp_GetPerfTime(), seconds(), double(sp_GetTickCount())};
        for (int c = 0; c < 3; ++c) {
          backwards += now[c] < last[c];
          last[c] = now[c];
        }
      }
    });
  for (std::thread &thread : threads)
    thread.join();
  EXPECT_EQ(backwards, 0);

  const uint32_t before = sp_GetTickCount();
  const double secs = seconds();
  const uint32_t after = sp_GetTickCount();
  const int64_t millis = sp_EpochTimeMilliSeconds(), epoch = sp_EpochTime();
  const uint32_t low = static_cast<uint32_t>(static_cast<uint64_t>(secs * 1000.0 + 0.5));
  EXPECT_LE(low - before, after - before); // modulo 2^32
  EXPECT_LT(std::llabs(millis - QDateTime::currentMSecsSinceEpoch()), 1000);
  EXPECT_LE(epoch - millis / 1000, 1);
}

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
