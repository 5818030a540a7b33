#include "kvsupport/threads/YSystemMutex.h"

#include "common/ChildProcess.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

// Child side: owns the mutex named in KV_MUTEX, says so, and holds it until
// told to let go or until it is killed.
int holdMutexInChild() {
  YSystemMutex mutex(YString(kvtest::env("KV_MUTEX").c_str()));
  if (!mutex.wait(-1))
    return 2;
  kvtest::touchFile(kvtest::env("KV_READY"));
  if (!kvtest::waitUntil([] { return kvtest::fileExists(kvtest::env("KV_STOP")); }, 60000))
    return 3;
  return mutex.release() ? 0 : 4;
}

// Child side: adds 1 to the number in the file KV_COUNTER, 300 times,
// reading and rewriting it under the mutex.
int countUnderMutexInChild() {
  const uint64_t handle = sp_CreateMutex(kvtest::env("KV_MUTEX").c_str(), false);
  const std::string path = kvtest::env("KV_COUNTER");
  for (int i = 0; i < 300; ++i) {
    if (!sp_AcquireMutex(handle, -1))
      return 2;
    kvtest::writeFile(path, std::to_string(std::stoi(kvtest::readFile(path)) + 1));
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

// Children that hold the mutex `name`; round n waits for the file stop<n>.
struct Holder {
  std::string dir = kvtest::makeTempDir("kvmutex");
  std::string name = kvtest::uniqueName("kv_mutex_test_");
  std::unique_ptr<QProcess> child;

  std::string stop(int round) const { return dir + "/stop" + std::to_string(round); }
  void start(const char *test, int round) {
    const std::string ready = dir + "/ready" + std::to_string(round);
    child = kvtest::startChild(test, "hold",
                               {{"KV_MUTEX", name}, {"KV_READY", ready}, {"KV_STOP", stop(round)}});
    ASSERT_TRUE(kvtest::waitUntil([&] { return kvtest::fileExists(ready); }));
  }
  ~Holder() {
    if (child && child->state() != QProcess::NotRunning) {
      child->kill();
      child->waitForFinished();
    }
    kvtest::removeTree(dir);
  }
};

// The first owner lets go and a waiter gets the mutex; the second dies
// while a waiter without limit is blocked: abandonment is told once, and the
// dead owner's open handle does not keep the name alive.
TEST(YSystemMutexTest, OwnerInAnotherProcessReleasesOrDies) {
  const char *test = "YSystemMutexTest.OwnerInAnotherProcessReleasesOrDies";
  if (kvtest::childRole() == "hold")
    std::exit(holdMutexInChild());
  Holder holder;
  holder.start(test, 1);
  {
    YSystemMutex mutex(YString(holder.name.c_str()));
    ASSERT_TRUE(mutex.isValid());
    EXPECT_EQ(objectsNamed(holder.name).size(), 1);
    MutexWaitStatus status = MutexAcquired;
    EXPECT_FALSE(mutex.wait(50, &status));
    EXPECT_EQ(status, MutexTimedOut);
    EXPECT_FALSE(mutex.release());                            // not ours
    EXPECT_EQ(sp_CreateMutex(holder.name.c_str(), true), 0u); // no handle that pretends ownership
    kvtest::touchFile(holder.stop(1));
    EXPECT_TRUE(mutex.wait(-1));
    EXPECT_EQ(kvtest::waitChild(*holder.child), 0);
    EXPECT_TRUE(mutex.release());

    holder.start(test, 2);
    std::future<MutexWaitStatus> waiter = std::async(std::launch::async, [&] {
      MutexWaitStatus result = MutexWaitFailed;
      mutex.wait(-1, &result);
      mutex.release();
      return result;
    });
    holder.child->kill();
    holder.child->waitForFinished();
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(waiter.get(), MutexAbandoned);
    EXPECT_TRUE(mutex.wait(1000, &status));
    EXPECT_EQ(status, MutexAcquired);
    EXPECT_TRUE(mutex.release());
  }
  EXPECT_TRUE(objectsNamed(holder.name).isEmpty());
}

TEST(YSystemMutexTest, ExcludesOtherProcesses) {
  if (kvtest::childRole() == "count")
    std::exit(countUnderMutexInChild());
  const std::string dir = kvtest::makeTempDir("kvmutex"), counter = dir + "/counter";
  kvtest::writeFile(counter, "0");
  const kvtest::EnvList env = {{"KV_MUTEX", kvtest::uniqueName("kv_mutex_count_")},
                               {"KV_COUNTER", counter}};
  auto first = kvtest::startChild("YSystemMutexTest.ExcludesOtherProcesses", "count", env);
  auto second = kvtest::startChild("YSystemMutexTest.ExcludesOtherProcesses", "count", env);
  EXPECT_EQ(kvtest::waitChild(*first), 0);
  EXPECT_EQ(kvtest::waitChild(*second), 0);
  EXPECT_EQ(kvtest::readFile(counter), "600");
  kvtest::removeTree(dir);
}

TEST(YSystemMutexTest, OwnerThreadMayWaitAgainOthersMayNot) {
  const std::string name = kvtest::uniqueName("kv_mutex_threads_");
  YSystemMutex mutex(YString(name.c_str()));
  const uint64_t other = sp_CreateMutex(name.c_str(), false);
  auto tryOnOtherThread = [&] {
    return std::async(std::launch::async,
                      [&] {
                        bool got = sp_AcquireMutex(other, 0);
                        if (got)
                          sp_ReleaseMutex(other);
                        return got;
                      })
        .get();
  };
  ASSERT_TRUE(mutex.wait(0));
  ASSERT_TRUE(mutex.wait(0)); // owned twice now
  EXPECT_FALSE(tryOnOtherThread());
  EXPECT_TRUE(mutex.release());
  EXPECT_FALSE(tryOnOtherThread()); // still owned once
  EXPECT_TRUE(mutex.release());
  EXPECT_FALSE(mutex.release());
  EXPECT_TRUE(tryOnOtherThread());

  // Closing a handle gives back what was taken through it.
  ASSERT_TRUE(mutex.wait(0));
  const uint64_t owning = sp_CreateMutex(name.c_str(), true);
  ASSERT_NE(owning, 0u); // recursive: the owning thread may take it again
  EXPECT_TRUE(mutex.release());
  EXPECT_FALSE(tryOnOtherThread());
  sp_CloseMutex(owning);
  EXPECT_TRUE(tryOnOtherThread());
  sp_CloseMutex(other);
}

TEST(YSystemMutexTest, NamesMapOneToOneAndLeaveNothingBehind) {
  const std::string base = kvtest::uniqueName("kv_mutex_name_");
  const std::string plain = base + "azAZ09_.-";
  const std::string names[] = {base + "/a",
                               base + "_a",
                               base + "%2Fa",
                               plain,
                               base + std::string(300, 'x') + "A",
                               base + std::string(300, 'x') + "B"};
  // Each name is its own mutex: another thread can take none of them, yet
  // every one could be owned at once.
  std::vector<uint64_t> handles;
  for (const std::string &name : names)
    handles.push_back(sp_CreateMutex(name.c_str(), true));
  for (const std::string &name : names) {
    bool got = std::async(std::launch::async, [&] {
                 uint64_t h = sp_CreateMutex(name.c_str(), false);
                 bool taken = sp_AcquireMutex(h, 0);
                 sp_CloseMutex(h);
                 return taken;
               }).get();
    EXPECT_FALSE(got) << name;
  }
  // Letters, digits and "_.-" are kept as they are in the object's name.
  EXPECT_EQ(objectsNamed(plain).size(), 1);
  for (uint64_t handle : handles)
    sp_CloseMutex(handle);
  EXPECT_TRUE(objectsNamed(base).isEmpty());
}

TEST(YSystemMutexTest, BadHandlesAndNamesAreRefused) {
  EXPECT_EQ(sp_CreateMutex(nullptr, false), 0u);
  EXPECT_EQ(sp_CreateMutex("", true), 0u);
  EXPECT_FALSE(sp_ReleaseMutex(12345678));
  sp_CloseMutex(99999999);
  const uint64_t handle = sp_CreateMutex(kvtest::uniqueName("kv_mutex_bad_").c_str(), false);
  sp_CloseMutex(handle);
  EXPECT_FALSE(sp_AcquireMutex(handle, 0)); // closed handles are forgotten
  YSystemMutex unnamed(YString(""));
  MutexWaitStatus status = MutexAcquired;
  EXPECT_FALSE(unnamed.isValid());
  EXPECT_FALSE(unnamed.wait(-1, &status));
  EXPECT_EQ(status, MutexWaitFailed);
}

} // namespace
