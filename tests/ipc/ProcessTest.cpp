#include "kvsupport/ipc/Process.h"

#include "kvsupport/streams/kvstrstream.h"

#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

// A directory holding a file that is not executable and one that is, but is
// no valid program (no "#!", no ELF header); "@plain" and "@garbage" in a
// command line stand for them. While it lives, descriptor 57 is open without
// close-on-exec: no child may inherit it.
struct Programs {
  Programs() {
    for (const char *name : {"plain", "garbage"})
      kvtest::writeFile(dir + "/" + name, "\x01\x02 not a program\n");
    ::chmod((dir + "/garbage").c_str(), 0755);
    ::chmod((dir + "/plain").c_str(), 0644);
    ::dup2(fd, 57);
  }
  ~Programs() {
    kvtest::removeTree(dir);
    ::close(57);
    ::close(fd);
  }
  std::string expand(const std::string &line) const {
    return line[0] == '@' ? dir + "/" + line.substr(1) : line;
  }
  std::string dir = kvtest::makeTempDir("kvspawn");
  int fd = ::open("/dev/null", O_RDONLY); // deliberately without O_CLOEXEC
};

enum Which { Qt, Old, Both };

// Exits 4 when the shell leads its session, 5 when it does not.
const char *const kSessionLeader =
    "sh -c \"[ $(cut -d' ' -f6 /proc/self/stat) = $$ ] && exit 4; exit 5\"";

TEST(ProcessTest, FlagsAndResults) {
  Programs programs;
  const struct {
    Which which;
    std::string commandLine;
    uint32_t flags;
    SSPError result;
    unsigned exitCode;
    int pid; // 1: a process id is reported
  } cases[] = {
      {Both, "no-such-program-kv", SpawnWait, SSP_NOT_FOUND, 0, -1},
      {Both, "/nonexistent/dir/prog", 0, SSP_NOT_FOUND, 0, -1},
      {Both, "", SpawnWait, SSP_NOT_FOUND, 0, -1},
      {Both, "@plain", SpawnWait, SSP_NOT_EXECUTABLE, 0, -1},
      {Old, "@garbage", SpawnWait, SSP_BAD_FORMAT, 0, -1},
      {Qt, "@garbage", SpawnWait, SSP_START_FAILED, 0, -1},
      {Qt, "true", SpawnWait | SpawnNewConsole, SSP_UNSUPPORTED, 0, -1},
      {Old, "sh -c \"exit 3\"", SpawnWait | SpawnNewConsole, SSP_OK, 3, -1},
      // A session of its own (4) unless it shares the caller's console (5).
      {Old, kSessionLeader, SpawnWait, SSP_OK, 4, -1},
      {Old, kSessionLeader, SpawnWait | SpawnNewConsole, SSP_OK, 5, -1},
      {Both, "sh -c \"exit 3\"", SpawnWait | SpawnHidden | SpawnMinimized, SSP_OK, 3, -1},
      {Both, "sh -c \"kill -9 $$\"", SpawnWait, SSP_OK, 137, -1},
      {Both, "\"/bin/sh\" -c \"test -e /proc/self/fd/57 && exit 1; exit 0\"", SpawnWait, SSP_OK, 0,
       -1},
      {Both, "sleep 0.2", 0, SSP_OK, 0, 1},
  };
  for (const auto &c : cases) {
    for (Which which : {Qt, Old}) {
      if (c.which != Both && c.which != which)
        continue;
      const std::string line = c.commandLine.empty() ? "" : programs.expand(c.commandLine);
      unsigned exitCode = 99;
      int pid = 99;
      SSPError result =
          which == Qt
              ? sp_SpawnApplication(line.c_str(), c.flags, YRef<kvstream>(), &exitCode, &pid)
              : sp_OldSpawnApplication(line.c_str(), c.flags, &exitCode, &pid);
      EXPECT_EQ(std::make_tuple(result, exitCode, pid > 0 ? 1 : pid),
                std::make_tuple(c.result, c.exitCode, c.pid))
          << (which == Qt ? "QProcess: " : "posix_spawn: ") << line;
    }
  }
  sp_ReapSpawnedChildren(true);
}

