// Path names, file handles, lock files, file-open diagnostics, copies of
// embedded files and profile files, with the scratch directories and child
// processes they share.
#include "kvsupport/files/EmbeddedFile.h"
#include "kvsupport/files/FileLock.h"
#include "kvsupport/files/FileOpenForensic.h"
#include "kvsupport/files/JFile.h"
#include "kvsupport/files/JFileBuffered.h"
#include "kvsupport/files/PathName.h"
#include "kvsupport/files/ProfileFile.h"

#include "files/ProfileFile_p.h"
#include "os/ProfileStore_p.h"

#include "common/ChildProcess.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSet>

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

YString y(const std::string &text) { return YString(text.c_str()); }

// A fresh directory, removed with everything in it.
struct TempDir {
  std::string path = kvtest::makeTempDir("kvfiles");
  ~TempDir() { kvtest::removeTree(path); }
  std::string operator/(const std::string &name) const { return path + "/" + name; }
  QStringList entries() const {
    return QDir(QString::fromStdString(path))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  }
};

// The permission bits of what `path` leads to; 0 when it is not there.
unsigned modeOf(const std::string &path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

bool isLink(const std::string &path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

using kvtest::startReady;

std::string self() { return kvtest::currentTest(); }

void killChild(QProcess &child) {
  child.kill();
  child.waitForFinished();
}

// Child side: takes the lock of KV_LOCK_PATH, says so in KV_READY, and holds
// it until KV_STOP appears (unlocking on the way out) or it is killed.
int holdLockInChild() {
  const std::string path = kvtest::env("KV_LOCK_PATH");
  FileLock lock;
  if (!lock.lock(y(path)))
    return 2;
  kvtest::touchFile(kvtest::env("KV_READY"));
  if (!kvtest::waitUntil([] { return kvtest::fileExists(kvtest::env("KV_STOP")); }, 60000))
    return 3;
  lock.unlock();
  return kvtest::fileExists(path + ".lck") ? 4 : 0;
}

// ---- Path names ----
std::string repeat(const std::string &unit, int n) {
  std::string s;
  for (int i = 0; i < n; ++i)
    s += unit;
  return s;
}

// "drive|directory|base name|extension"
std::string split(const std::string &path) {
  PathName parts;
  parts.baseName = YString("stale");
  sp_SplitPath(YString(path.c_str()), &parts);
  return std::string(parts.drive.tocs()) + "|" + parts.directory.tocs() + "|" +
         parts.baseName.tocs() + "|" + parts.extension.tocs();
}

TEST(PathNameTest, SplitsIntoFourPartsBoundedAt256Units) {
  const std::pair<const char *, const char *> cases[] = {
      {"A:\\dir/a\\name.tar.gz", "A:|\\dir/a\\|name.tar|.gz"},
      {".bashrc", "|||.bashrc"},
      {"dir.d/file", "|dir.d/|file|"},
      {"a:rel.txt", "a:||rel|.txt"},
      {"z:", "z:|||"},
      {"Z:\\", "Z:|\\||"},
      {"1:x", "||1:x|"},
      {"", "|||"},
  };
  for (const auto &[path, expected] : cases) {
    EXPECT_EQ(split(path), expected) << path;
  }
  sp_SplitPath(YString("x"), nullptr); // no parts to fill: nothing happens

  const std::string g4 = "\xF0\x9D\x84\x9E"; // a surrogate pair in four bytes
  const std::pair<std::string, bool> bounds[] = {
      {"/" + repeat("d", 254) + "/f.x", true},  // directory of 256
      {"/" + repeat("d", 255) + "/f.x", false}, // directory of 257
      {"d/" + repeat("b", 256) + ".x", true},
      {"d/" + repeat("b", 257) + ".x", false},
      {"d/b." + repeat("x", 255), true}, // extension of 256
      {"d/b." + repeat("x", 256), false},
      {"d/" + repeat(g4, 128), true}, // 256 units
      {"d/" + repeat(g4, 128) + "a", false},
      {"C:" + repeat("/", 256) + "n.x", true}, // the drive is not counted
  };
  for (const auto &[path, fits] : bounds) {
    PathName parts;
    sp_SplitPath(YString(path.c_str()), &parts);
    EXPECT_EQ(sp_MakePath(parts).tocs(), fits ? path : "") << path.size();
  }
  // Separators are converted over the whole path, however long.
  EXPECT_EQ(sp_ConvertLocalToUnix(y(repeat("dir\\", 100))).tocs(), repeat("dir/", 100));
}

// Cleaning, full paths and relative paths of '/' paths are compared with
// Qt's by the fuzz target; these are the drives and backslashes.
TEST(PathNameTest, CleansMakesAbsoluteRelativeAndCompares) {
  EXPECT_STREQ(sp_CleanPath(YString("a\\b\\..\\c")).tocs(), "a/c");

  const std::string cwd = QDir::currentPath().toStdString();
  EXPECT_STREQ(sp_GetFullPath(YString("sub\\f.txt")).tocs(), (cwd + "/sub/f.txt").c_str());
  EXPECT_FALSE(sp_IsRelativePath(YString("\\a")));
  EXPECT_TRUE(sp_IsRelativePath(YString("C:/a")));

  const std::pair<const char *, const char *> dirs[] = {
      {"C:\\a\\b.txt", "C:\\a"}, {"/x", "/"}, {"name.txt", ""}, {"a/b/", "a/b"}, {"C:x", "C:"}};
  for (const auto &[path, expected] : dirs)
    EXPECT_STREQ(sp_GetDirFromPath(path).tocs(), expected) << path;
  EXPECT_STREQ(sp_GetDirFromPath(nullptr).tocs(), "");

  const struct {
    const char *path, *base, *expected;
  } cases[] = {
      {"C:/a/c/f.txt", "C:/a/b", "../c/f.txt"},
      {"C:/a/b", "C:/a/b/", "."},
      {"D:/a", "C:/a/b", "D:/a"},
      {"c:/a/x", "C:/a", "x"}, // drive letters ignore case
      {"C:\\a\\c\\f.txt", "C:/a/b", "../c/f.txt"},
      {"/home/u/P", "/home/u/p", "../P"}, // file names are case-sensitive here
      {"/", "/a/b", "../.."},
      {"/a/b", "", "/a/b"},
      {"rel/x", "/abs", "rel/x"},
      {"../b", "../../a", "../b"}, // the base climbs where the text cannot follow
      {"../a/x", "../a", "x"},
  };
  for (const auto &c : cases)
    EXPECT_STREQ(sp_RelativePath(YString(c.path), YString(c.base)).tocs(), c.expected)
        << c.path << " from " << c.base;

  // Paths are the same file by identity, not by name.
  TempDir dir;
  kvtest::touchFile(dir / "File.txt");
  kvtest::touchFile(dir / "file.txt"); // another file, differing only in case
  ASSERT_EQ(::link((dir / "File.txt").c_str(), (dir / "hard").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "File.txt").c_str(), (dir / "soft").c_str()), 0);
  const struct {
    std::string first, second;
    bool same;
  } same[] = {
      {"File.txt", "./File.txt", true}, {"File.txt", "hard", true},     {"soft", "File.txt", true},
      {"File.txt", "file.txt", false},  {"missing", "File.txt", false},
  };
  for (const auto &c : same)
    EXPECT_EQ(sp_ComparePaths(y(dir / c.first), y(dir / c.second)), c.same)
        << c.first << " " << c.second;
}

// ---- File handles ----
TEST(JFileTest, OpensRecordsFullPathReopensAndHandsOver) {
  TempDir dir;
  const QString saved = QDir::currentPath();
  QDir::setCurrent(QString::fromStdString(dir.path));
  JFile file("out.txt", "w"), other;
  EXPECT_STREQ(file.getFilename().tocs(), (dir / "out.txt").c_str());
  std::fputs("written", file);
  ASSERT_TRUE(file.reopen("r")); // closes (flushing) first
  char text[16] = {};
  ASSERT_TRUE(std::fgets(text, sizeof text, file));
  EXPECT_STREQ(text, "written");
  EXPECT_FALSE(file.open("missing/x", "r"));
  EXPECT_STREQ(file.getFilename().tocs(), (dir / "out.txt").c_str()); // kept on failure
  EXPECT_FALSE(file.open(nullptr, "r"));
  QDir::setCurrent(saved);

  // Each stream is closed once, by its last owner.
  ASSERT_TRUE(file.reopen("r") && other.attach(file));
  EXPECT_FALSE(file.get() || file.attach(file));
  JFile third((dir / "c").c_str(), "w");
  third = std::move(other); // closes c's stream, takes out.txt's
  EXPECT_STREQ(third.getFilename().tocs(), (dir / "out.txt").c_str());
  FILE *loose = third.detach();
  EXPECT_TRUE(loose && !third.get());
  JFile adopted("adopted", loose);
  EXPECT_EQ(adopted.get(), loose);
}

// ---- Buffered replacement of a file ----
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
    const bool linked = path == dir / "link.ini"; // the temporary goes beside the real file
    EXPECT_STREQ(sp_GetDirFromPath(file.getTempPath().tocs()).tocs(),
                 linked ? elsewhere.path.c_str() : sp_GetDirFromPath(path.c_str()).tocs());
    std::fputs("new", file);
    EXPECT_NE(kvtest::readFile(path), "new"); // nothing there until close
    EXPECT_EQ(file.close(), JFileBufferedOk);
    EXPECT_EQ(kvtest::readFile(path), "new");
  }
  EXPECT_EQ(modeOf(target), 0640u);
  EXPECT_EQ(kvtest::readFile(dir / "data.tar-original.gz"), "someone's backup");
  EXPECT_TRUE(isLink(dir / "link.ini"));
  EXPECT_EQ(dir.entries(),
            (QStringList{"data.tar-original.gz", "data.tar.gz", "link.ini", "new.ini", "v1."}));
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
  EXPECT_EQ(JFileBuffered(nullptr, false).getStatus(), JFileBufferedOpenFailed);
}

