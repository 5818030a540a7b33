#include "kvsupport/files/FileLock.h"

#include "common/ChildProcess.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

bool isOwnerLine(const std::string &text) {
  return text.size() > 3 && text.find('@') != std::string::npos && text.find('@') > 0 &&
         text.compare(text.size() - 2, 2, "\r\n") == 0 && text.find('\n') == text.size() - 1;
}

// Child side of the cross-process tests: takes the lock, says so, and holds
// it until told to let go (unlocking on the way out) or until it is killed.
int holdLockInChild() {
  const std::string path = kvtest::env("KV_LOCK_PATH");
  FileLock lock;
  if (!lock.lock(YString(path.c_str())))
    return 2;
  kvtest::touchFile(kvtest::env("KV_READY"));
  if (!kvtest::waitUntil([] { return kvtest::fileExists(kvtest::env("KV_STOP")); }, 60000))
    return 3;
  lock.unlock();
  return kvtest::fileExists(path + ".lck") ? 4 : 0;
}

struct LockFiles {
  std::string dir = kvtest::makeTempDir("kvlock");
  std::string target = dir + "/data.ini";
  std::string lockFile = target + ".lck";
  std::string ready = dir + "/ready", stop = dir + "/stop";
  ~LockFiles() { kvtest::removeTree(dir); }

  // Starts a child of `test` that takes the lock; returns once it holds it.
  std::unique_ptr<QProcess> startHolder(const char *test) const {
    auto child = kvtest::startChild(
        test, "hold", {{"KV_LOCK_PATH", target}, {"KV_READY", ready}, {"KV_STOP", stop}});
    EXPECT_TRUE(kvtest::waitUntil([&] { return kvtest::fileExists(ready); }));
    return child;
  }
};

TEST(FileLockTest, HeldLockRefusesOthersUntilHolderDies) {
  if (kvtest::childRole() == "hold")
    std::exit(holdLockInChild());
  LockFiles files;
  auto child = files.startHolder("FileLockTest.HeldLockRefusesOthersUntilHolderDies");
  ASSERT_TRUE(kvtest::fileExists(files.ready)) << "the holder never took the lock";
  const std::string holderLine = kvtest::readFile(files.lockFile);
  EXPECT_TRUE(isOwnerLine(holderLine)) << holderLine;

  FileLock lock;
  EXPECT_FALSE(lock.lock(YString(files.target.c_str())));
  EXPECT_FALSE(lock.locked());
  EXPECT_EQ(lock.getError(), FileLockInUse);
  // The refused attempt left the holder's line alone.
  EXPECT_EQ(kvtest::readFile(files.lockFile), holderLine);
  EXPECT_FALSE(lock.relock());
  EXPECT_EQ(lock.getError(), FileLockInUse);

  // The holder dies without unlocking: its lock file stays, but blocks no one.
  child->kill();
  child->waitForFinished();
  EXPECT_TRUE(kvtest::fileExists(files.lockFile));
  EXPECT_TRUE(lock.lock(YString(files.target.c_str())));
  EXPECT_EQ(lock.getError(), FileLockNone);
  EXPECT_TRUE(isOwnerLine(kvtest::readFile(files.lockFile)));
  lock.unlock();
  EXPECT_FALSE(kvtest::fileExists(files.lockFile));
}

TEST(FileLockTest, HolderThatUnlocksLetsOthersIn) {
  if (kvtest::childRole() == "hold")
    std::exit(holdLockInChild());
  LockFiles files;
  auto child = files.startHolder("FileLockTest.HolderThatUnlocksLetsOthersIn");
  ASSERT_TRUE(kvtest::fileExists(files.ready)) << "the holder never took the lock";
  FileLock lock;
  EXPECT_FALSE(lock.lock(YString(files.target.c_str())));
  kvtest::touchFile(files.stop);
  EXPECT_EQ(kvtest::waitChild(*child), 0); // it unlocked and its lock file is gone
  EXPECT_TRUE(lock.relock());
  EXPECT_TRUE(lock.locked());
}

