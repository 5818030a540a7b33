// The output forms of kvtool's netlist, text and schem commands, which
// scripts read.
#include "common/KvtoolRun.h"
#include "common/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>

namespace {

using kvtest::arg;
using kvtest::KvtoolRun;
using kvtest::runKvtool;

// Each command's output, or for a refused command line its exit code alone.
TEST(NetlistToolTest, CommandsPrintTheirContractForms) {
  const std::string dir = KV_TEST_SOURCE_DIR "/tests/netlist/data/";
  const QString lib = arg(dir + "F5models.lib");
  struct Case {
    QStringList arguments;
    std::string input, out;
    int exitCode = 0;
  } cases[] = {
      {{"netlist", "--numbers", arg(dir + "bipolar-noise.cir")},
       "",
       kvtest::readFile(dir + "bipolar-noise.cir.netlist.expected")},
      {{"newnetlist", "--numbers", arg(dir + "loop_while.cir")}, // line ends CR LF
       "",
       kvtest::readFile(dir + "loop_while.cir.newnetlist.expected")},
      {{"lib", "--index", lib}, "", kvtest::readFile(dir + "F5models.lib.index.expected")},
      {{"lib", "--numbers", lib, "dmod", "D2"}, "", "44\t.model D2  D\n"},
      {{"tokens", "--delims", "=(),", "--quotes", "\"", "\"", "R1 a tc=(1, 2) \"q w\""},
       "",
       "W\tR1\nW\ta\nW\ttc\nD\t=\nD\t(\nW\t1\nD\t,\nW\t2\nD\t)\nW\tq w\n"},
      {{"match", "R*", "R1", "R", "r1"}, "", "0\t1\t1\tR1\n-1\t1\t1\tR\n-1\t1\t0\tr1\n"},
      {{"sort", "--natural"}, "R10\nR2\nb\r\n\nA00\nA0", "\nA0\nA00\nb\r\nR2\nR10\n"},
      {{"schem", "--restore", "4.28", "x"}, "", "427\t421\t4.28\n0\t0\tx\n"},
      {{"netlist", "--dialect", "spectre", lib}, "", "", 2},
      {{"lib", lib, "NOSUCH"}, "", "", 1},
      {{"match", "--bogus", "x", "y"}, "", "", 2},
  };
  for (const Case &c : cases) {
    KvtoolRun run = runKvtool(c.arguments, c.input);
    if (run.exitCode == -1)
      GTEST_SKIP() << "kvtool not built beside the tests";
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(QLatin1Char(' ')).toStdString();
    if (c.exitCode == 0) {
      EXPECT_EQ(run.out, c.out) << c.arguments.join(QLatin1Char(' ')).toStdString();
    }
  }
}

// A missing file fails the run; the files after it are still listed.
TEST(NetlistToolTest, SchemIdentifiesFilesAndListsLines) {
  QTemporaryDir dir;
  std::string ascii = dir.path().toStdString() + "/a.kvsch";
  kvtest::writeFile(ascii, "KelvantaFile type=Symbol format=1.0 revision=3\n\n"
                           ".Pin name=\"a\\\"b\" x=1 x=2\n");
  std::string binary = dir.path().toStdString() + "/b.bin";
  kvtest::writeFile(binary, std::string(1, '\x03') + '\0' + "1.1");
  std::string missing = dir.path().toStdString() + "/none";

  KvtoolRun run = runKvtool({"schem", arg(ascii), arg(missing), arg(binary)});
  if (run.exitCode == -1)
    GTEST_SKIP() << "kvtool not built beside the tests";
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "ASCII\tSymbol\t1.0\t3\t2\t1\t\t" + ascii + "\nFailed\t\t\t\t10\t0\t\t" +
                         missing + "\nBinary\t\t1.1\t\t10\t0\t4.0\t" + binary + "\n");
  run = runKvtool({"schem", "--lines", arg(ascii)});
  EXPECT_EQ(run.out, "1\tKelvantaFile\ttype=\"Symbol\"\tformat=\"1.0\"\trevision=\"3\"\n"
                     "3\t.Pin\tname=\"a\\\"b\"\tx=\"1\"\tx=\"2\"\n");
}

} // namespace