TEST(JFileBufferedTest, MovedWriterFinishesOnce) {
  TempDir dir;
  {
    JFileBuffered first((dir / "a").c_str(), false), second((dir / "b").c_str(), false);
    std::fputs("A", first);
    std::fputs("B", second);
    second = std::move(first); // finishes b, takes over a
    EXPECT_EQ(kvtest::readFile(dir / "b"), "B");
  } // the destructor closes
  EXPECT_EQ(kvtest::readFile(dir / "a"), "A");
  EXPECT_EQ(dir.entries(), (QStringList{"a", "b"}));
}

// ---- Lock files ----
// "user@host\r\n", alone in the file.
bool isOwnerLine(const std::string &text) {
  const size_t at = text.find('@');
  return at != std::string::npos && at > 0 && text.size() > 3 &&
         text.find('\n') == text.size() - 1 && text.compare(text.size() - 2, 2, "\r\n") == 0;
}

struct LockFiles : TempDir {
  std::string target = *this / "data.ini", lockFile = target + ".lck";
};

TEST(FileLockTest, HeldLockRefusesOthersUntilHolderLetsGoOrDies) {
  if (kvtest::childRole() == "hold")
    std::exit(holdLockInChild());
  LockFiles files;
  FileLock lock;
  for (const bool dies : {false, true}) {
    SCOPED_TRACE(dies ? "dies" : "lets go");
    auto child = startReady("hold", files / (dies ? "ready2" : "ready1"),
                            {{"KV_LOCK_PATH", files.target}, {"KV_STOP", files / "stop"}});
    const std::string holderLine = kvtest::readFile(files.lockFile);
    EXPECT_TRUE(isOwnerLine(holderLine)) << holderLine;
    EXPECT_FALSE(lock.lock(y(files.target)));
    EXPECT_EQ(lock.getError(), FileLockInUse);
    EXPECT_EQ(kvtest::readFile(files.lockFile), holderLine); // left alone
    if (dies) { // its lock file stays, but blocks no one
      killChild(*child);
    } else {
      kvtest::touchFile(files / "stop");
      EXPECT_EQ(kvtest::waitChild(*child), 0); // it unlocked and its lock file is gone
      ::unlink((files / "stop").c_str());
    }
    EXPECT_TRUE(lock.relock());
    lock.unlock();
    EXPECT_FALSE(kvtest::fileExists(files.lockFile));
  }
}