TEST(FileLockTest, StaleLockFileIsTakenAndRewritten) {
  LockFiles files;
  kvtest::writeFile(files.lockFile,
                    "someone@elsewhere\r\nand a lot more text than an owner line\r\n");
  FileLock lock;
  ASSERT_TRUE(lock.lock(YString(files.target.c_str())));
  EXPECT_STREQ(lock.getLockPath().tocs(), files.lockFile.c_str());
  EXPECT_TRUE(isOwnerLine(kvtest::readFile(files.lockFile))) << kvtest::readFile(files.lockFile);

  // A second lock in the same process is another holder, and is refused.
  FileLock other;
  EXPECT_FALSE(other.lock(YString(files.target.c_str())));
  EXPECT_EQ(other.getError(), FileLockInUse);

  // Relocking keeps the lock; locking another path gives up the first.
  EXPECT_TRUE(lock.relock());
  EXPECT_TRUE(lock.lock(YString((files.dir + "/other.ini").c_str())));
  EXPECT_FALSE(kvtest::fileExists(files.lockFile));
  EXPECT_TRUE(other.lock(YString(files.target.c_str())));

  // A holder whose lock file was deleted and made anew by another holder
  // leaves the new one alone when it lets go.
  ::unlink(files.lockFile.c_str());
  FileLock successor;
  ASSERT_TRUE(successor.lock(YString(files.target.c_str())));
  other.unlock();
  EXPECT_TRUE(kvtest::fileExists(files.lockFile));
}

TEST(FileLockTest, FailuresAreClassified) {
  LockFiles files;
  FileLock lock;
  EXPECT_EQ(lock.getError(), FileLockNone);
  EXPECT_FALSE(lock.relock()); // nothing named yet
  EXPECT_EQ(lock.getError(), FileLockFailed);

  EXPECT_FALSE(lock.lock(YString((files.dir + "/no/such/dir/x").c_str())));
  EXPECT_EQ(lock.getError(), FileLockFailed);

  // A directory, a FIFO or a symbolic link under the lock file's name is
  // never opened as the lock file, and never written through.
  ASSERT_EQ(::mkdir((files.dir + "/d.lck").c_str(), 0700), 0);
  EXPECT_FALSE(lock.lock(YString((files.dir + "/d").c_str())));
  EXPECT_EQ(lock.getError(), FileLockFailed);
  ASSERT_EQ(::mkfifo((files.dir + "/f.lck").c_str(), 0600), 0);
  EXPECT_FALSE(lock.lock(YString((files.dir + "/f").c_str())));
  const std::string victim = files.dir + "/victim";
  kvtest::writeFile(victim, "precious");
  ASSERT_EQ(::symlink(victim.c_str(), (files.dir + "/s.lck").c_str()), 0);
  EXPECT_FALSE(lock.lock(YString((files.dir + "/s").c_str())));
  EXPECT_EQ(kvtest::readFile(victim), "precious");

  // Where nobody may create files, even the superuser.
  if (::access("/sys", F_OK) == 0) {
    EXPECT_FALSE(lock.lock(YString("/sys/kvsupport-test")));
    EXPECT_EQ(lock.getError(), FileLockAccessDenied);
  }
  EXPECT_TRUE(lock.lock(YString(files.target.c_str())));
  EXPECT_EQ(lock.getError(), FileLockNone);
}

// Holders delete the lock file as they let go while others are opening it:
// whoever opened the old file must notice and never hold a second lock.
TEST(FileLockTest, NeverTwoHoldersUnderChurn) {
  LockFiles files;
  std::atomic<int> holders{0}, maxHolders{0}, taken{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      FileLock lock;
      for (int i = 0; i < 400; ++i) {
        if (!lock.lock(YString(files.target.c_str())))
          continue;
        const int now = ++holders;
        int seen = maxHolders.load();
        while (now > seen && !maxHolders.compare_exchange_weak(seen, now)) {
        }
        ++taken;
        std::this_thread::yield();
        --holders;
        lock.unlock();
      }
    });
  for (std::thread &thread : threads)
    thread.join();
  EXPECT_EQ(maxHolders.load(), 1);
  EXPECT_GT(taken.load(), 0);
  EXPECT_FALSE(kvtest::fileExists(files.lockFile));
}

TEST(FileLockTest, MovingHandsOverTheOneLockFile) {
  LockFiles files;
  FileLock first;
  ASSERT_TRUE(first.lock(YString(files.target.c_str())));
  FileLock second(std::move(first));
  EXPECT_FALSE(first.locked());
  EXPECT_TRUE(second.locked());
  first.unlock(); // holds nothing: must not touch the lock file
  EXPECT_TRUE(kvtest::fileExists(files.lockFile));
  {
    FileLock third;
    ASSERT_TRUE(third.lock(YString((files.dir + "/b").c_str())));
    third = std::move(second); // releases b's lock, takes over the target's
    EXPECT_FALSE(kvtest::fileExists(files.dir + "/b.lck"));
    EXPECT_TRUE(kvtest::fileExists(files.lockFile));
  }
  EXPECT_FALSE(kvtest::fileExists(files.lockFile)); // deleted once, by its last owner
}

} // namespace
