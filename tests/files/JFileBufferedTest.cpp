#include "kvsupport/files/JFileBuffered.h"
#include "kvsupport/files/PathName.h"

#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

namespace {

struct TempDir {
  std::string path = kvtest::makeTempDir("kvjfile");
  ~TempDir() { kvtest::removeTree(path); }
  std::string operator/(const std::string &name) const { return path + "/" + name; }
  QStringList entries() const {
    return QDir(QString::fromStdString(path))
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
  }
};

TEST(JFileBufferedTest, WritesNewTargetWithoutLeftovers) {
  TempDir dir;
  const std::string target = dir / "new.ini";
  {
    JFileBuffered file(target.c_str(), false);
    ASSERT_EQ(file.getStatus(), JFileBufferedOk);
    EXPECT_STREQ(sp_GetDirFromPath(file.getTempPath().tocs()).tocs(), dir.path.c_str());
    std::fputs("[Options]\n", file);
    EXPECT_FALSE(kvtest::fileExists(target)); // nothing there until close
    EXPECT_EQ(file.close(), JFileBufferedOk);
    EXPECT_EQ(file.close(), JFileBufferedNotOpen);
  }
  EXPECT_EQ(kvtest::readFile(target), "[Options]\n");
  EXPECT_EQ(dir.entries(), QStringList{"new.ini"});
}

TEST(JFileBufferedTest, ReplacesExistingTargetKeepingItsPermissions) {
  TempDir dir;
  const std::string target = dir / "data.tar.gz";
  kvtest::writeFile(target, "old");
  ::chmod(target.c_str(), 0640);
  kvtest::writeFile(dir / "data.tar-original.gz",
                    "someone's backup"); // taken: "-original-1" is used
  {
    JFileBuffered file(target.c_str(), true);
    std::fputs("new", file);
  } // the destructor closes
  EXPECT_EQ(kvtest::readFile(target), "new");
  struct stat info;
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(kvtest::readFile(dir / "data.tar-original.gz"), "someone's backup");
  EXPECT_EQ(dir.entries(), (QStringList{"data.tar-original.gz", "data.tar.gz"}));

  // A dot in the directory's name is no extension of the file's.
  ASSERT_EQ(::mkdir((dir / "v1.").c_str(), 0700), 0);
  kvtest::writeFile(dir / "v1./cfg", "old");
  JFileBuffered plain((dir / "v1./cfg").c_str(), true);
  std::fputs("new", plain);
  EXPECT_EQ(plain.close(), JFileBufferedOk);
  EXPECT_EQ(kvtest::readFile(dir / "v1./cfg"), "new");
}

TEST(JFileBufferedTest, WritesThroughSymbolicLink) {
  TempDir dir, elsewhere;
  const std::string real = elsewhere / "real.ini";
  kvtest::writeFile(real, "old");
  ASSERT_EQ(::symlink(real.c_str(), (dir / "link.ini").c_str()), 0);
  {
    JFileBuffered file((dir / "link.ini").c_str(), false);
    std::fputs("new", file);
    EXPECT_EQ(file.close(), JFileBufferedOk);
  }
  struct stat info;
  ASSERT_EQ(::lstat((dir / "link.ini").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(kvtest::readFile(real), "new");
  EXPECT_EQ(dir.entries(), QStringList{"link.ini"});
  EXPECT_EQ(elsewhere.entries(), QStringList{"real.ini"});
}

TEST(JFileBufferedTest, FailuresLeaveTargetAndNoTemporary) {
  TempDir dir;
  const std::string target = dir / "t.txt";
  kvtest::writeFile(target, "old");

  { // a stream error while writing
    JFileBuffered file(target.c_str(), false);
    std::fgetc(file); // reading a write-only stream sets its error flag
    EXPECT_EQ(file.close(), JFileBufferedWriteFailed);
  }
  EXPECT_EQ(kvtest::readFile(target), "old");
  EXPECT_EQ(dir.entries(), QStringList{"t.txt"});

  { // every backup name is taken: the last one is never overwritten
    for (int n = 0; n <= 999; ++n)
      kvtest::writeFile(dir / (n ? "t-original-" + std::to_string(n) + ".txt" : "t-original.txt"),
                        std::to_string(n));
    JFileBuffered file(target.c_str(), false);
    std::fputs("new", file);
    EXPECT_EQ(file.close(), JFileBufferedRenameFailed);
    EXPECT_EQ(kvtest::readFile(target), "old");
    EXPECT_EQ(kvtest::readFile(dir / "t-original-999.txt"), "999");
    EXPECT_EQ(dir.entries().size(), 1001);
  }

  { // the target is a directory
    ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0700), 0);
    JFileBuffered file((dir / "sub").c_str(), false);
    std::fputs("x", file);
    EXPECT_EQ(file.close(), JFileBufferedRenameFailed);
    EXPECT_EQ(dir.entries().size(), 1002);
  }

  JFileBuffered nowhere((dir / "missing/t.txt").c_str(), false);
  EXPECT_EQ(nowhere.getStatus(), JFileBufferedOpenFailed);
  EXPECT_EQ(nowhere.close(), JFileBufferedNotOpen);
  JFileBuffered unnamed(nullptr, false);
  EXPECT_EQ(unnamed.getStatus(), JFileBufferedOpenFailed);
}

TEST(JFileBufferedTest, MovedWriterFinishesOnce) {
  TempDir dir;
  JFileBuffered first((dir / "a").c_str(), false);
  std::fputs("A", first);
  JFileBuffered second(std::move(first));
  EXPECT_EQ(first.close(), JFileBufferedNotOpen);
  JFileBuffered third((dir / "b").c_str(), false);
  std::fputs("B", third);
  third = std::move(second); // finishes b, takes over a
  EXPECT_EQ(kvtest::readFile(dir / "b"), "B");
  EXPECT_EQ(third.close(), JFileBufferedOk);
  EXPECT_EQ(kvtest::readFile(dir / "a"), "A");
  EXPECT_EQ(dir.entries(), (QStringList{"a", "b"}));
}

} // namespace