TEST(FileLockTest, StaleLockFileIsTakenAndRewritten) {
  LockFiles files;
  kvtest::writeFile(files.lockFile,
                    "someone@elsewhere\r\nand a lot more text than an owner line\r\n");
  FileLock lock, other;
  ASSERT_TRUE(lock.lock(y(files.target)));
  EXPECT_TRUE(isOwnerLine(kvtest::readFile(files.lockFile))) << kvtest::readFile(files.lockFile);
  // A second lock in the same process is another holder, and is refused.
  EXPECT_FALSE(other.lock(y(files.target)));
  // Locking another path gives up the first.
  EXPECT_TRUE(lock.lock(y(files / "other.ini")));
  EXPECT_TRUE(other.lock(y(files.target)));
  // A holder whose lock file was deleted and made anew by another holder
  // leaves the new one alone when it lets go.
  ::unlink(files.lockFile.c_str());
  FileLock successor;
  ASSERT_TRUE(successor.lock(y(files.target)));
  other.unlock();
  EXPECT_TRUE(kvtest::fileExists(files.lockFile));
}

TEST(FileLockTest, FailuresAreClassified) {
  LockFiles files;
  FileLock lock;
  EXPECT_FALSE(lock.relock()); // nothing named yet
  EXPECT_EQ(lock.getError(), FileLockFailed);
  // A directory, a FIFO or a symbolic link under the lock file's name is
  // never opened as the lock file, and never written through.
  ASSERT_EQ(::mkfifo((files / "f.lck").c_str(), 0600), 0);
  kvtest::writeFile(files / "victim", "precious");
  ASSERT_EQ(::symlink((files / "victim").c_str(), (files / "s.lck").c_str()), 0);
  for (const char *name : {"no/such/dir/x", "f", "s"}) {
    EXPECT_FALSE(lock.lock(y(files / name))) << name;
    EXPECT_EQ(lock.getError(), FileLockFailed) << name;
  }
  EXPECT_EQ(kvtest::readFile(files / "victim"), "precious");
  // Where nobody may create files, even the superuser.
  if (::access("/sys", F_OK) == 0) {
    EXPECT_FALSE(lock.lock(YString("/sys/kvsupport-test")));
    EXPECT_EQ(lock.getError(), FileLockAccessDenied);
  }
  EXPECT_TRUE(lock.lock(y(files.target)));
  EXPECT_EQ(lock.getError(), FileLockNone);
}

// Holders delete the lock file as they let go while others are opening it:
// whoever opened the old file must notice and never hold a second lock.
TEST(FileLockTest, NeverTwoHoldersUnderChurn) {
  LockFiles files;
  std::atomic<int> holders{0}, taken{0};
  std::atomic<bool> twice{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      FileLock lock;
      for (int i = 0; i < 400; ++i) {
        if (!lock.lock(y(files.target)))
          continue;
        if (++holders > 1)
          twice = true;
        ++taken;
        std::this_thread::yield();
        --holders;
        lock.unlock();
      }
    });
  for (std::thread &thread : threads)
    thread.join();
  EXPECT_FALSE(twice.load());
  EXPECT_GT(taken.load(), 0);
  EXPECT_FALSE(kvtest::fileExists(files.lockFile));
}

TEST(FileLockTest, MovingHandsOverTheOneLockFile) {
  LockFiles files;
  FileLock first, second;
  ASSERT_TRUE(first.lock(y(files.target)) && second.lock(y(files / "b")));
  second = std::move(first); // releases b's lock, takes over the target's
  first.unlock();            // holds nothing: must not touch the lock file
  EXPECT_FALSE(kvtest::fileExists(files / "b.lck"));
  EXPECT_TRUE(kvtest::fileExists(files.lockFile));
  { FileLock last(std::move(second)); }
  EXPECT_FALSE(kvtest::fileExists(files.lockFile)); // deleted once, by its last owner
}

// ---- Why a file does not open ----
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
  TempDir s;
  kvtest::writeFile(s / "rw", "x");
  ASSERT_EQ(mkdir((s / "sub").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo((s / "fifo").c_str(), 0644), 0);
  ASSERT_EQ(symlink((s / "gone").c_str(), (s / "link").c_str()), 0);
  // Dangling: nothing is made at its target: {"link", 0, false, 1}
  // Without a writer: no hang: {"fifo", 0, true, 3}
  // Without a reader: ENXIO: {"fifo", 5, false, 7}
  // A directory never opens as a file: {"sub", 0, false, 3}
  checkRows(s.path, {{"rw", 0, true, 3},
                     {"rw", 4, true, 8},
                     {"rw", 3, false, 0},
                     {"rw", 5, true, 7},
                     {"missing", 0, false, 1},
                     {"missing", 5, true, 5},
                     {"nodir/x", 3, false, 4},
                     {"link", 5, false, 5},
                     {"fifo", 0, true, 3},
                     {"fifo", 5, false, 7},
                     {"sub", 0, false, 3},
                     {"", 0, false, 1}});
  EXPECT_FALSE(sp_FileOpenForensic(YString("x"), 0, nullptr));
  YString sentence;
  EXPECT_TRUE(sp_FileOpenForensicMsg(YString((s / "rw/x").c_str()), 5, &sentence));
  EXPECT_EQ(sentence.tocs(),
            "The file " + s / "rw/x" + " cannot be opened because its directory does not exist");
}

