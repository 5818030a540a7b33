// The output forms and exit codes of "kvtool options", "option", "logical",
// "libs" and "ext", run in order against one configuration file, and of
// "kvtool symbols" and "config".
#include "common/KvtoolRun.h"
#include "common/ProcessSync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TEST(OptionToolsTest, EachFormInTurn) {
  if (kvtest::runKvtool({"--help"}).exitCode == -1)
    GTEST_SKIP() << "kvtool not built beside the tests";
  const std::string dir = kvtest::makeTempDir("kvoptiontools");
  const std::string location = "PATH;" + dir + "/base.ini";
  const std::string lib = dir + "/lib";
  const struct {
    std::vector<std::string> args; // after the command name and the location
    int exitCode;
    std::string out; // "*": not checked
  } steps[] = {
      {{"option", "set", "MRUSize", "10k"}, 0, ""},
      {{"option", "get", "mrusize"}, 0, "10000\n"},
      {{"option", "set", "MRUSize", "many"}, 2, ""},
      {{"option", "set", "UseLocalHelp", "TRUE"}, 0, ""},
      {{"option", "set", "UseLocalHelp", "yes"}, 2, ""},
      {{"option", "set", "Note", "a\tb\\c"}, 0, ""},
      {{"option", "get", "Note"}, 0, "a\\tb\\\\c\n"},
      {{"option", "get", "NoSuchOption"}, 1, ""},
      {{"option", "delete", "Note"}, 0, ""},
      {{"option", "get", "Note"}, 1, ""},
      {{"option", "frobnicate"}, 2, ""},
      {{"config", "set", "Locations", "LIB", lib}, 0, ""},
      {{"logical", "locations"}, 0, "LIB\t" + lib + "\t" + lib + "\n"},
      {{"logical", "expand", "%LIB%/m.lib", "%LIB%/x", "/plain"},
       0,
       "%LIB%/m.lib\t" + lib + "/m.lib\t1\n%LIB%/x\t" + lib + "/x\t1\n/plain\t/plain\t0\n"},
      {{"logical", "expand", "--system", "%LIB%/m.lib"}, 0, "%LIB%/m.lib\t%LIB%/m.lib\t0\n"},
      {{"logical", "make", "--no-system", lib + "/a", "/elsewhere"},
       0,
       lib + "/a\t%LIB%/a\t1\n/elsewhere\t/elsewhere\t0\n"},
      {{"logical", "make", "--no-locations", "--no-system", lib + "/a"},
       0,
       lib + "/a\t" + lib + "/a\t0\n"},
      {{"logical"}, 2, ""},
      {{"libs", "add", "Models", lib + "/a.lib", "/b.lib", "/b.lib"}, 0, "3\n"},
      {{"libs", "add", "Models", "/b.lib"}, 1, "0\n"},
      {{"libs", "list", "--raw", "Models"}, 0, "%LIB%/a.lib\n/b.lib\n/b.lib\n"},
      {{"libs", "list", "Models"}, 0, lib + "/a.lib\n/b.lib\n/b.lib\n"},
      {{"libs", "add", "--literal", "Models", "%LIB%/a.lib"}, 1, "0\n"}, // listed as such
      {{"libs", "edit", "Models", lib + "/a.lib", "/c.lib"}, 0, ""},
      {{"libs", "edit", "Models", "/none.lib", "/c.lib"}, 1, ""},
      {{"libs", "remove", "Models", "/b.lib"}, 0, "2\n"},
      {{"libs", "list", "--raw", "Models"}, 0, "/c.lib\n"},
      {{"ext", "Schematic&Symbol"}, 0, "kvsch;kvcmp;wxsch;kvslb;slb\n"},
      {{"ext", "Model", "m.x", "m.lib"}, 0, "m.lb\nm.lib\n"},
      {{"ext", "Nothing"}, 1, ""},
      {{"ext"}, 2, ""}};
  for (const auto &step : steps) {
    QStringList args = {kvtest::arg(step.args[0]), "--location", "0", kvtest::arg(location)};
    for (auto arg = step.args.begin() + 1; arg != step.args.end(); ++arg)
      args << kvtest::arg(*arg);
    const kvtest::KvtoolRun run = kvtest::runKvtool(args);
    std::string shown;
    for (const std::string &arg : step.args)
      shown += arg + " ";
    EXPECT_EQ(run.exitCode, step.exitCode) << shown << run.err;
    if (step.out != "*" && step.exitCode != 2) {
      EXPECT_EQ(run.out, step.out) << shown;
    }
  }

  const kvtest::KvtoolRun options =
      kvtest::runKvtool({"options", "--location", "0", kvtest::arg(location)});
  EXPECT_NE(options.out.find("MRUSize\treal\t10000\t0\n"), std::string::npos) << options.out;
  EXPECT_NE(options.out.find("UseLocalHelp\tbool\tTRUE\t0\n"), std::string::npos);
  EXPECT_NE(options.out.find("LegacyVersion\treal\t99999\tdefault\n"), std::string::npos);
  EXPECT_LT(options.out.find("BiasAnnoPrecision"), options.out.find("MRUSize"));
  const kvtest::KvtoolRun defaults = kvtest::runKvtool({"options", "--defaults"});
  EXPECT_NE(defaults.out.find("MRUSize,real,6,Support\\Options,118\n"), std::string::npos);
  kvtest::removeTree(dir);
}

