// The output forms and exit codes of "kvtool symbols" and "kvtool config".
#include "common/KvtoolRun.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using kvtest::arg;
using kvtest::KvtoolRun;

using kvtest::runKvtool;

TEST(SettingsToolTest, SymbolsAndConfig) {
  const KvtoolRun portable = runKvtool({"symbols", "--portable"});
  if (portable.exitCode == -1)
    GTEST_SKIP() << "kvtool not built beside the tests";
  EXPECT_EQ(portable.out.rfind("DOCSPATH\t", 0), 0u);
  EXPECT_EQ(std::count(portable.out.begin(), portable.out.end(), '\n'), 7);
  EXPECT_EQ(runKvtool({"symbols", "values", "build", "MAX_DIG_BUS_SIZE"}).out,
            "build\t13\nMAX_DIG_BUS_SIZE\t48\n");
  EXPECT_EQ(runKvtool({"symbols", "values", "BUILD", "nosuch"}).exitCode, 1);
  EXPECT_EQ(runKvtool({"symbols", "translate", "%NOSUCH%//x"}).out, "%NOSUCH%//x\t%NOSUCH%/x\n");
  EXPECT_EQ(runKvtool({"symbols", "--bogus"}).exitCode, 2);

  const std::string dir = kvtest::makeTempDir("kvconfigtool");
  const QString one = arg("PATH;" + dir + "/one.ini");
  const QString reg = QStringLiteral("REG;a\\..\\b");
  const KvtoolRun levels =
      runKvtool({"config", "--location", "1", one, "--location", "2", reg, "--level", "1"});
  EXPECT_EQ(levels.exitCode, 0);
  EXPECT_NE(levels.out.find("\n1\t" + one.toStdString() + "\t" + dir + "/one.ini\tmissing\n"),
            std::string::npos)
      << levels.out;
  EXPECT_NE(levels.out.find("\n2\tREG;a\\..\\b\t\tunusable\n"), std::string::npos);
  EXPECT_NE(levels.out.find("\ncurrent\t1\n"), std::string::npos);

  const QStringList atOne = {"config", "--location", "1", one, "--level", "1"};
  EXPECT_EQ(runKvtool(atOne + QStringList{"set", "Options", "A", "1"}).exitCode, 0);
  EXPECT_EQ(runKvtool(atOne + QStringList{"set", "Options", "b", "x", "--default", "X"}).exitCode,
            0);
  EXPECT_EQ(runKvtool(atOne + QStringList{"get", "--by-section", "Options", "a"}).out, "1\n");
  EXPECT_EQ(runKvtool(atOne + QStringList{"keys", "Options"}).out, "A\nb\n");
  EXPECT_EQ(runKvtool(atOne + QStringList{"get", "Options", "none"}).exitCode, 1);
  EXPECT_EQ(
      runKvtool({"config", "--location", "1", reg, "--level", "1", "set", "O", "k", "v"}).exitCode,
      1);
  EXPECT_EQ(runKvtool({"config", "--level", "5"}).exitCode, 2);
  kvtest::removeTree(dir);
}

} // namespace