TEST(FileOpenForensicTest, LockHeldByAnotherProcessRefusesWritingOnly) {
  if (kvtest::childRole() == "hold")
    std::exit(holdLockInChild());
  TempDir s;
  kvtest::writeFile(s / "locked", "x");
  FileLock own;
  ASSERT_TRUE(own.lock(YString((s / "mine").c_str())));
  kvtest::writeFile(s / "mine", "x");
  auto holder = startReady("hold", s / "ready", {{"KV_LOCK_PATH", s / "locked"}});
  // Our own lock refuses nobody here: {"mine", 5, true, 7}
  checkRows(s.path, {{"locked", 0, true, 3}, {"locked", 5, false, 7}, {"mine", 5, true, 7}});
  killChild(*holder);
  EXPECT_TRUE(sp_CheckFileOpen(YString((s / "locked").c_str()), 5));
}

// ---- Copies of embedded files ----
std::string tempDir() { return QDir::tempPath().toStdString() + "/"; }

// A base name no other test run uses.
std::string unique(const char *what) { return "kvemb_" + std::to_string(getpid()) + "_" + what; }

TEST(EmbeddedFileTest, ListsNameCopiesAndDeleteThemWithTheirLastHandle) {
  const std::string base = unique("a");
  const YString embedded = y("docs/sub/" + base + ".dat");
  const mode_t umaskBefore = umask(0);
  auto first = std::make_unique<EmbeddedFileList>();
  const YString path = first->createMapping(embedded);
  umask(umaskBefore);
  EXPECT_EQ(path, y(tempDir() + base + ".dat"));
  EXPECT_EQ(modeOf(path.tocs()), 0600u) << "whatever the umask";
  EXPECT_EQ(first->createEmbeddedFile(embedded, "w"), nullptr) << "a name is held once";
  EXPECT_TRUE(first->exists(embedded));
  EXPECT_FALSE(first->exists(y("DOCS/sub/" + base + ".dat"))) << "names compare as paths";

  EmbeddedFileList second;
  std::FILE *stream = second.createEmbeddedFile(embedded, "w");
  ASSERT_NE(stream, nullptr);
  std::fputs("content", stream);
  std::fclose(stream);
  const YString numbered = second.createMapping(embedded);
  EXPECT_EQ(numbered, y(tempDir() + base + "1.dat"));
  EXPECT_EQ(kvtest::readFile(std::string(numbered.tocs())), "content");

  first->createMapping(y("y/" + base + "b.dat"));
  const EmbeddedFile copiedOut = first->entries().first();
  first.reset();
  EXPECT_TRUE(kvtest::fileExists(copiedOut.temporaryPath().tocs())) << "a handle still holds it";
  EXPECT_FALSE(kvtest::fileExists(path.tocs()));
}

TEST(EmbeddedFileTest, TakenAndPlantedNamesAreNeverOpened) {
  const std::string base = tempDir() + unique("t");
  TempDir elsewhere;
  kvtest::writeFile(elsewhere / "victim", "victim");
  ASSERT_EQ(symlink((elsewhere / "victim").c_str(), (base + ".lib").c_str()), 0);
  std::vector<std::string> taken{base + ".lib"};
  for (int n = 1; n <= 100; ++n) {
    taken.push_back(base + std::to_string(n) + ".lib");
    if (n > 1)
      kvtest::writeFile(taken.back(), "someone else's");
  }
  {
    EmbeddedFileList list, other;
    EXPECT_EQ(list.createMapping(y(unique("t") + ".lib")), y(taken[1]))
        << "the link is passed over";
    const std::string past = other.createMapping(y(unique("t") + ".lib")).tocs();
    EXPECT_EQ(past.size(), base.size() + 1 + 16 + 4) << past;
    EXPECT_EQ(past.substr(0, base.size() + 1) + past.substr(past.size() - 4), base + "-.lib");
  }
  EXPECT_EQ(kvtest::readFile(elsewhere / "victim"), "victim");
  for (size_t i = 0; i < taken.size(); ++i) {
    EXPECT_EQ(kvtest::fileExists(taken[i]), i != 1) << taken[i];
    unlink(taken[i].c_str());
  }
}

// Child side: makes KV_COUNT copies of one name (a list each), writes its
// pid into each; lists them all in KV_PATHS;
// ends when told, checking that every copy still holds what it wrote.
int makeCopies() {
  std::vector<std::unique_ptr<EmbeddedFileList>> lists;
  std::string paths;
  for (int i = 0; i < std::stoi(kvtest::env("KV_COUNT")); ++i) {
    lists.push_back(std::make_unique<EmbeddedFileList>());
    std::FILE *stream = lists.back()->createEmbeddedFile(y("d/same.dat"), "w");
    if (!stream)
      return 2;
    std::fprintf(stream, "%d", getpid());
    std::fclose(stream);
    paths += std::string(lists.back()->entries().first().temporaryPath().tocs()) + "\n";
  }
  const std::string out = kvtest::env("KV_PATHS");
  kvtest::writeFile(out + ".part", paths);
  rename((out + ".part").c_str(), out.c_str());
  if (!kvtest::waitUntil([] { return kvtest::fileExists(kvtest::env("KV_STOP")); }, 60000))
    return 3;
  for (const auto &list : lists)
    if (kvtest::readFile(std::string(list->entries().first().temporaryPath().tocs())) !=
        std::to_string(getpid()))
      return 4;
  return 0;
}

