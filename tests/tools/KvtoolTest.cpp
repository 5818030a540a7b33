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

// Every command's help exits 0 with its usage line; unknown options exit 2;
// after "--" option words are operands.
TEST(KvtoolTest, EveryCommandHasHelpAndRefusesUnknownOptions) {
  const kvtest::KvtoolRun overview = runKvtool({"--help"});
  if (overview.exitCode == -1)
    GTEST_SKIP() << "kvtool not built beside the tests";
  // The command names: lines of two blanks, a name, a blank.
  std::vector<std::string> names;
  std::istringstream lines(overview.out);
  for (std::string line; std::getline(lines, line);)
    if (line.size() > 2 && line.compare(0, 2, "  ") == 0 && line[2] != ' ')
      names.push_back(line.substr(2, line.find(' ', 2) - 2));
  ASSERT_GE(names.size(), 9u) << overview.out;
  for (const std::string &name : names) {
    const kvtest::KvtoolRun help = runKvtool({arg(name), name.size() % 2 ? "-h" : "--help"});
    EXPECT_TRUE(help.exitCode == 0 && help.out.rfind("usage: kvtool " + name + " ", 0) == 0)
        << name << ": " << help.out;
    EXPECT_EQ(runKvtool({arg(name), "--no-such-option", "x"}).exitCode, 2) << name;
  }
  EXPECT_EQ(runKvtool({"eng", "--", "--help", "4k7"}).out,
            "0\t0\t0\t\"0         \"\n4700.0000000000009\t3\t4.7k\t\"4.7k      \"\n");
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
  EXPECT_EQ(missing.err, "kvtool md5: The file " + dir + "/none does not exist\n");
  EXPECT_TRUE(missing.exitCode == 1 && missing.out.find("  " + dir + "/plain\n") == 32u)
      << "the rest go on";
  kvtest::removeTree(dir);
}

} // namespace
