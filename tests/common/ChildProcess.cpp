#include "common/ChildProcess.h"

#include "common/ProcessSync.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <atomic>

namespace kvtest {

std::string childRole() { return env("KV_TEST_CHILD"); }

std::string env(const char *name) { return qEnvironmentVariable(name).toStdString(); }

std::unique_ptr<QProcess> startChild(const std::string &gtestFilter, const std::string &role,
                                     const EnvList &extra) {
  auto child = std::make_unique<QProcess>();
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("KV_TEST_CHILD"), QString::fromStdString(role));
  for (const auto &[name, value] : extra)
    environment.insert(QString::fromStdString(name), QString::fromStdString(value));
  child->setProcessEnvironment(environment);
  child->setProcessChannelMode(QProcess::ForwardedChannels);
  child->start(QCoreApplication::applicationFilePath(),
               {QStringLiteral("--gtest_filter=") + QString::fromStdString(gtestFilter)});
  child->waitForStarted();
  return child;
}

int waitChild(QProcess &child, int timeoutMs) {
  if (!child.waitForFinished(timeoutMs)) {
    child.kill();
    child.waitForFinished();
    return -1;
  }
  return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

int runChild(const std::string &gtestFilter, const std::string &role, const EnvList &env,
             int timeoutMs) {
  auto child = startChild(gtestFilter, role, env);
  return waitChild(*child, timeoutMs);
}

std::string currentTest() {
  const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string(info->test_suite_name()) + "." + info->name();
}

std::unique_ptr<QProcess> startReady(const std::string &role, const std::string &ready,
                                     EnvList env) {
  env.push_back({"KV_READY", ready});
  auto child = startChild(currentTest(), role, env);
  EXPECT_TRUE(waitUntil([&] { return fileExists(ready); })) << role;
  return child;
}

std::string uniqueName(const std::string &prefix) {
  static std::atomic<int> counter{0};
  return prefix + std::to_string(QCoreApplication::applicationPid()) + "_" +
         std::to_string(counter++);
}

} // namespace kvtest
