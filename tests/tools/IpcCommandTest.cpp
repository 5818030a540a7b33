// kvtool ipc, run as the user would: a serving kvtool in one process, senders
// in others.
#include "common/EndpointDir.h"
#include "common/KvtoolRun.h"
#include "common/ProcessSync.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(IpcCommandTest, ServeSendTestCallListAndCleanUpOnTerm) {
  const QString kvtool =
      QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/kvtool/kvtool");
  if (!QFileInfo(kvtool).isExecutable())
    GTEST_SKIP() << "kvtool not built beside the tests";
  kvtest::EndpointDir dir;
  const std::string name = "serve" + std::to_string(QCoreApplication::applicationPid());
  QProcess server;
  server.start(kvtool, {"ipc", "serve", kvtest::arg(name), "--count", "100"});
  ASSERT_TRUE(server.waitForReadyRead(30000));
  const std::string first = server.readLine().toStdString();
  ASSERT_EQ(first.rfind("endpoint\t" + name + "\t", 0), 0u) << first;
  std::string handle = first.substr(first.rfind('\t') + 1);
  handle.pop_back(); // the newline

  struct Case {
    QStringList args;
    int exitCode;
    std::string out;   // kvtool's own answer
    std::string event; // the server's line for it ("" for none)
  };
  const QString q = kvtest::arg(name);
  const Case cases[] = {
      {{"send", q, "hello there"}, 0, "sent\t12\n", "command\t0\thello there"},
      {{"send", q, "run", "--mode", "3"}, 0, "sent\t4\n", "command\t3\trun"},
      {{"send", q, "x", "--mode", "5"}, 1, "", ""},
      {{"send", q, "abcd", "--bytes"}, 0, "sent\t4\n", "bytes\t4"},
      {{"send", q, "abc", "--object", "7"}, 0, "sent\t27\n", "object\t7\tabc"},
      {{"send", q, "q", "--call", "4"}, 0, "answer\techo q\n", "object\t4\tq"},
      {{"test", q, "nothing"}, 0, "receiver\tnothing\tno\n", ""},
      {{"send", "no-such-" + q, "x"}, 1, "", ""},
  };
  std::string events;
  for (const Case &c : cases) {
    const kvtest::KvtoolRun run = kvtest::runKvtool(QStringList{"ipc"} + c.args);
    EXPECT_EQ(std::to_string(run.exitCode) + " " + run.out,
              std::to_string(c.exitCode) + " " + c.out)
        << c.args.join(' ').toStdString() << ": " << run.err;
    ASSERT_TRUE(kvtest::waitUntil(
        [&] {
          server.waitForReadyRead(50);
          events += server.readAll().toStdString();
          return events.find(c.event + "\n") != std::string::npos;
        },
        20000))
        << c.event << " in\n"
        << events;
  }
  EXPECT_NE(events.find("exited\n"), std::string::npos) << events;
  EXPECT_EQ(kvtest::runKvtool({"ipc", "list"}).out, handle + "\t" + name + "\nremoved\t0\n");
  // SIGTERM: the server's files go with it.
  server.terminate();
  ASSERT_TRUE(server.waitForFinished(30000));
  for (const char *suffix : {"", ".title", ".lck"})
    EXPECT_FALSE(kvtest::fileExists(dir.dir() + "/" + handle + suffix)) << suffix;
}

} // namespace
