#include "kvsupport/ipc/SharedMemory.h"

#include "common/ChildProcess.h"
#include "common/ProcessSync.h"
#include "ipc/SharedMemory_p.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using kv::detail::sharedBlockCreatedHere;
using kv::detail::sharedBlockRecordCount;
using kv::detail::sharedBlockViewCount;

constexpr int64_t kGranule = 65536;

// Child side: opens a block made by the parent and checks what it sees.
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
  std::strcpy(writable, "from the child");
  return 0; // left mapped at exit: the name is the parent's, and stays
}

TEST(SharedMemoryTest, ViewsAreCountedAndReleased) {
  const int records = sharedBlockRecordCount();
  const YString name = sp_AllocateSharedBlock(3 * kGranule);
  const std::string pid = "_" + std::to_string(QCoreApplication::applicationPid());
  EXPECT_EQ(std::string(name.tocs()).rfind("KelvantaSharedBlock", 0), 0u); // the sweep's form
  EXPECT_EQ(std::string(name.tocs()).substr(name.length() - pid.size()), pid) << name.tocs();
  EXPECT_EQ(sharedBlockViewCount(name.tocs()), 0);
  EXPECT_TRUE(sharedBlockCreatedHere(name.tocs()));

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
      {1, 1, "second granule"},
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
  sp_ReleaseSharedBlock(again);
  EXPECT_EQ(sharedBlockViewCount(name.tocs()), 0); // the creator's record stays
  EXPECT_TRUE(sharedBlockCreatedHere(name.tocs()));

  sp_FreeSharedBlock(name);
  EXPECT_EQ(sharedBlockViewCount(name.tocs()), -1);
  EXPECT_EQ(sharedBlockRecordCount(), records);
  EXPECT_EQ(sp_GetSharedBlock(name.tocs(), false), nullptr); // the name is gone
  EXPECT_EQ(sharedBlockRecordCount(), records);
}

TEST(SharedMemoryTest, AnotherProcessMapsByName) {
  if (kvtest::childRole() == "inspect")
    std::exit(inspectInChild());
  const YString name = sp_AllocateSharedBlock(2 * kGranule);
  auto *view = static_cast<char *>(sp_GetSharedBlock(name.tocs(), false));
  ASSERT_TRUE(view);
  std::strcpy(view + kGranule, "granule one");
  for (int run = 0; run < 2; ++run) {
    std::strcpy(view, "from the parent");
    EXPECT_EQ(kvtest::runChild("SharedMemoryTest.AnotherProcessMapsByName", "inspect",
                               {{"KV_BLOCK", name.tocs()}}),
              0);
    EXPECT_STREQ(view, "from the child");
  }
  sp_ReleaseSharedBlock(view);
  sp_FreeSharedBlock(name);
}

// Child side: makes a block, reports its name in the file KV_NAME_FILE and
// either exits without freeing it or waits to be killed.
int allocateInChild() {
  const YString name = sp_AllocateSharedBlock(kGranule);
  QFile file(QString::fromStdString(kvtest::env("KV_NAME_FILE")));
  if (!file.open(QIODevice::WriteOnly) || file.write(name.tocs()) < 0)
    return 2;
  file.close();
  if (kvtest::env("KV_THEN") == "die")
    kvtest::waitUntil([] { return false; }, 60000);
  return 0;
}

TEST(SharedMemoryTest, NamesDoNotOutliveTheirCreator) {
  if (kvtest::childRole() == "allocate")
    std::exit(allocateInChild());
  const std::string dir = kvtest::makeTempDir("kvshm");
  auto nameIn = [](const std::string &path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
  };
  const char *test = "SharedMemoryTest.NamesDoNotOutliveTheirCreator";

  // Ends without freeing its block: the name goes with it.
  ASSERT_EQ(kvtest::runChild(test, "allocate", {{"KV_NAME_FILE", dir + "/exits"}}), 0);
  EXPECT_EQ(sp_GetSharedBlock(nameIn(dir + "/exits").c_str(), true), nullptr);

  // Killed: its name stays until a process makes a block. (Another test
  // process running at the same time may be that process, so the name may
  // already be gone here.)
  auto killed =
      kvtest::startChild(test, "allocate", {{"KV_NAME_FILE", dir + "/dies"}, {"KV_THEN", "die"}});
  ASSERT_TRUE(kvtest::waitUntil([&] { return !nameIn(dir + "/dies").empty(); }));
  killed->kill();
  killed->waitForFinished();
  const std::string stale = nameIn(dir + "/dies");
  if (void *view = sp_GetSharedBlock(stale.c_str(), true))
    sp_ReleaseSharedBlock(view);
  ASSERT_EQ(kvtest::runChild(test, "allocate", {{"KV_NAME_FILE", dir + "/sweeps"}}), 0);
  EXPECT_EQ(sp_GetSharedBlock(stale.c_str(), true), nullptr);
  kvtest::removeTree(dir);
}

TEST(SharedMemoryTest, FreeingBeforeReleasingKeepsViewsUsable) {
  const int records = sharedBlockRecordCount();
  const YString name = sp_AllocateSharedBlock(kGranule);
  auto *view = static_cast<char *>(sp_GetSharedBlock(name.tocs(), false));
  ASSERT_TRUE(view);
  sp_FreeSharedBlock(name);
  std::strcpy(view, "still mapped");
  EXPECT_STREQ(view, "still mapped");
  EXPECT_FALSE(sharedBlockCreatedHere(name.tocs()));
  sp_FreeSharedBlock(name); // no longer ours: ignored
  sp_ReleaseSharedBlock(view);
  EXPECT_EQ(sharedBlockRecordCount(), records);
}

TEST(SharedMemoryTest, BadNamesAndSizesFailCleanly) {
  const int records = sharedBlockRecordCount();
  EXPECT_EQ(sp_GetSharedBlock(nullptr, false), nullptr);
  EXPECT_EQ(sp_GetSharedBlock("", true), nullptr);
  EXPECT_EQ(sp_GetSharedBlock("KelvantaSharedBlockNoSuchName", false), nullptr);
  EXPECT_EQ(sp_GetSharedBlock("../../etc/passwd", true), nullptr);
  sp_FreeSharedBlock(YString("KelvantaSharedBlockNoSuchName"));

  // A block that could not be made still has a name; mapping it fails.
  const YString empty = sp_AllocateSharedBlock(0);
  EXPECT_FALSE(empty.isEmpty());
  EXPECT_EQ(sp_GetSharedBlock(empty.tocs(), false), nullptr);
  const YString huge = sp_AllocateSharedBlock(UINT64_MAX);
  EXPECT_EQ(sp_GetSharedBlock(huge.tocs(), false), nullptr);
  sp_FreeSharedBlock(empty);
  sp_FreeSharedBlock(huge);
  EXPECT_EQ(sharedBlockRecordCount(), records);
}

} // namespace
