// The output of "kvtool hooks", which scripts read.
#include "common/KvtoolRun.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kvtest::KvtoolRun;
using kvtest::runKvtool;

TEST(HooksToolTest, ListsHooksInRunOrderAndRunsThem) {
  KvtoolRun run = runKvtool({"hooks"});
  if (run.exitCode == -1)
    GTEST_SKIP() << "kvtool not built beside the tests";
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "Exit\n  closeEmbeddedFiles\n  closeWordArray\n  deleteTimers\n"
                     "  flushSharedBlockLookup\n  closeOptions\n  closeLogicalPaths\n"
                     "  closeLibraryManager\n  closeInifile\n  closeAutoFunc\n"
                     "InitCli\n  initialisePaths\n");
  // "Exit" releases the registry: nothing is left to list.
  EXPECT_EQ(runKvtool({"hooks", "--run", "NoSuchHook", "--run", "Exit"}).out, "");
  for (const QStringList &bad : {QStringList{"hooks", "--run"}, QStringList{"hooks", "--list"},
                                 QStringList{"hooks", "Exit"}})
    EXPECT_EQ(runKvtool(bad).exitCode, 2) << bad.join(' ').toStdString();
}

} // namespace
