#include "kvsupport/files/JFileBuffered.h"
#include "kvsupport/files/PathName.h"

#include "FilesTest.h"

namespace {

using kvfiles::TempDir;

TEST(JFileBufferedTest, ReplacesTargetOnCloseKeepingModeAndLinks) {
  TempDir dir, elsewhere;
  const std::string target = dir / "data.tar.gz";
  kvtest::writeFile(target, "old");
  ::chmod(target.c_str(), 0640);
  kvtest::writeFile(dir / "data.tar-original.gz", "someone's backup"); // "-original-1" is used
  kvtest::writeFile(elsewhere / "real.ini", "old");
  ASSERT_EQ(::symlink((elsewhere / "real.ini").c_str(), (dir / "link.ini").c_str()), 0);
  ASSERT_EQ(::mkdir((dir / "v1.").c_str(), 0700), 0); // a dot in a directory is no extension
  kvtest::writeFile(dir / "v1./cfg", "old");
  for (const std::string &path : {target, dir / "link.ini", dir / "v1./cfg", dir / "new.ini"}) {
    SCOPED_TRACE(path);
    JFileBuffered file(path.c_str(), true);
    ASSERT_EQ(file.getStatus(), JFileBufferedOk);
    const bool linked = path == dir / "link.ini"; // the temporary goes beside the real file
    EXPECT_STREQ(sp_GetDirFromPath(file.getTempPath().tocs()).tocs(),
                 linked ? elsewhere.path.c_str() : sp_GetDirFromPath(path.c_str()).tocs());
    std::fputs("new", file);
    EXPECT_NE(kvtest::readFile(path), "new"); // nothing there until close
    EXPECT_EQ(file.close(), JFileBufferedOk);
    EXPECT_EQ(kvtest::readFile(path), "new");
  }
  EXPECT_EQ(kvfiles::modeOf(target), 0640u);
  EXPECT_EQ(kvtest::readFile(dir / "data.tar-original.gz"), "someone's backup");
  EXPECT_TRUE(kvfiles::isLink(dir / "link.ini"));
  EXPECT_EQ(dir.entries(),
            (QStringList{"data.tar-original.gz", "data.tar.gz", "link.ini", "new.ini", "v1."}));
  {
    JFileBuffered file((dir / "v1./cfg").c_str(), false);
    std::fputs("newer", file);
  } // the destructor closes
  EXPECT_EQ(kvtest::readFile(dir / "v1./cfg"), "newer");
}

TEST(JFileBufferedTest, FailuresLeaveTargetAndNoTemporary) {
  TempDir dir;
  const std::string target = dir / "t.txt";
  kvtest::writeFile(target, "old");
  {
    JFileBuffered file(target.c_str(), false);
    std::fgetc(file); // reading a write-only stream sets its error flag
    EXPECT_EQ(file.close(), JFileBufferedWriteFailed);
  }
  EXPECT_EQ(dir.entries(), QStringList{"t.txt"});
  // Every backup name is taken: the last one is never overwritten.
  for (int n = 0; n <= 999; ++n)
    kvtest::writeFile(dir / (n ? "t-original-" + std::to_string(n) + ".txt" : "t-original.txt"),
                      std::to_string(n));
  ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0700), 0);
  for (const std::string &path : {target, dir / "sub"}) { // or the target is a directory
    JFileBuffered file(path.c_str(), false);
    std::fputs("new", file);
    EXPECT_EQ(file.close(), JFileBufferedRenameFailed);
  }
  EXPECT_EQ(kvtest::readFile(target), "old");
  EXPECT_EQ(kvtest::readFile(dir / "t-original-999.txt"), "999");
  EXPECT_EQ(dir.entries().size(), 1002);

  JFileBuffered nowhere((dir / "missing/t.txt").c_str(), false);
  EXPECT_EQ(nowhere.getStatus(), JFileBufferedOpenFailed);
  EXPECT_EQ(nowhere.close(), JFileBufferedNotOpen);
  EXPECT_EQ(JFileBuffered(nullptr, false).getStatus(), JFileBufferedOpenFailed);
}

TEST(JFileBufferedTest, MovedWriterFinishesOnce) {
  TempDir dir;
  JFileBuffered first((dir / "a").c_str(), false), second((dir / "b").c_str(), false);
  std::fputs("A", first);
  std::fputs("B", second);
  second = std::move(first); // finishes b, takes over a
  EXPECT_EQ(kvtest::readFile(dir / "b"), "B");
  EXPECT_EQ(second.close(), JFileBufferedOk);
  EXPECT_EQ(kvtest::readFile(dir / "a"), "A");
  EXPECT_EQ(dir.entries(), (QStringList{"a", "b"}));
}

} // namespace