// A process that dies leaves its copies to be swept by the next; live
// processes sharing the names never share a copy, nor lose one.
TEST(EmbeddedFileTest, ProcessesNeverShareACopyAndTheDeadOnesAreSwept) {
  if (kvtest::childRole() == "copies")
    std::exit(makeCopies());
  TempDir s;
  auto start = [&](const std::string &name, int count) {
    return kvtest::startChild(self(), "copies",
                              {{"TMPDIR", s.path},
                               {"KV_COUNT", std::to_string(count)},
                               {"KV_PATHS", s / name},
                               {"KV_STOP", s / "stop"}});
  };
  auto paths = [&](const std::string &name) {
    EXPECT_TRUE(kvtest::waitUntil([&] { return kvtest::fileExists(s / name); }));
    return QString::fromStdString(kvtest::readFile(s / name)).split('\n', Qt::SkipEmptyParts);
  };
  auto dead = start("dead", 3);
  const QStringList deadPaths = paths("dead");
  const std::string deadPid = std::to_string(dead->processId());
  killChild(*dead);
  auto a = start("a", 200), b = start("b", 200);
  const QStringList all = paths("a") + paths("b");
  EXPECT_EQ(QSet<QString>(all.begin(), all.end()).size(), 400);
  // The names are free again, and the others may have taken them: what
  // counts is whether a file the dead process wrote is still there.
  ASSERT_EQ(deadPaths.size(), 3);
  for (int i = 0; i < 3; ++i)
    EXPECT_NE(kvtest::readFile(deadPaths[i]), deadPid) << deadPaths[i].toStdString();
  kvtest::touchFile(s / "stop");
  EXPECT_EQ(kvtest::waitChild(*a), 0);
  EXPECT_EQ(kvtest::waitChild(*b), 0);
  for (const QString &path : all)
    EXPECT_FALSE(QFile::exists(path)) << path.toStdString();
}

TEST(EmbeddedFileTest, ReleaseAtExitDeletesUnkeptCopiesAndListsGoOn) {
  EmbeddedFileList list;
  const YString plain = list.createMapping(y(unique("exit") + ".txt"));
  const YString kept = list.createMapping(y(unique("exitkept") + ".txt"));
  EmbeddedFile(list.entries().first()).setKeep(true);
  closeEmbeddedFiles();
  EXPECT_FALSE(kvtest::fileExists(plain.tocs()));
  EXPECT_TRUE(kvtest::fileExists(kept.tocs()));
  EXPECT_TRUE(kvtest::fileExists(list.createMapping(y(unique("later") + ".txt")).tocs()));
  closeEmbeddedFiles();
  unlink(kept.tocs());
}

// ---- Profile files ----
struct ProfileDir : TempDir {
  ~ProfileDir() { kv::files::closeInifile(); }
};

std::string get(const std::string &file, const char *section, const char *key) {
  YString value;
  return sp_GetPrivateProfileString(section, key, file.c_str(), &value) ? value.tocs() : "<absent>";
}

bool set(const std::string &file, const char *section, const char *key, const char *value) {
  return sp_WritePrivateProfileString(file.c_str(), section, key, value);
}

ProfileWriteStatus lastStatus() { return sp_GetLastProfileWriteStatus(nullptr); }

TEST(ProfileFileTest, ReadsAndWritesBack) {
  const struct {
    std::string file;
    std::string formatted;                                    // what a write writes back
    std::vector<std::pair<std::string, std::string>> lookups; // "section/key" -> value
  } cases[] = {
      // Blanks, quotes, '=' in values; of duplicate keys the later wins, both are kept.
      {"[S]\n  a = 1 \nb=\" two \"\nc=x=y\nd=\"\nquoted=\"q\nk=1\nk=2\n",
       "[S]\na=1\nb= two \nc=x=y\nd=\"\nquoted=\"q\nk=1\nk=2\n",
       {{"s/B", " two "},
        {"S/A", "1"},
        {"S/c", "x=y"},
        {"S/d", "\""},
        {"S/quoted", "\"q"},
        {"S/k", "2"}}},
      // Lines before the first header are kept but are no keys; comments keep their
      // place, '#' is text, a line without '=' or key stays as it stands.
      {"; top\nloose=1\n[S]\na=1\n   ; note  \n#x=2\njust text\n=v\n",
       "; top\nloose=1\n[S]\na=1\n; note  \n#x=2\njust text\n=v\n",
       {{"/loose", "<absent>"}, {"S/#x", "2"}, {"S/; note", "<absent>"}, {"S/", "<absent>"}}},
      // Headers differing in case merge under the first spelling; doubled brackets,
      // blanks inside the name; an empty header leaves what follows nowhere.
      {"[Opa]\na=1\n[[A]]\nk=1\n[OPA]\nb=2\n[ B ]\nk=2\n[]\nc=3\n",
       "[Opa]\na=1\nb=2\n\n[A]\nk=1\n\n[ B ]\nk=2\n",
       {{"opa/b", "2"}, {"a/k", "1"}, {" B /k", "2"}, {"B/k", "<absent>"}, {"B/c", "<absent>"}}},
      // CR dropped anywhere, NUL ends a line, BOM kept.
      {std::string("\xEF\xBB\xBF[S]\r\na=1\r\nb=x\ry\nc=3") + std::string(1, '\0') + "d=4\n",
       "\xEF\xBB\xBF[S]\na=1\nb=xy\nc=3\nd=4\n",
       {{"S/b", "xy"}, {"S/d", "4"}}},
      // A key line that would read back as a header is quoted.
      {"[S]\n[k=\"v]\"\n", "[S]\n[k=\"v]\"\n", {{"S/[k", "v]"}}},
  };
  ProfileDir dir;
  int n = 0;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.file);
    const std::string file = dir / ("p" + std::to_string(n++) + ".ini");
    kvtest::writeFile(file, c.file);
    EXPECT_EQ(sp_FormatProfileFile(y(file)).tocs(), c.formatted);
    for (const auto &[where, value] : c.lookups) {
      const size_t slash = where.find('/');
      EXPECT_EQ(get(file, where.substr(0, slash).c_str(), where.substr(slash + 1).c_str()), value)
          << where;
    }
  }
}

