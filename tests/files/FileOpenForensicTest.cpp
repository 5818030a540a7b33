#include "kvsupport/files/FileOpenForensic.h"

#include "FilesTest.h"

#include <QFileInfo>

#include <grp.h>
#include <map>

namespace {

struct Row {
  const char *path; // below the scratch directory; "" is the empty path
  GfnOpenMode mode;
  bool opens;
  int reason;
};

// Every name below the directory with its size and modification time: a
// probe must change none of it.
std::map<std::string, std::string> snapshot(const std::string &dir) {
  std::map<std::string, std::string> listing;
  for (const QFileInfo &entry :
       QDir(QString::fromStdString(dir))
           .entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden)) {
    struct stat info;
    const std::string path = entry.filePath().toStdString();
    lstat(path.c_str(), &info);
    listing[path] = std::to_string(info.st_size) + "@" + std::to_string(info.st_mtim.tv_sec) + "." +
                    std::to_string(info.st_mtim.tv_nsec);
  }
  return listing;
}

void checkRows(const std::string &dir, std::initializer_list<Row> rows) {
  const auto before = snapshot(dir);
  for (const Row &row : rows) {
    const std::string path = *row.path ? dir + "/" + row.path : "";
    const YString name(path.c_str());
    const std::string label = std::string(row.path) + " mode " + std::to_string(row.mode);
    EXPECT_EQ(sp_CheckFileOpen(name, row.mode), row.opens) << label;
    FileOpenForensic reason = FileOpenInternalError;
    EXPECT_TRUE(sp_FileOpenForensic(name, row.mode, &reason));
    EXPECT_EQ(reason, row.reason) << label;
  }
  EXPECT_EQ(snapshot(dir), before) << "a probe left a trace";
}

TEST(FileOpenForensicTest, ConditionsMadeForReal) {
  kvfiles::TempDir s;
  kvtest::writeFile(s / "rw", "x");
  ASSERT_EQ(mkdir((s / "sub").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo((s / "fifo").c_str(), 0644), 0);
  ASSERT_EQ(symlink((s / "gone").c_str(), (s / "link").c_str()), 0);
  // Dangling: nothing is made at its target: {"link", 0, false, 1}
  // Without a writer: no hang: {"fifo", 0, true, 3}
  // Without a reader: ENXIO: {"fifo", 5, false, 7}
  // A directory never opens as a file: {"sub", 0, false, 3}
  checkRows(s.path, {{"rw", 0, true, 3},
                     {"rw", 3, false, 0},
                     {"rw", 1, true, 8},
                     {"rw", 5, true, 7},
                     {"missing", 0, false, 1},
                     {"missing", 3, true, 0},
                     {"missing", 4, true, 8},
                     {"missing", 5, true, 5},
                     {"nodir/x", 3, false, 4},
                     {"rw/x", 5, false, 4},
                     {"link", 0, false, 1},
                     {"link", 5, false, 5},
                     {"fifo", 0, true, 3},
                     {"fifo", 5, false, 7},
                     {"sub", 0, false, 3},
                     {"", 0, false, 1}});
  EXPECT_FALSE(sp_FileOpenForensic(YString("x"), 0, nullptr));
  EXPECT_FALSE(sp_FileOpenForensicMsg(YString("x"), 0, nullptr));
  YString sentence;
  EXPECT_TRUE(sp_FileOpenForensicMsg(YString((s / "rw/x").c_str()), 5, &sentence));
  EXPECT_EQ(sentence.tocs(),
            "The file " + s / "rw/x" + " cannot be opened because its directory does not exist");
  EXPECT_TRUE(sp_FileOpenForensicMsg(YString("x"), 1, &sentence));
  EXPECT_STREQ(sentence.tocs(), "Internal error");
}

// Rights do not stop root: as root, these rows run in a child that gives
// them up for good first.
TEST(FileOpenForensicTest, RightsRefused) {
  const bool child = kvtest::childRole() == "unprivileged";
  if (geteuid() == 0 && !child) {
    EXPECT_EQ(kvtest::runChild(kvfiles::self(), "unprivileged"), 0);
    return;
  }
  if (child) {
    ASSERT_EQ(setgroups(0, nullptr), 0);
    ASSERT_EQ(setgid(65534), 0);
    ASSERT_EQ(setuid(65534), 0);
  }
  kvfiles::TempDir s;
  kvtest::writeFile(s / "ro", "x");
  kvtest::writeFile(s / "none", "x");
  ASSERT_EQ(mkdir((s / "closed").c_str(), 0700), 0);
  kvtest::writeFile(s / "closed/f", "x");
  ASSERT_EQ(mkdir((s / "fixed").c_str(), 0700), 0);
  chmod((s / "ro").c_str(), 0444);
  chmod((s / "none").c_str(), 0);
  chmod((s / "closed").c_str(), 0600); // readable, not searchable
  chmod((s / "fixed").c_str(), 0500);  // searchable, not writable
  // A read-only file does not pass a write test: {"ro", 5, false, 6}
  // Unknown is not "does not exist": {"closed/f", 0, false, 2}
  checkRows(s.path, {{"ro", 3, false, 6},
                     {"ro", 5, false, 6},
                     {"none", 0, false, 2},
                     {"closed/f", 0, false, 2},
                     {"fixed/new", 5, false, 5}});
  chmod((s / "closed").c_str(), 0700);
}

TEST(FileOpenForensicTest, LockHeldByAnotherProcessRefusesWritingOnly) {
  if (kvtest::childRole() == "hold")
    std::exit(kvfiles::holdLockInChild());
  kvfiles::TempDir s;
  kvtest::writeFile(s / "locked", "x");
  FileLock own;
  ASSERT_TRUE(own.lock(YString((s / "mine").c_str())));
  kvtest::writeFile(s / "mine", "x");
  auto holder = kvfiles::startReady("hold", s / "ready", {{"KV_LOCK_PATH", s / "locked"}});
  // Our own lock refuses nobody here: {"mine", 5, true, 7}
  checkRows(s.path, {{"locked", 0, true, 3}, {"locked", 5, false, 7}, {"mine", 5, true, 7}});
  kvfiles::killChild(*holder);
  EXPECT_TRUE(sp_CheckFileOpen(YString((s / "locked").c_str()), 5));
}

} // namespace
