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

TEST(KvMutexTest, TryLockAnswersAtOnce) {
  KvMutex mutex;
  EXPECT_TRUE(mutex.tryLock());
  EXPECT_FALSE(mutex.tryLock()); // not recursive
  mutex.unlock();

  std::atomic<bool> held{false}, release{false};
  std::thread holder([&] {
    mutex.lock();
    held = true;
    while (!release)
      std::this_thread::yield();
    mutex.unlock();
  });
  while (!held)
    std::this_thread::yield();
  EXPECT_FALSE(mutex.tryLock());
  mutex.unlock(); // not ours: ignored
  EXPECT_FALSE(mutex.tryLock());
  release = true;
  holder.join();
  EXPECT_TRUE(mutex.tryLock());
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

TEST(YMutexTest, HolderLocksAgainAndUnlocksAsOften) {
  YMutex mutex;
  mutex.lock();
  mutex.lock();
  std::future<void> other;
  EXPECT_FALSE(otherThreadGets(mutex, &other));
  mutex.unlock();
  EXPECT_EQ(other.wait_for(50ms), std::future_status::timeout);
  mutex.unlock();
  EXPECT_EQ(other.wait_for(10s), std::future_status::ready);
  mutex.unlock(); // held by nobody: ignored
  { YMutexLocker locker(&mutex); }
  { YMutexLocker nothing(nullptr); }
}

TEST(YMutexTest, CopiesAndAssignmentsShareOneMutex) {
  auto original = std::make_unique<YMutex>();
  YMutex copy(*original), assigned;
  assigned = *original;
  YMutex &alias = assigned;
  assigned = alias; // self-assignment keeps the mutex
  original->lock();
  std::future<void> viaCopy, viaAssigned;
  EXPECT_FALSE(otherThreadGets(copy, &viaCopy));
  EXPECT_FALSE(otherThreadGets(assigned, &viaAssigned));
  original->unlock();
  EXPECT_EQ(viaCopy.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(viaAssigned.wait_for(10s), std::future_status::ready);
  original.reset(); // the copies keep the mutex

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