TEST(ProfileFileTest, ChangesPlaceLinesAndWriteOnlyWhenNeeded) {
  ProfileDir dir;
  const std::string file = dir / "c.ini";
  kvtest::writeFile(file, "[Old]\n; c\nx=1\n");
  EXPECT_TRUE(set(file, "Old", "y", "2"));
  EXPECT_TRUE(set(file, "New", "k", "v"));
  EXPECT_EQ(kvtest::readFile(file), "[New]\nk=v\n\n[Old]\n; c\nx=1\ny=2\n");

  const long long written = sp_GetProfileVersion(y(file));
  EXPECT_TRUE(set(file, "old", "X", "1")); // same value, other case of names
  EXPECT_EQ(lastStatus(), ProfileUnchanged);
  EXPECT_TRUE(set(file, "Old", "missing", nullptr));
  EXPECT_EQ(lastStatus(), ProfileUnchanged);
  EXPECT_EQ(sp_DeletePrivateProfileSection(y(file), YString("None")), 0);
  EXPECT_EQ(sp_GetProfileVersion(y(file)), written); // never rewritten, nor re-read

  EXPECT_TRUE(set(file, "Old", "x", "one")); // keeps its place
  YList<NameValuePair> pairs;
  pairs.append({YString("a"), YString("1")});
  pairs.append({YString("b"), YString(" 2")}); // written verbatim, trimmed when read
  EXPECT_TRUE(sp_WritePrivateProfileStrings(y(file), YString("New"), pairs));
  EXPECT_EQ(sp_DeletePrivateProfileSection(y(file), YString("OLD")), 3);
  EXPECT_EQ(kvtest::readFile(file), "[New]\nk=v\na=1\nb= 2\n");
  const long long version = sp_GetProfileVersion(y(file));
  EXPECT_EQ(kv::files::closeInifile(), 0);
  EXPECT_EQ(get(file, "New", "b"), "2");
  EXPECT_NE(sp_GetProfileVersion(y(file)), version); // numbers never repeat
}

// Many names of every length an index word cut meets (1 to 19 bytes), and
// sections deleted one by one: what stays is found under any case, what went
// is gone, and names alike but for one byte never answer for each other.
TEST(ProfileFileTest, LooksUpEveryNameAsSectionsComeAndGo) {
  ProfileDir dir;
  const std::string file = dir / "many.ini";
  auto keyName = [](int s, int k) {
    std::string key = std::string(1 + (s + k) % 19, 'k');
    key[key.size() - 1 - k % key.size()] = static_cast<char>('a' + k % 26);
    return key + std::to_string(k / 26);
  };
  constexpr int kSections = 24, kKeys = 60;
  std::string text;
  for (int s = 0; s < kSections; ++s) {
    text += "[Sect" + std::to_string(s) + "]\n";
    for (int k = 0; k < kKeys; ++k)
      text += keyName(s, k) + "=" + std::to_string(s * 100 + k) + "\n";
  }
  kvtest::writeFile(file, text);
  auto upper = [](std::string t) {
    for (char &c : t)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return t;
  };
  for (int gone = 0; gone <= kSections; gone += 3) {
    for (int s = 0; s < kSections; ++s)
      for (int k = 0; k < kKeys; ++k) {
        const std::string section = "Sect" + std::to_string(s);
        const std::string want = s < gone ? "<absent>" : std::to_string(s * 100 + k);
        ASSERT_EQ(get(file, upper(section).c_str(), upper(keyName(s, k)).c_str()), want)
            << section << "/" << keyName(s, k) << " after " << gone;
      }
    for (int s = gone; s < gone + 3 && s < kSections; ++s)
      EXPECT_EQ(sp_DeletePrivateProfileSection(y(file), y("sect" + std::to_string(s))), kKeys);
  }
}

TEST(ProfileFileTest, RefusesTextThatCannotBeStored) {
  const struct {
    const char *section, *key, *value;
  } refused[] = {
      {"", "k", "v"},      {"a[b", "k", "v"},   {"a]", "k", "v"}, {"s\n", "k", "v"},
      {"s", "", "v"},      {"s", "a=b", "v"},   {"s", ";k", "v"}, {"s", "[k", "v"},
      {"s", "k\r", "v"},   {"s", "k", "v\nw"},  {"s", " k", "v"}, {"s", "k\t", "v"},
      {nullptr, "k", "v"}, {"s", nullptr, "v"},
  };
  ProfileDir dir;
  const std::string file = dir / "r.ini";
  for (const auto &c : refused) {
    EXPECT_FALSE(set(file, c.section, c.key, c.value));
    EXPECT_EQ(lastStatus(), ProfileRefused);
  }
  YList<NameValuePair> pairs;
  pairs.append({YString("good"), YString("1")});
  pairs.append({YString("bad=key"), YString("2")});
  EXPECT_FALSE(sp_WritePrivateProfileStrings(y(file), YString("s"), pairs));
  EXPECT_FALSE(kvtest::fileExists(file)); // refused whole
  EXPECT_FALSE(sp_FlushPrivateProfile(YString(""), 0)) << "no file named";
}

TEST(ProfileFileTest, NeverReplacesWhatItMustNotKeepsTheChangeFollowsLinks) {
  ProfileDir dir;
  const std::string readOnly = dir / "ro.ini", fifo = dir / "fifo.ini", sub = dir / "sub.ini";
  kvtest::writeFile(readOnly, "[S]\nk=1\n");
  ::chmod(readOnly.c_str(), 0444);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(sub.c_str(), 0700), 0);
  const std::pair<std::string, int> cases[] = {
      {readOnly, EACCES}, {fifo, EINVAL}, {sub, EISDIR}, {dir / "missing/x.ini", ENOENT}};
  for (const auto &[path, expected] : cases) {
    SCOPED_TRACE(path);
    set(path, "S", "k", "2");
    int error = 0;
    EXPECT_EQ(sp_GetLastProfileWriteStatus(&error), ProfileFailed);
    EXPECT_EQ(error, expected);
    EXPECT_EQ(get(path, "S", "k"), "2"); // the process keeps its change
  }
  EXPECT_EQ(kvtest::readFile(readOnly), "[S]\nk=1\n");
  // Once the file may be written, the kept change goes out.
  ::chmod(readOnly.c_str(), 0640);
  EXPECT_TRUE(sp_FlushPrivateProfile(y(readOnly), 0));
  EXPECT_EQ(kvtest::readFile(readOnly), "[S]\nk=2\n");
  EXPECT_EQ(kv::files::closeInifile(), 3); // the other three stay unwritten

  // Through a symbolic link the file it leads to is replaced, keeping its mode.
  ProfileDir elsewhere;
  const std::string link = elsewhere / "link.ini";
  ASSERT_EQ(::symlink(readOnly.c_str(), link.c_str()), 0);
  EXPECT_TRUE(set(link, "S", "k", "3"));
  EXPECT_EQ(get(readOnly, "S", "k"), "3"); // one cache entry for both names
  EXPECT_TRUE(isLink(link));
  EXPECT_EQ(modeOf(readOnly), 0640u);
}

// Changes that leave size, second and inode as they were: an in-place edit
// shows in the nanoseconds, a peer's write that looks the same in the
// shared change counter alone.
TEST(ProfileFileTest, SeesChangesThatLookTheSame) {
  ProfileDir dir;
  const std::string file = dir / "e.ini";
  kvtest::writeFile(file, "[S]\nk=1\n");
  EXPECT_EQ(get(file, "S", "k"), "1"); // read into the cache
  struct stat info;
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  kvtest::writeFile(file, "[S]\nk=2\n");
  timespec times[2] = {info.st_atim, info.st_mtim};
  times[1].tv_nsec = (times[1].tv_nsec + 1) % 1000000000;
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  EXPECT_EQ(get(file, "S", "k"), "2");

  const long long version = sp_GetProfileVersion(y(file));
  YString canonical;
  ASSERT_TRUE(sp_GetProfileIdentity(y(file), &canonical, nullptr));
  kv::os::bumpCounter(kv::os::changeCounter(canonical.hashValue()));
  EXPECT_GT(sp_GetProfileVersion(y(file)), version);
}

// Ways an editor outside the library puts a same-size text in place of
// `file` (in `dir`), each leaving the old file's inode untouched or merely
// renamed.
const struct Exchange {
  const char *name;
  void (*make)(const std::string &dir, const std::string &file, const std::string &text);
} kExchanges[] = {
    {"renamed over",
     [](const std::string &dir, const std::string &file, const std::string &text) {
       kvtest::writeFile(dir + "/new", text);
       ASSERT_EQ(::rename((dir + "/new").c_str(), file.c_str()), 0);
     }},
    {"moved aside",
     [](const std::string &, const std::string &file, const std::string &text) {
       ASSERT_EQ(::rename(file.c_str(), (file + ".old").c_str()), 0);
       kvtest::writeFile(file, text);
     }},
    {"unlinked",
     [](const std::string &, const std::string &file, const std::string &text) {
       ASSERT_EQ(::unlink(file.c_str()), 0);
       kvtest::writeFile(file, text);
     }},
};

size_t openDescriptors() { return QDir("/proc/self/fd").entryList(QDir::Files).size(); }