TEST(SettingsToolTest, SymbolsAndConfig) {
  const kvtest::KvtoolRun portable = kvtest::runKvtool({"symbols", "--portable"});
  if (portable.exitCode == -1)
    GTEST_SKIP() << "kvtool not built beside the tests";
  EXPECT_EQ(portable.out.rfind("DOCSPATH\t", 0), 0u);
  EXPECT_EQ(std::count(portable.out.begin(), portable.out.end(), '\n'), 7);
  EXPECT_EQ(kvtest::runKvtool({"symbols", "values", "build", "MAX_DIG_BUS_SIZE"}).out,
            "build\t13\nMAX_DIG_BUS_SIZE\t48\n");
  EXPECT_EQ(kvtest::runKvtool({"symbols", "values", "BUILD", "nosuch"}).exitCode, 1);
  EXPECT_EQ(kvtest::runKvtool({"symbols", "translate", "%NOSUCH%//x"}).out,
            "%NOSUCH%//x\t%NOSUCH%/x\n");
  EXPECT_EQ(kvtest::runKvtool({"symbols", "--bogus"}).exitCode, 2);

  const std::string dir = kvtest::makeTempDir("kvconfigtool");
  const QString one = kvtest::arg("PATH;" + dir + "/one.ini");
  const QString reg = QStringLiteral("REG;a\\..\\b");
  const kvtest::KvtoolRun levels =
      kvtest::runKvtool({"config", "--location", "1", one, "--location", "2", reg, "--level", "1"});
  EXPECT_EQ(levels.exitCode, 0);
  EXPECT_NE(levels.out.find("\n1\t" + one.toStdString() + "\t" + dir + "/one.ini\tmissing\n"),
            std::string::npos)
      << levels.out;
  EXPECT_NE(levels.out.find("\n2\tREG;a\\..\\b\t\tunusable\n"), std::string::npos);
  EXPECT_NE(levels.out.find("\ncurrent\t1\n"), std::string::npos);

  const QStringList atOne = {"config", "--location", "1", one, "--level", "1"};
  EXPECT_EQ(kvtest::runKvtool(atOne + QStringList{"set", "Options", "A", "1"}).exitCode, 0);
  EXPECT_EQ(
      kvtest::runKvtool(atOne + QStringList{"set", "Options", "b", "x", "--default", "X"}).exitCode,
      0);
  EXPECT_EQ(kvtest::runKvtool(atOne + QStringList{"get", "--by-section", "Options", "a"}).out,
            "1\n");
  EXPECT_EQ(kvtest::runKvtool(atOne + QStringList{"keys", "Options"}).out, "A\nb\n");
  EXPECT_EQ(kvtest::runKvtool(atOne + QStringList{"get", "Options", "none"}).exitCode, 1);
  EXPECT_EQ(
      kvtest::runKvtool({"config", "--location", "1", reg, "--level", "1", "set", "O", "k", "v"})
          .exitCode,
      1);
  EXPECT_EQ(kvtest::runKvtool({"config", "--level", "5"}).exitCode, 2);
  kvtest::removeTree(dir);
}

} // namespace
