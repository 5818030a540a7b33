// The output forms of "kvtool eng" and "kvtool tokens", which scripts read.
#include "common/KvtoolRun.h"
#include "common/TestFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kvtest::arg;
using kvtest::KvtoolRun;
using kvtest::runKvtool;

TEST(NetlistToolTest, EngPrintsValueEndCompactAndFieldText) {
  KvtoolRun run = runKvtool({"eng", "10uF", "4k7", "5 k", "abc", "-2.5e-13"});
  if (run.exitCode == -1)
    GTEST_SKIP() << "kvtool not built beside the tests";
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "1.0000000000000003e-05\t3\t10u\t\"10u       \"\n"
                     "4700.0000000000009\t3\t4.7k\t\"4.7k      \"\n"
                     "5\t1\t5\t\"5         \"\n"
                     "0\t0\t0\t\"0         \"\n"
                     "-2.4999999999999999e-13\t8\t-250f\t\"-250f     \"\n");
}

TEST(NetlistToolTest, TokensPrintsWordsAndDelimiters) {
  KvtoolRun run =
      runKvtool({"tokens", "--delims", "=(),", "--quotes", "\"", "\"", "R1 a tc=(1, 2) \"q w\""});
  if (run.exitCode == -1)
    GTEST_SKIP() << "kvtool not built beside the tests";
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "W\tR1\nW\ta\nW\ttc\nD\t=\nD\t(\nW\t1\nD\t,\nW\t2\nD\t)\nW\tq w\n");

  run = runKvtool({"tokens", "--quotes", "{", "}", "--nest", "--keep", "{a {b} c} d"});
  EXPECT_EQ(run.out, "W\t{a {b} c}\nW\td\n");
  EXPECT_EQ(runKvtool({"tokens"}).exitCode, 2);
  EXPECT_EQ(runKvtool({"eng"}).exitCode, 2);
}

// The netlist commands against hand-checked outputs for real files.
TEST(NetlistToolTest, NetlistCommandsPrintLogicalLines) {
  const std::string dir = KV_TEST_SOURCE_DIR "/tests/netlist/data/";
  struct Case {
    QStringList arguments;
    std::string expectedFile;
  } cases[] = {
      {{"netlist", "--numbers", arg(dir + "bipolar-noise.cir")},
       "bipolar-noise.cir.netlist.expected"},
      {{"newnetlist", "--numbers", arg(dir + "bipolar-noise.cir")},
       "bipolar-noise.cir.newnetlist.expected"},
      {{"netlist", "--numbers", arg(dir + "loop_while.cir")}, "loop_while.cir.netlist.expected"},
      {{"newnetlist", "--numbers", arg(dir + "loop_while.cir")},
       "loop_while.cir.newnetlist.expected"},
      {{"lib", "--index", arg(dir + "F5models.lib")}, "F5models.lib.index.expected"},
  };
  for (const Case &c : cases) {
    KvtoolRun run = runKvtool(c.arguments);
    if (run.exitCode == -1)
      GTEST_SKIP() << "kvtool not built beside the tests";
    EXPECT_EQ(run.exitCode, 0) << c.expectedFile;
    EXPECT_EQ(run.out, kvtest::readFile(dir + c.expectedFile)) << c.expectedFile;
  }

  const QString lib = arg(dir + "F5models.lib");
  KvtoolRun run = runKvtool({"lib", "--numbers", lib, "dmod", "D2"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "44\t.model D2  D\n");
  run = runKvtool({"lib", lib, "RPOT"});
  EXPECT_EQ(run.out, ".subckt RPOT 1 2 3\nR1 1 2 {value*ratio + 1m}\nR2 2 3 {value*(1-ratio)+ 1m}\n"
                     "* below are default parameters, which are required by some simulators\n"
                     ".param value=1k\n.param ratio=1\n.ends\n");
  EXPECT_EQ(runKvtool({"netlist", "--dialect", "hspice", lib}).exitCode, 0);

  struct Failure {
    QStringList arguments;
    int exitCode;
  } failures[] = {
      {{"netlist"}, 2},
      {{"netlist", "--dialect", "spectre", lib}, 2},
      {{"netlist", "/nonexistent/x.cir"}, 1},
      {{"lib", lib}, 2},
      {{"lib", lib, "NOSUCH"}, 1},
  };
  for (const Failure &f : failures)
    EXPECT_EQ(runKvtool(f.arguments).exitCode, f.exitCode) << f.arguments.join(' ').toStdString();
}

} // namespace