TEST(ProfileFileTest, SeesEveryExchangeOfASettledFileAndADirectoryExchangedWithinASecond) {
  ProfileDir dir;
  std::vector<std::string> files;
  for (size_t i = 0; i <= std::size(kExchanges); ++i) {
    const std::string sub = dir / std::to_string(i);
    ASSERT_EQ(::mkdir(sub.c_str(), 0700), 0);
    files.push_back(sub + "/x.ini");
    kvtest::writeFile(files.back(), "[S]\nk=1\n");
  }
  // Settled: changed longer ago than any time stamp's granularity.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  for (const std::string &file : files) // read, then asked once more
    for (int i = 0; i < 2; ++i)
      EXPECT_EQ(get(file, "S", "k"), "1");
  for (size_t i = 0; i < std::size(kExchanges); ++i) {
    SCOPED_TRACE(kExchanges[i].name);
    kExchanges[i].make(dir / std::to_string(i), files[i], "[S]\nk=2\n");
    EXPECT_EQ(get(files[i], "S", "k"), "2");
  }
  // The held file itself stays as it was; only asking the path tells.
  const std::string sub = dir / std::to_string(std::size(kExchanges));
  ASSERT_EQ(::rename(sub.c_str(), (sub + ".old").c_str()), 0);
  ASSERT_EQ(::mkdir(sub.c_str(), 0700), 0);
  kvtest::writeFile(files.back(), "[S]\nk=2\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_EQ(get(files.back(), "S", "k"), "2");
}

TEST(ProfileFileTest, HoldsBoundedDescriptorsAndClosingReleasesThem) {
  ProfileDir dir;
  const size_t before = openDescriptors();
  for (int i = 0; i < 100; ++i) {
    const std::string file = dir / (std::to_string(i) + ".ini");
    kvtest::writeFile(file, "[S]\nk=" + std::to_string(i) + "\n");
    ASSERT_EQ(get(file, "S", "k"), std::to_string(i));
  }
  const size_t held = openDescriptors() - before;
  EXPECT_GT(held, 0u);
  EXPECT_LE(held, 64u);
  kv::files::closeInifile();
  EXPECT_EQ(openDescriptors(), before);
}

// ---- Several processes ----

std::string childFile() { return kvtest::env("KV_PROFILE"); }

// Sets KV_COUNT keys of section S named KV_PREFIX and a number, to KV_VALUE
// (or each to its own name), each write going out at once.
int writeKeysInChild() {
  const std::string prefix = kvtest::env("KV_PREFIX"), value = kvtest::env("KV_VALUE");
  for (int i = 0; i < std::stoi(kvtest::env("KV_COUNT")); ++i) {
    const std::string key = prefix + std::to_string(i);
    set(childFile(), "S", key.c_str(), value.empty() ? key.c_str() : value.c_str());
    if (lastStatus() != ProfileWritten && !sp_FlushPrivateProfile(y(childFile()), -1))
      return 2;
  }
  return 0;
}

int peerSets(const std::string &file, const char *prefix, const char *value) {
  return kvtest::runChild(
      self(), "keys",
      {{"KV_PROFILE", file}, {"KV_PREFIX", prefix}, {"KV_COUNT", "1"}, {"KV_VALUE", value}});
}

// Writes section W whole as one of two versions, alternately. On write
// KV_STOP_AT it ends before its rename, the temporary written and the mutex
// held; with KV_READY it first says so there and holds on for 1.5 s.
[[noreturn]] void alternateInChild() {
  static int stopAt = std::atoi(kvtest::env("KV_STOP_AT").c_str()), writes = 0;
  kv::files::profileBeforeRenameHook = [](const char *) {
    if (++writes != stopAt)
      return;
    if (!kvtest::env("KV_READY").empty()) {
      kvtest::touchFile(kvtest::env("KV_READY"));
      ::usleep(1500000);
    }
    ::_exit(0);
  };
  for (int round = 0;; ++round) {
    YList<NameValuePair> pairs;
    for (int i = 0; i < 2000; ++i)
      pairs.append(
          {YString(("k" + std::to_string(i)).c_str()), YString(round % 2 ? "odd" : "even")});
    sp_WritePrivateProfileStrings(y(childFile()), YString("W"), pairs);
  }
}

// Eight writers at once lose no key; a writer killed, or ended before its
// rename, leaves one whole version, and the next writer finds the mutex
// abandoned and clears the leftover.
TEST(ProfileFileTest, WritersInSeveralProcessesLoseNothing) {
  if (kvtest::childRole() == "keys")
    std::exit(writeKeysInChild());
  if (kvtest::childRole() == "alternate")
    alternateInChild();
  ProfileDir dir;
  const std::string shared = dir / "shared.ini", whole = dir / "whole.ini";
  std::vector<std::unique_ptr<QProcess>> children;
  for (int c = 0; c < 8; ++c)
    children.push_back(kvtest::startChild(self(), "keys",
                                          {{"KV_PROFILE", shared},
                                           {"KV_PREFIX", "c" + std::to_string(c) + "_"},
                                           {"KV_COUNT", "200"}}));
  for (auto &child : children)
    EXPECT_EQ(kvtest::waitChild(*child, 300000), 0);
  YList<YString> keys;
  ASSERT_TRUE(sp_GetProfileKeyNames(y(shared), YString("S"), &keys));
  EXPECT_EQ(keys.count(), 1600);
  EXPECT_EQ(get(shared, "S", "c7_161"), "c7_161");

  std::mt19937 random(static_cast<unsigned>(::getpid()));
  for (int run = 0; run < 6; ++run) {
    SCOPED_TRACE(run);
    const bool hook = run % 2 == 0;
    auto child = kvtest::startChild(
        self(), "alternate",
        {{"KV_PROFILE", whole}, {"KV_STOP_AT", hook ? std::to_string(2 + run) : "0"}});
    if (hook) {
      EXPECT_EQ(kvtest::waitChild(*child), 0);
      EXPECT_TRUE(kvtest::fileExists(dir / ".whole.ini.kvnew"));
    } else {
      ASSERT_TRUE(kvtest::waitUntil([&] { return kvtest::fileExists(whole); }));
      ::usleep(20000 + random() % 200000);
      killChild(*child);
    }
    kv::files::closeInifile();
    const std::string first = get(whole, "W", "k0");
    EXPECT_TRUE(first == "odd" || first == "even") << first;
    EXPECT_EQ(get(whole, "W", "k1999"), first);
    set(whole, "Mark", "run", std::to_string(run).c_str());
    EXPECT_EQ(lastStatus(), ProfileWritten);
    EXPECT_EQ(dir.entries(), (QStringList{"shared.ini", "whole.ini"}));
  }
}

TEST(ProfileFileTest, PeersChangesAreSeenAndOneMadeWhileTheyWriteIsKept) {
  if (kvtest::childRole() == "alternate")
    alternateInChild();
  if (kvtest::childRole() == "keys")
    std::exit(writeKeysInChild());
  ProfileDir dir;
  const std::string file = dir / "busy.ini";
  kvtest::writeFile(file, "[S]\na=0\n");
  auto holder = startReady("alternate", dir / "ready", {{"KV_PROFILE", file}, {"KV_STOP_AT", "1"}});
  set(file, "S", "mine", "1");
  int error = 0;
  EXPECT_EQ(sp_GetLastProfileWriteStatus(&error), ProfilePending);
  EXPECT_EQ(error, ETIMEDOUT);
  EXPECT_EQ(kvtest::waitChild(*holder), 0);
  EXPECT_EQ(peerSets(file, "theirs", "2"), 0);
  EXPECT_TRUE(sp_FlushPrivateProfile(y(file), 1000));
  EXPECT_EQ(kvtest::readFile(file), "[S]\na=0\ntheirs0=2\nmine=1\n");

  // A peer's quick changes of the same size are each seen.
  for (const char *value : {"3", "4"}) {
    ASSERT_EQ(peerSets(file, "theirs", value), 0);
    EXPECT_EQ(get(file, "S", "theirs0"), value);
  }
  // Back to what this process saw last before the peer changed it: written.
  ASSERT_EQ(peerSets(file, "theirs", "5"), 0);
  set(file, "S", "theirs0", "4");
  EXPECT_EQ(lastStatus(), ProfileWritten);
  EXPECT_EQ(kvtest::readFile(file), "[S]\na=0\ntheirs0=4\nmine=1\n");
}

} // namespace