// Everything the child wrote reaches the stream before a waited call
// returns, even a large amount written just before the end. A child that
// writes more than a pipe holds, to a channel nobody forwards (or forwards
// to no stream), must still run to its end.
TEST(ProcessTest, OutputIsForwardedWholeAndNeverBlocksTheChild) {
  const char *writer = "sh -c \"head -c 1048576 /dev/zero; head -c 1048576 /dev/zero >&2; "
                       "echo err >&2; exit 5\"";
  const uint32_t forward = SpawnWait | SpawnForwardStdout | SpawnForwardStderr;
  for (auto c : {std::pair<uint32_t, bool>{forward, true},
                 {forward, false},
                 {SpawnWait, true},
                 {SpawnWait | uint32_t(SpawnDiscardOutput), true}}) {
    auto *stream = new kvstrstream;
    YRef<kvstream> output(stream);
    unsigned exitCode = 99;
    ASSERT_EQ(sp_SpawnApplication(writer, c.first, c.second ? output : YRef<kvstream>(), &exitCode,
                                  nullptr),
              SSP_OK);
    EXPECT_EQ(exitCode, 5u);
    const std::string text(stream->getString(), static_cast<size_t>(stream->getNumBytes()));
    EXPECT_EQ(text, c.first == forward && c.second ? std::string(2 << 20, '\0') + "err\n" : "")
        << c.first << " " << c.second;
  }
}

// The watcher of a child not waited for holds the stream until the child
// ends, then frees itself from the event loop.
TEST(ProcessTest, UnwaitedQtChildOutlivesTheCall) {
  YRef<kvstream> output(new kvstrstream);
  int pid = -1;
  ASSERT_EQ(sp_SpawnApplication("sh -c \"echo hi\"", SpawnForwardStdout, output, nullptr, &pid),
            SSP_OK);
  EXPECT_GT(pid, 0);
  EXPECT_EQ(output.getRefCount(), 2);
  EXPECT_TRUE(kvtest::waitUntil([&] {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return output.getRefCount() == 1;
  }));
}

bool isZombieOrGone(int pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly))
    return true;
  const QByteArray line = stat.readAll();
  int close = line.lastIndexOf(')');
  return close > 0 && line.size() > close + 2 && line[close + 2] == 'Z';
}

// Ended children are reaped by their id by the next spawn at the latest,
// and not by anybody's waitpid(-1): another child of ours keeps its status.
TEST(ProcessTest, UnwaitedChildrenAreReapedByTheNextSpawn) {
  pid_t bystander = ::fork();
  if (bystander == 0)
    ::_exit(7);
  std::vector<int> pids;
  for (int i = 0; i < 20; ++i) {
    int pid = -1;
    ASSERT_EQ(sp_OldSpawnApplication("true", 0, nullptr, &pid), SSP_OK);
    pids.push_back(pid);
  }
  for (int pid : pids)
    ASSERT_TRUE(kvtest::waitUntil([&] { return isZombieOrGone(pid); })) << pid;
  unsigned code = 9;
  ASSERT_EQ(sp_OldSpawnApplication("true", SpawnWait, &code, nullptr), SSP_OK);
  for (int pid : pids)
    EXPECT_NE(::kill(pid, 0), 0) << pid << " still a zombie";
  int status = 0;
  ASSERT_EQ(::waitpid(bystander, &status, 0), bystander);
  EXPECT_EQ(WEXITSTATUS(status), 7);
}

// KvProcess takes its program from the first argument; a killed child
// reports its signal; a running one outlives its KvProcess.
TEST(ProcessTest, KvProcessArgumentsKillAndDestructionWhileRunning) {
  Programs programs;
  KvProcess process(nullptr, false, false);
  EXPECT_FALSE(process.start());
  for (const char *arg : {"sh", "-c", "test -e /proc/self/fd/57 && exit 1; exit 6"})
    process.addArgument(arg);
  ASSERT_TRUE(process.start());
  EXPECT_FALSE(process.start()) << "started twice";
  process.waitProcess();
  EXPECT_FALSE(process.isRunning());
  EXPECT_EQ(process.exitCode(), 6);

  KvProcess killed("sleep 30", false, false);
  ASSERT_TRUE(killed.start());
  EXPECT_EQ(killed.exitCode(), 0); // not ended yet
  killed.kill();
  killed.waitProcess();
  EXPECT_EQ(killed.exitCode(), 137);

  auto *left = new KvProcess("sleep 0.1", false, false);
  ASSERT_TRUE(left->start());
  delete left;
  // Its helper lives on and deletes itself when the child ends (the leak
  // check at exit would catch one left behind).
  QEventLoop loop;
  QTimer::singleShot(600, &loop, &QEventLoop::quit);
  loop.exec();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace
