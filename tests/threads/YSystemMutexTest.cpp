#include "kvsupport/threads/YSystemMutex.h"

#include "common/ChildProcess.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>

namespace {

// Child side, on the mutex named in KV_MUTEX: adds 1 to the number in the
// file KV_COUNTER 300 times, reading and rewriting it under the mutex; or
// owns the mutex, says so in KV_READY, and holds it until told to let go by
// KV_STOP or until it is killed.
int childMain() {
  const uint64_t handle = sp_CreateMutex(kvtest::env("KV_MUTEX").c_str(), false);
  const std::string counter = kvtest::env("KV_COUNTER"), stop = kvtest::env("KV_STOP");
  for (int i = 0; i < (counter.empty() ? 1 : 300); ++i) {
    if (!sp_AcquireMutex(handle, -1))
      return 2;
    if (counter.empty()) {
      kvtest::touchFile(kvtest::env("KV_READY"));
      if (!kvtest::waitUntil([&] { return kvtest::fileExists(stop); }, 60000))
        return 3;
    } else {
      kvtest::writeFile(counter, std::to_string(std::stoi(kvtest::readFile(counter)) + 1));
    }
    if (!sp_ReleaseMutex(handle))
      return 4;
  }
  sp_CloseMutex(handle);
  return 0;
}

// The shared-memory objects of this user whose names hold `fragment`.
QStringList objectsNamed(const std::string &fragment) {
  return QDir("/dev/shm").entryList({QString::fromStdString("*" + fragment + "*")}, QDir::Files);
}

// Whether another thread, with a handle of its own, can take `name` at once.
bool otherThreadTakes(const std::string &name) {
  bool taken = false;
  std::thread([&] {
    const uint64_t handle = sp_CreateMutex(name.c_str(), false);
    taken = sp_AcquireMutex(handle, 0);
    sp_CloseMutex(handle);
  }).join();
  return taken;
}

// Two children counting under the mutex exclude each other. Then the first
// owner lets go and a waiter gets the mutex; the second dies while a waiter
// without limit is blocked: abandonment is told once, and the dead owner's
// open handle does not keep the name alive.
TEST(YSystemMutexTest, OwnerInAnotherProcessReleasesOrDies) {
  const char *test = "YSystemMutexTest.OwnerInAnotherProcessReleasesOrDies";
  if (kvtest::childRole() == "mutex")
    std::exit(childMain());
  const std::string dir = kvtest::makeTempDir("kvmutex"), name = kvtest::uniqueName("kv_mutex_");
  const std::string counter = dir + "/counter";
  kvtest::writeFile(counter, "0");
  const kvtest::EnvList counting = {{"KV_MUTEX", kvtest::uniqueName("kv_mutex_count_")},
                                    {"KV_COUNTER", counter}};
  auto first = kvtest::startChild(test, "mutex", counting);
  auto second = kvtest::startChild(test, "mutex", counting);
  EXPECT_EQ(kvtest::waitChild(*first), 0);
  EXPECT_EQ(kvtest::waitChild(*second), 0);
  EXPECT_EQ(kvtest::readFile(counter), "600");

  auto hold = [&](const char *round) {
    const std::string ready = dir + "/ready" + round;
    auto child = kvtest::startChild(
        test, "mutex",
        {{"KV_MUTEX", name}, {"KV_READY", ready}, {"KV_STOP", dir + "/stop" + round}});
    EXPECT_TRUE(kvtest::waitUntil([&] { return kvtest::fileExists(ready); }));
    return child;
  };
  std::unique_ptr<QProcess> child = hold("1");
  {
    YSystemMutex mutex(YString(name.c_str()));
    EXPECT_EQ(objectsNamed(name).size(), 1);
    MutexWaitStatus status = MutexAcquired;
    EXPECT_FALSE(mutex.wait(50, &status));
    EXPECT_EQ(status, MutexTimedOut);
    EXPECT_FALSE(mutex.release());                     // not ours
    EXPECT_EQ(sp_CreateMutex(name.c_str(), true), 0u); // no handle that pretends ownership
    kvtest::touchFile(dir + "/stop1");
    EXPECT_TRUE(mutex.wait(-1));
    EXPECT_EQ(kvtest::waitChild(*child), 0);
    EXPECT_TRUE(mutex.release());

    child = hold("2");
    std::future<MutexWaitStatus> waiter = std::async(std::launch::async, [&] {
      MutexWaitStatus result = MutexWaitFailed;
      mutex.wait(-1, &result);
      mutex.release();
      return result;
    });
    child->kill();
    child->waitForFinished();
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(waiter.get(), MutexAbandoned);
    EXPECT_TRUE(mutex.wait(1000, &status));
    EXPECT_EQ(status, MutexAcquired);
    EXPECT_TRUE(mutex.release());
  }
  EXPECT_TRUE(objectsNamed(name).isEmpty());
  kvtest::removeTree(dir);
}

// The owning thread may take the mutex again and must release it as often;
// closing a handle gives back what was taken through it. A null name is
// refused.
TEST(YSystemMutexTest, OwnerThreadMayWaitAgainOthersMayNot) {
  EXPECT_EQ(sp_CreateMutex(nullptr, false), 0u);
  const std::string name = kvtest::uniqueName("kv_mutex_threads_");
  YSystemMutex mutex(YString(name.c_str()));
  ASSERT_TRUE(mutex.wait(0));
  const uint64_t owning = sp_CreateMutex(name.c_str(), true);
  ASSERT_NE(owning, 0u);
  ASSERT_TRUE(mutex.wait(0)); // owned three times now
  EXPECT_TRUE(mutex.release());
  EXPECT_TRUE(mutex.release());
  EXPECT_FALSE(otherThreadTakes(name)); // still owned through the handle
  sp_CloseMutex(owning);
  EXPECT_FALSE(sp_AcquireMutex(owning, 0)); // closed handles are forgotten
  EXPECT_FALSE(mutex.release());
  EXPECT_TRUE(otherThreadTakes(name));
}

} // namespace
