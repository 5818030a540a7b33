// Shared by the file tests: scratch directories and child processes.
#pragma once

#include "kvsupport/files/FileLock.h"
#include "kvsupport/strings/YString.h"

#include "common/ChildProcess.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kvfiles {

inline YString y(const std::string &text) { return YString(text.c_str()); }

// A fresh directory, removed with everything in it.
struct TempDir {
  std::string path = kvtest::makeTempDir("kvfiles");
  ~TempDir() { kvtest::removeTree(path); }
  std::string operator/(const std::string &name) const { return path + "/" + name; }
  QStringList entries() const {
    return QDir(QString::fromStdString(path))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  }
};

// The permission bits of what `path` leads to; 0 when it is not there.
inline unsigned modeOf(const std::string &path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

inline bool isLink(const std::string &path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// The running test's full name: the filter its children run under.
inline std::string self() {
  const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string(info->test_suite_name()) + "." + info->name();
}

// Starts the running test again as a child in `role`, with KV_READY set to
// `ready`, and returns once the child has created that file.
inline std::unique_ptr<QProcess> startReady(const std::string &role, const std::string &ready,
                                            kvtest::EnvList env = {}) {
  env.push_back({"KV_READY", ready});
  auto child = kvtest::startChild(self(), role, env);
  EXPECT_TRUE(kvtest::waitUntil([&] { return kvtest::fileExists(ready); })) << role;
  return child;
}

inline void killChild(QProcess &child) {
  child.kill();
  child.waitForFinished();
}

// Child side: takes the lock of KV_LOCK_PATH, says so in KV_READY, and holds
// it until KV_STOP appears (unlocking on the way out) or it is killed.
inline int holdLockInChild() {
  const std::string path = kvtest::env("KV_LOCK_PATH");
  FileLock lock;
  if (!lock.lock(y(path)))
    return 2;
  kvtest::touchFile(kvtest::env("KV_READY"));
  if (!kvtest::waitUntil([] { return kvtest::fileExists(kvtest::env("KV_STOP")); }, 60000))
    return 3;
  lock.unlock();
  return kvtest::fileExists(path + ".lck") ? 4 : 0;
}

} // namespace kvfiles
