// The output forms of kvtool's match, sort, filter, banner, field and schem
// commands, which scripts read.
#include "common/KvtoolRun.h"
#include "common/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>

namespace {

using kvtest::arg;
using kvtest::KvtoolRun;
using kvtest::runKvtool;

TEST(SchematicToolTest, TextCommandsPrintTheirContractForms) {
  struct Case {
    QStringList arguments;
    std::string input, out;
  } cases[] = {
      {{"match", "R*", "R1", "R", "r1"}, "", "0\t1\t1\tR1\n-1\t1\t1\tR\n-1\t1\t0\tr1\n"},
      {{"match", "--regexp", "b+", "abb", "x"}, "", "1\tabb\n-1\tx\n"},
      {{"match", "--show", "**"}, "", "(.){1,}(.){1,}\n"},
      {{"sort", "--natural"}, "R10\nR2\nb\r\n\nA00\nA0", "\nA0\nA00\nb\r\nR2\nR10\n"},
      {{"sort", "--compare", "a01", "a1"}, "", "1\n"},
      {{"schem", "--restore", "4.28", "x"}, "", "427\t421\t4.28\n0\t0\tx\n"},
  };
  for (const Case &c : cases) {
    KvtoolRun run = runKvtool(c.arguments, c.input);
    if (run.exitCode == -1)
      GTEST_SKIP() << "kvtool not built beside the tests";
    EXPECT_EQ(run.exitCode, 0) << c.arguments.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(run.out, c.out) << c.arguments.join(QLatin1Char(' ')).toStdString();
  }
  const QStringList usage[] = {{"match", "x"},
                               {"match", "--bogus", "x", "y"},
                               {"sort"},
                               {"field", "--width", "0", "x"},
                               {"schem"}};
  for (const QStringList &arguments : usage)
    EXPECT_EQ(runKvtool(arguments).exitCode, 2) << arguments.join(QLatin1Char(' ')).toStdString();
}

TEST(SchematicToolTest, SchemIdentifiesFilesAndListsLines) {
  QTemporaryDir dir;
  std::string ascii = dir.path().toStdString() + "/a.kvsch";
  kvtest::writeFile(ascii, "KelvantaFile type=Symbol format=1.0 revision=3\n\n"
                           ".Pin name=\"a\\\"b\" x=1 x=2\n");
  std::string binary = dir.path().toStdString() + "/b.bin";
  kvtest::writeFile(binary, std::string("\x03\x00"
                                        "1.1",
                                        5));
  std::string missing = dir.path().toStdString() + "/none";

  KvtoolRun run = runKvtool({"schem", arg(ascii), arg(binary)});
  if (run.exitCode == -1)
    GTEST_SKIP() << "kvtool not built beside the tests";
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "ASCII\tSymbol\t1.0\t3\t2\t1\t\t" + ascii + "\nBinary\t\t1.1\t\t10\t0\t4.0\t" +
                         binary + "\n");
  run = runKvtool({"schem", arg(missing)});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "Failed\t\t\t\t10\t0\t\t" + missing + "\n");

  run = runKvtool({"schem", "--lines", arg(ascii)});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "1\tKelvantaFile\ttype=\"Symbol\"\tformat=\"1.0\"\trevision=\"3\"\n"
                     "3\t.Pin\tname=\"a\\\"b\"\tx=\"1\"\tx=\"2\"\n");
}

} // namespace
