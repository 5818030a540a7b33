// The output forms and exit codes of "kvtool ini", which scripts rely on.
#include "common/KvtoolRun.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

namespace {

using kvtest::arg;
using kvtest::KvtoolRun;

using kvtest::runKvtool;

TEST(ProfileToolTest, IniReadsAndChangesFiles) {
  const std::string dir = kvtest::makeTempDir("kvinitool");
  const QString file = arg(dir + "/t.ini");
  if (runKvtool({"ini", "get", file, "S", "k"}).exitCode == -1)
    GTEST_SKIP() << "kvtool not built beside the tests";
  struct Step {
    QStringList args;
    int exitCode;
    std::string out;
  } const steps[] = {
      {{"ini", "get", file, "S", "k"}, 1, ""},
      {{"ini", "set", file, "S", "b", "2"}, 0, ""},
      {{"ini", "set", file, "S", "A", "1"}, 0, ""},
      {{"ini", "set", file, "S", "a", "one"}, 0, ""},
      {{"ini", "set", file, "T", "x", "-v"}, 2, ""},
      {{"ini", "set", file, "T", "--", "x", "-v"}, 0, ""},
      {{"ini", "get", file, "s", "A"}, 0, "one\n"},
      {{"ini", "list", file}, 0, "T\nS\n"},
      {{"ini", "list", file, "S"}, 0, "A=one\nb=2\n"},
      {{"ini", "list", file, "U"}, 1, ""},
      {{"ini", "render", file}, 0, "[T]\nx=-v\n\n[S]\nb=2\nA=one\n"},
      {{"ini", "delete", file, "S", "b"}, 0, ""},
      {{"ini", "delete", file, "S"}, 0, "1\n"},
      {{"ini", "delete", file, "S"}, 0, "0\n"},
      {{"ini", "set", file, "S", "k=", "v"}, 1, ""},
      {{"ini", "--bogus", "get", file, "S", "k"}, 2, ""},
  };
  for (const Step &step : steps) {
    SCOPED_TRACE(step.args.join(' ').toStdString());
    const KvtoolRun run = runKvtool(step.args);
    EXPECT_EQ(run.exitCode, step.exitCode) << run.err;
    EXPECT_EQ(run.out, step.out);
  }
  EXPECT_EQ(kvtest::readFile(file), "[T]\nx=-v\n");

  ::chmod(file.toLocal8Bit().constData(), 0444);
  const KvtoolRun refused = runKvtool({"ini", "set", file, "T", "x", "y"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.err, "kvtool ini: " + file.toStdString() + ": Permission denied\n");
  const KvtoolRun info = runKvtool({"ini", "info", file});
  EXPECT_EQ(info.out.rfind("path\t", 0), 0u);
  EXPECT_NE(info.out.find("\nmutex\tkv_mutex_inifile_"), std::string::npos);
  kvtest::removeTree(dir);
}

} // namespace
