#include "common/ProcessSync.h"

#include "common/ChildProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <chrono>

namespace kvtest {

bool waitUntil(const std::function<bool()> &condition, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    QThread::msleep(2);
  }
  return true;
}

bool fileExists(const std::string &path) {
  return QFileInfo::exists(QString::fromStdString(path));
}

void touchFile(const std::string &path) {
  QFile file(QString::fromStdString(path));
  file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

std::string makeTempDir(const std::string &prefix) {
  const std::string path = QDir::tempPath().toStdString() + "/" + uniqueName(prefix);
  QDir().mkpath(QString::fromStdString(path));
  return path;
}

void removeTree(const std::string &path) { QDir(QString::fromStdString(path)).removeRecursively(); }

} // namespace kvtest
