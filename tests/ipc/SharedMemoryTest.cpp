#include "kvsupport/ipc/SharedMemory.h"

#include "common/ChildProcess.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"
#include "ipc/SharedMemory_p.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using kv::detail::sharedBlockCreatedHere;
using kv::detail::sharedBlockRecordCount;
using kv::detail::sharedBlockViewCount;

constexpr int64_t kGranule = 65536;

// Child side: opens the block KV_BLOCK made by the parent and checks what
// it sees, writes to it, then makes a block of its own, reports its name in
// the file KV_NAME_FILE and either exits without freeing it or waits to be
// killed.
int inspectInChild() {
  const std::string name = kvtest::env("KV_BLOCK");
  const int records = sharedBlockRecordCount();
  auto *first = static_cast<char *>(sp_GetSharedBlock(name.c_str(), true));
  auto *second = static_cast<char *>(sp_GetSharedBlock(name.c_str(), 1, 1, true));
  if (!first || !second || first == second)
    return 2;
  if (std::strcmp(first, "from the parent") != 0 || std::strcmp(second, "granule one") != 0)
    return 3;
  if (sharedBlockViewCount(name.c_str()) != 2 || sharedBlockCreatedHere(name.c_str()))
    return 4;
  // The first open was read-only, and stays so while views remain.
  if (sp_GetSharedBlock(name.c_str(), false))
    return 5;
  sp_ReleaseSharedBlock(first);
  sp_ReleaseSharedBlock(second);
  if (sharedBlockViewCount(name.c_str()) != -1 || sharedBlockRecordCount() != records)
    return 6; // a name only opened is forgotten with its last view
  char *writable = static_cast<char *>(sp_GetSharedBlock(name.c_str(), false));
  if (!writable)
    return 7;
  std::strcpy(writable, "from the child");   // left mapped at exit: the name is the parent's
  sp_FreeSharedBlock(YString(name.c_str())); // and not this process's to free
  kvtest::writeFile(kvtest::env("KV_NAME_FILE"), sp_AllocateSharedBlock(kGranule).tocs());
  if (kvtest::env("KV_THEN") == "die")
    kvtest::waitUntil([] { return false; }, 60000);
  return 0;
}

TEST(SharedMemoryTest, ViewsAreCountedAndReleased) {
  const int records = sharedBlockRecordCount();
  const YString name = sp_AllocateSharedBlock(3 * kGranule);
  const std::string pid = "_" + std::to_string(QCoreApplication::applicationPid());
  EXPECT_EQ(std::string(name.tocs()).rfind("KelvantaSharedBlock", 0), 0u); // the sweep's form
  EXPECT_EQ(std::string(name.tocs()).substr(name.length() - pid.size()), pid) << name.tocs();
  EXPECT_TRUE(sharedBlockCreatedHere(name.tocs()));
  // A forked child has our records; its exit leaves our names alone.
  const pid_t forked = ::fork();
  if (forked == 0)
    std::exit(0);
  int status = -1;
  ASSERT_EQ(::waitpid(forked, &status, 0), forked);

  auto *whole = static_cast<char *>(sp_GetSharedBlock(name.tocs(), false));
  auto *again = static_cast<char *>(sp_GetSharedBlock(name.tocs(), 0, 0, false));
  ASSERT_TRUE(whole && again);
  EXPECT_NE(whole, again);
  EXPECT_EQ(sharedBlockViewCount(name.tocs()), 2);
  std::strcpy(whole + kGranule, "second granule");
  std::strcpy(whole + 2 * kGranule, "third granule");
  EXPECT_STREQ(again + kGranule, "second granule"); // one memory, two views

  struct ViewCase {
    int64_t offset, size;
    const char *expected; // null: no view
  };
  const ViewCase cases[] = {
      {2, 0, "third granule"},
      {1, 2, "second granule"},
      {3, 0, nullptr},
      {2, 2, nullptr},
      {3, 1, nullptr},
      {-1, 1, nullptr},
      {1, -1, nullptr},
      {INT64_MAX / 2, 1, nullptr},
      {int64_t(1) << 48, 1, nullptr}, // whose bytes would wrap round to 0
      {-5, -5, ""},
      {0, 1, ""},
  };
  for (const ViewCase &c : cases) {
    auto *view = static_cast<char *>(sp_GetSharedBlock(name.tocs(), c.offset, c.size, true));
    if (!c.expected) {
      EXPECT_EQ(view, nullptr) << c.offset << "," << c.size;
      continue;
    }
    ASSERT_NE(view, nullptr) << c.offset << "," << c.size;
    EXPECT_STREQ(view, c.expected);
    sp_ReleaseSharedBlock(view);
  }
  EXPECT_EQ(sharedBlockViewCount(name.tocs()), 2);

  sp_ReleaseSharedBlock(whole);
  sp_ReleaseSharedBlock(whole); // released already: ignored
  sp_ReleaseSharedBlock(nullptr);
  int local = 0;
  sp_ReleaseSharedBlock(&local); // never mapped: ignored
  EXPECT_EQ(sharedBlockViewCount(name.tocs()), 1);

  // Freed before its last view is released: the view stays usable.
  sp_FreeSharedBlock(name);
  EXPECT_FALSE(sharedBlockCreatedHere(name.tocs()));
  sp_FreeSharedBlock(name); // no longer ours: ignored
  std::strcpy(again, "still mapped");
  EXPECT_STREQ(again, "still mapped");
  sp_ReleaseSharedBlock(again);
  EXPECT_EQ(sharedBlockViewCount(name.tocs()), -1);
  EXPECT_EQ(sp_GetSharedBlock(name.tocs(), false), nullptr); // the name is gone
  EXPECT_EQ(sharedBlockRecordCount(), records);
}

