#include "kvsupport/threads/KvMutex.h"
#include "kvsupport/threads/YMutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Unlocks by a thread that does not hold the mutex are ignored.
TEST(KvMutexTest, TryLockAnswersAtOnce) {
  KvMutex mutex;
  EXPECT_TRUE(mutex.tryLock());
  EXPECT_FALSE(mutex.tryLock()); // not recursive
  std::thread([&] {
    mutex.unlock(); // not ours: ignored
    EXPECT_FALSE(mutex.tryLock());
  }).join();
  mutex.unlock();
  mutex.unlock(); // not locked: ignored
  EXPECT_TRUE(mutex.tryLock());
  mutex.unlock();
}

// Whether another thread can take `mutex` within a short time.
bool otherThreadGets(YMutex &mutex, std::future<void> *pending) {
  *pending = std::async(std::launch::async, [&mutex] {
    mutex.lock();
    mutex.unlock();
  });
  return pending->wait_for(50ms) == std::future_status::ready;
}

// The holder locks again and unlocks as often; copies and assignments share
// one mutex, which outlives the original.
TEST(YMutexTest, RecursiveAndSharedByCopies) {
  auto original = std::make_unique<YMutex>();
  YMutex copy(*original), assigned;
  assigned = *original;
  original->lock();
  original->lock();
  std::future<void> viaCopy, viaAssigned;
  EXPECT_FALSE(otherThreadGets(copy, &viaCopy));
  std::thread([&] { assigned.unlock(); }).join(); // held by another thread: ignored
  original->unlock();
  EXPECT_FALSE(otherThreadGets(assigned, &viaAssigned));
  original->unlock();
  EXPECT_EQ(viaCopy.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(viaAssigned.wait_for(10s), std::future_status::ready);
  original.reset();
  { YMutexLocker nothing(nullptr); }

  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      YMutex own(t % 2 ? copy : assigned);
      for (int i = 0; i < 5000; ++i) {
        YMutexLocker outer(&own);
        YMutexLocker inner(&own);
        ++counter;
      }
    });
  for (std::thread &thread : threads)
    thread.join();
  EXPECT_EQ(counter, 20000);
}

} // namespace
