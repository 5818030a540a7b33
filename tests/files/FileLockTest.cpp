#include "kvsupport/files/FileLock.h"

#include "FilesTest.h"

#include <atomic>
#include <thread>
#include <vector>

namespace {

using kvfiles::y;

// "user@host\r\n", alone in the file.
bool isOwnerLine(const std::string &text) {
  const size_t at = text.find('@');
  return at != std::string::npos && at > 0 && text.size() > 3 &&
         text.find('\n') == text.size() - 1 && text.compare(text.size() - 2, 2, "\r\n") == 0;
}

struct LockFiles : kvfiles::TempDir {
  std::string target = *this / "data.ini", lockFile = target + ".lck";
};

TEST(FileLockTest, HeldLockRefusesOthersUntilHolderLetsGoOrDies) {
  if (kvtest::childRole() == "hold")
    std::exit(kvfiles::holdLockInChild());
  LockFiles files;
  FileLock lock;
  for (const bool dies : {false, true}) {
    SCOPED_TRACE(dies ? "dies" : "lets go");
    auto child = kvfiles::startReady("hold", files / (dies ? "ready2" : "ready1"),
                                     {{"KV_LOCK_PATH", files.target}, {"KV_STOP", files / "stop"}});
    const std::string holderLine = kvtest::readFile(files.lockFile);
    EXPECT_TRUE(isOwnerLine(holderLine)) << holderLine;
    EXPECT_FALSE(lock.lock(y(files.target)));
    EXPECT_EQ(lock.getError(), FileLockInUse);
    EXPECT_EQ(kvtest::readFile(files.lockFile), holderLine); // left alone
    if (dies) { // its lock file stays, but blocks no one
      kvfiles::killChild(*child);
    } else {
      kvtest::touchFile(files / "stop");
      EXPECT_EQ(kvtest::waitChild(*child), 0); // it unlocked and its lock file is gone
      ::unlink((files / "stop").c_str());
    }
    EXPECT_TRUE(lock.relock());
    EXPECT_TRUE(isOwnerLine(kvtest::readFile(files.lockFile)));
    lock.unlock();
    EXPECT_FALSE(kvtest::fileExists(files.lockFile));
  }
}

TEST(FileLockTest, StaleLockFileIsTakenAndRewritten) {
  LockFiles files;
  kvtest::writeFile(files.lockFile,
                    "someone@elsewhere\r\nand a lot more text than an owner line\r\n");
  FileLock lock, other;
  ASSERT_TRUE(lock.lock(y(files.target)));
  EXPECT_TRUE(isOwnerLine(kvtest::readFile(files.lockFile))) << kvtest::readFile(files.lockFile);
  // A second lock in the same process is another holder, and is refused.
  EXPECT_FALSE(other.lock(y(files.target)));
  // Relocking keeps the lock; locking another path gives up the first.
  EXPECT_TRUE(lock.relock());
  EXPECT_TRUE(lock.lock(y(files / "other.ini")));
  EXPECT_TRUE(other.lock(y(files.target)));
  // A holder whose lock file was deleted and made anew by another holder
  // leaves the new one alone when it lets go.
  ::unlink(files.lockFile.c_str());
  FileLock successor;
  ASSERT_TRUE(successor.lock(y(files.target)));
  other.unlock();
  EXPECT_TRUE(kvtest::fileExists(files.lockFile));
}

TEST(FileLockTest, FailuresAreClassified) {
  LockFiles files;
  FileLock lock;
  EXPECT_FALSE(lock.relock()); // nothing named yet
  EXPECT_EQ(lock.getError(), FileLockFailed);
  // A directory, a FIFO or a symbolic link under the lock file's name is
  // never opened as the lock file, and never written through.
  ASSERT_EQ(::mkdir((files / "d.lck").c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo((files / "f.lck").c_str(), 0600), 0);
  kvtest::writeFile(files / "victim", "precious");
  ASSERT_EQ(::symlink((files / "victim").c_str(), (files / "s.lck").c_str()), 0);
  for (const char *name : {"no/such/dir/x", "d", "f", "s"}) {
    EXPECT_FALSE(lock.lock(y(files / name))) << name;
    EXPECT_EQ(lock.getError(), FileLockFailed) << name;
  }
  EXPECT_EQ(kvtest::readFile(files / "victim"), "precious");
  // Where nobody may create files, even the superuser.
  if (::access("/sys", F_OK) == 0) {
    EXPECT_FALSE(lock.lock(YString("/sys/kvsupport-test")));
    EXPECT_EQ(lock.getError(), FileLockAccessDenied);
  }
  EXPECT_TRUE(lock.lock(y(files.target)));
  EXPECT_EQ(lock.getError(), FileLockNone);
}

// Holders delete the lock file as they let go while others are opening it:
// whoever opened the old file must notice and never hold a second lock.
TEST(FileLockTest, NeverTwoHoldersUnderChurn) {
  LockFiles files;
  std::atomic<int> holders{0}, taken{0};
  std::atomic<bool> twice{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      FileLock lock;
      for (int i = 0; i < 400; ++i) {
        if (!lock.lock(y(files.target)))
          continue;
        if (++holders > 1)
          twice = true;
        ++taken;
        std::this_thread::yield();
        --holders;
        lock.unlock();
      }
    });
  for (std::thread &thread : threads)
    thread.join();
  EXPECT_FALSE(twice.load());
  EXPECT_GT(taken.load(), 0);
  EXPECT_FALSE(kvtest::fileExists(files.lockFile));
}

TEST(FileLockTest, MovingHandsOverTheOneLockFile) {
  LockFiles files;
  FileLock first;
  ASSERT_TRUE(first.lock(y(files.target)));
  FileLock second(std::move(first));
  first.unlock(); // holds nothing: must not touch the lock file
  EXPECT_TRUE(second.locked());
  EXPECT_TRUE(kvtest::fileExists(files.lockFile));
  {
    FileLock third;
    ASSERT_TRUE(third.lock(y(files / "b")));
    third = std::move(second); // releases b's lock, takes over the target's
    EXPECT_FALSE(kvtest::fileExists(files / "b.lck"));
    EXPECT_TRUE(kvtest::fileExists(files.lockFile));
  }
  EXPECT_FALSE(kvtest::fileExists(files.lockFile)); // deleted once, by its last owner
}

} // namespace
