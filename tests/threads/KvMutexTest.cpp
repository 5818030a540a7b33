#include "kvsupport/threads/KvMutex.h"
#include "kvsupport/threads/YMutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

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
  EXPECT_TRUE(mutex.tryLock());
  mutex.unlock();
}

// The holder locks again and unlocks as often; copies and assignments share
// one mutex, which outlives the original.
TEST(YMutexTest, RecursiveAndSharedByCopies) {
  auto original = std::make_unique<YMutex>();
  YMutex copy(*original), assigned;
  assigned = *original;
  original->lock();
  original->lock();
  std::atomic<int> got{0};
  std::thread other([&] {
    assigned.unlock(); // held by another thread: ignored
    for (YMutex *mutex : {&copy, &assigned}) {
      YMutexLocker locker(mutex);
      ++got;
    }
  });
  std::this_thread::sleep_for(50ms);
  original->unlock();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(got, 0);
  original->unlock();
  other.join();
  EXPECT_EQ(got, 2);
  original.reset();
  { YMutexLocker outer(&copy); }
  { YMutexLocker nothing(nullptr); }
}

} // namespace