// Children map the parent's block by name; the blocks they make go with
// them when they end, and when they are killed, with the next block made.
TEST(SharedMemoryTest, AnotherProcessMapsByNameAndNamesDoNotOutliveTheirCreator) {
  if (kvtest::childRole() == "inspect")
    std::exit(inspectInChild());
  const std::string test = kvtest::currentTest();
  const std::string dir = kvtest::makeTempDir("kvshm");
  const YString name = sp_AllocateSharedBlock(2 * kGranule);
  auto *view = static_cast<char *>(sp_GetSharedBlock(name.tocs(), false));
  ASSERT_TRUE(view);
  std::strcpy(view + kGranule, "granule one");
  auto env = [&](const char *file, const char *then = "") {
    std::strcpy(view, "from the parent");
    return kvtest::EnvList{
        {"KV_BLOCK", name.tocs()}, {"KV_NAME_FILE", dir + file}, {"KV_THEN", then}};
  };
  ASSERT_EQ(kvtest::runChild(test, "inspect", env("/exits")), 0);
  EXPECT_STREQ(view, "from the child");
  EXPECT_EQ(sp_GetSharedBlock(kvtest::readFile(dir + "/exits").c_str(), true), nullptr);

  // Killed: its name stays until a process makes a block. (Another test
  // process running at the same time may be that process, so the name may
  // already be gone here.)
  auto killed = kvtest::startChild(test, "inspect", env("/dies", "die"));
  ASSERT_TRUE(kvtest::waitUntil([&] { return kvtest::fileExists(dir + "/dies"); }));
  killed->kill();
  killed->waitForFinished();
  EXPECT_STREQ(view, "from the child"); // the name outlived the first child
  const std::string stale = kvtest::readFile(dir + "/dies");
  if (void *staleView = sp_GetSharedBlock(stale.c_str(), true))
    sp_ReleaseSharedBlock(staleView);
  ASSERT_EQ(kvtest::runChild(test, "inspect", env("/sweeps")), 0);
  EXPECT_EQ(sp_GetSharedBlock(stale.c_str(), true), nullptr);
  sp_ReleaseSharedBlock(view);
  sp_FreeSharedBlock(name);
  kvtest::removeTree(dir);
}

TEST(SharedMemoryTest, BadNamesAndSizesFailCleanly) {
  const int records = sharedBlockRecordCount();
  for (const char *name : {static_cast<const char *>(nullptr), "", "KelvantaSharedBlockNoSuchName",
                           "../../etc/passwd"})
    EXPECT_EQ(sp_GetSharedBlock(name, false), nullptr) << (name ? name : "null");
  sp_FreeSharedBlock(YString("KelvantaSharedBlockNoSuchName"));

  // A block that could not be made still has a name; mapping it fails.
  for (uint64_t size : {uint64_t(0), UINT64_MAX}) {
    const YString name = sp_AllocateSharedBlock(size);
    EXPECT_TRUE(!name.isEmpty() && !sp_GetSharedBlock(name.tocs(), false)) << size;
    sp_FreeSharedBlock(name);
  }
  EXPECT_EQ(sharedBlockRecordCount(), records);
}

} // namespace
