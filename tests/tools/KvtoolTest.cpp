// kvtool commands run as the user would: every command's own help, refusing
// options it does not know, and what commands print.
#include "common/KvtoolRun.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using kvtest::arg;
using kvtest::runKvtool;

TEST(KvtoolTest, EveryCommandHasHelpAndRefusesUnknownOptions) {
  const kvtest::KvtoolRun overview = runKvtool({"--help"});
  if (overview.exitCode == -1)
    GTEST_SKIP() << "kvtool not built beside the tests";
  ASSERT_EQ(overview.exitCode, 0);
  // The command names: lines of two blanks, a name, a blank.
  std::vector<std::string> names;
  std::istringstream lines(overview.out);
  for (std::string line; std::getline(lines, line);)
    if (line.size() > 2 && line.compare(0, 2, "  ") == 0 && line[2] != ' ')
      names.push_back(line.substr(2, line.find(' ', 2) - 2));
  ASSERT_GE(names.size(), 9u) << overview.out;
  for (const std::string &name : names) {
    for (const char *flag : {"--help", "-h"}) {
      const kvtest::KvtoolRun help = runKvtool({arg(name), flag});
      EXPECT_EQ(help.exitCode, 0) << name << " " << flag;
      EXPECT_EQ(help.out.rfind("usage: kvtool " + name + " ", 0), 0u) << name << ": " << help.out;
      EXPECT_EQ(help.out.find('\n'), help.out.rfind('\n', help.out.size() - 2)) << "two lines";
      EXPECT_EQ(help.err, "") << name;
    }
    const kvtest::KvtoolRun bad = runKvtool({arg(name), "--no-such-option", "x"});
    EXPECT_EQ(bad.exitCode, 2) << name;
    EXPECT_NE(bad.err.find("--no-such-option"), std::string::npos) << name << ": " << bad.err;
  }
}

// "--" makes option words operands; spawn reports result, exit code and
// output of real child programs.
TEST(KvtoolTest, CommandsPrintTheirResults) {
  const std::vector<std::string> cases[][2] = {
      {{"eng", "--", "--help", "4k7"},
       {"0\t0\t0\t\"0         \"\n4700.0000000000009\t3\t4.7k\t\"4.7k      \"\n"}},
      {{"switches", "--char", "-", "o:2:stop", "v", "q:1", "--", "a", "-o", "x", "-v", "-V", "b",
        "-q"},
       {"o\tfound\tx\nv\tfound\nq\tfound\nrest\ta\t-V\tb\n"}},
      {{"spawn", "--wait", "--stdout", "sh", "-c", "\"echo out; echo err >&2; exit 3\""},
       {"out\nresult\tSSP_OK\nexit-code\t3\nprocess-id\t-1\n"}},
      {{"spawn", "--wait", "--stdout", "--stderr", "sh", "-c", "\"echo err >&2\""},
       {"err\nresult\tSSP_OK\nexit-code\t0\nprocess-id\t-1\n"}},
      {{"spawn", "--old", "--wait", "sh", "-c", "\"kill -9 $$\""},
       {"result\tSSP_OK\nexit-code\t137\nprocess-id\t-1\n"}},
      {{"spawn", "--wait", "no-such-program-kv"},
       {"result\tSSP_NOT_FOUND\nexit-code\t0\nprocess-id\t-1\n"}},
      {{"spawn", "--old", "/dev/null"},
       {"result\tSSP_NOT_EXECUTABLE\nexit-code\t0\nprocess-id\t-1\n"}},
  };
  for (const auto &c : cases) {
    QStringList args;
    for (const std::string &word : c[0])
      args << arg(word);
    const kvtest::KvtoolRun run = runKvtool(args);
    if (run.exitCode == -1)
      GTEST_SKIP() << "kvtool not built beside the tests";
    EXPECT_EQ(run.exitCode, 0) << c[0].back() << ": " << run.err;
    EXPECT_EQ(run.out, c[1][0]) << c[0].back();
  }
}

// Awkward names come out escaped as md5sum writes them, so md5sum checks the lines.
TEST(KvtoolTest, Md5LinesPassMd5sumCheck) {
  if (QStandardPaths::findExecutable(QStringLiteral("md5sum")).isEmpty())
    GTEST_SKIP() << "no md5sum";
  const std::string dir = kvtest::makeTempDir("kvtoolmd5");
  QStringList arguments{"md5"};
  for (const char *name : {"plain", "back\\slash", "line\nfeed", "cr\rname"}) {
    kvtest::writeFile(dir + "/" + name, name);
    arguments << arg(dir + "/" + name);
  }
  const kvtest::KvtoolRun run = runKvtool(arguments);
  if (run.exitCode == -1)
    GTEST_SKIP() << "kvtool not built beside the tests";
  EXPECT_EQ(run.exitCode, 0) << run.err;
  kvtest::writeFile(dir + "/sums", run.out);
  QProcess check;
  check.start("md5sum", {"--check", "--strict", arg(dir + "/sums")});
  ASSERT_TRUE(check.waitForFinished(30000));
  EXPECT_EQ(check.exitCode(), 0) << run.out << check.readAllStandardError().toStdString();
  const kvtest::KvtoolRun missing = runKvtool({"md5", arg(dir + "/none"), arg(dir + "/plain")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err, "kvtool md5: The file " + dir + "/none does not exist\n");
  EXPECT_EQ(missing.out.find("  " + dir + "/plain\n"), 32u) << "the rest go on";
  kvtest::removeTree(dir);
}

} // namespace
