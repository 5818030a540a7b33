#include "kvsupport/files/FileOpenForensic.h"

#include "FilesTest.h"

#include <QFileInfo>

#include <grp.h>
#include <map>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

namespace {

const char *const kPhrases[] = {
    " cannot be opened because another file of the same name already exists",
    " does not exist",
    " cannot be opened for read because of insufficient privilege",
    " cannot be opened for read possibly because it is in use by another process",
    " cannot be opened because its directory does not exist",
    " cannot be opened for write possibly because of insufficient directory privilege",
    " cannot be opened for write because of insufficient privilege",
    " cannot be opened for write possibly because it is in use by another process",
};

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
    YString sentence;
    EXPECT_TRUE(sp_FileOpenForensicMsg(name, row.mode, &sentence));
    const std::string expected =
        row.reason == 8 ? "Internal error" : "The file " + path + kPhrases[row.reason];
    EXPECT_EQ(sentence.tocs(), expected) << label;
  }
  EXPECT_EQ(snapshot(dir), before) << "a probe left a trace";
}

struct Scratch : kvfiles::TempDir {
  std::string dir = path;
  std::string at(const char *name) const { return *this / name; }
};

TEST(FileOpenForensicTest, ConditionsMadeForReal) {
  Scratch s;
  kvtest::writeFile(s.at("rw"), "x");
  ASSERT_EQ(mkdir(s.at("sub").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(s.at("fifo").c_str(), 0644), 0);
  ASSERT_EQ(symlink(s.at("gone").c_str(), s.at("link").c_str()), 0);
  // Dangling: nothing is made at its target: {"link", 0, false, 1}
  // Without a writer: no hang: {"fifo", 0, true, 3}
  // Without a reader: ENXIO: {"fifo", 5, false, 7}
  // A directory never opens as a file: {"sub", 0, false, 3}
  checkRows(s.dir, {{"rw", 0, true, 3},       {"rw", 3, false, 0},      {"rw", 4, true, 8},
                    {"rw", 5, true, 7},       {"rw", 1, true, 8},       {"missing", 0, false, 1},
                    {"missing", 3, true, 0},  {"missing", 4, true, 8},  {"missing", 5, true, 5},
                    {"nodir/x", 0, false, 1}, {"nodir/x", 3, false, 4}, {"nodir/x", 5, false, 4},
                    {"rw/x", 0, false, 1},    {"rw/x", 5, false, 4},    {"link", 0, false, 1},
                    {"link", 4, false, 8},    {"link", 5, false, 5},    {"fifo", 0, true, 3},
                    {"fifo", 5, false, 7},    {"sub", 0, false, 3},     {"sub", 5, false, 7},
                    {"", 0, false, 1},        {"", 5, false, 4}});
  EXPECT_FALSE(sp_FileOpenForensic(YString("x"), 0, nullptr));
  EXPECT_FALSE(sp_FileOpenForensicMsg(YString("x"), 0, nullptr));

  // No descriptor left (EMFILE): the file exists and may be read, yet does not open.
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  const int lowest = dup(0);
  close(lowest);
  struct rlimit full = saved;
  full.rlim_cur = static_cast<rlim_t>(lowest);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &full), 0);
  const bool opened = sp_CheckFileOpen(YString(s.at("rw").c_str()), 0);
  FileOpenForensic reason = FileOpenInternalError;
  sp_FileOpenForensic(YString(s.at("rw").c_str()), 0, &reason);
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_FALSE(opened);
  EXPECT_EQ(reason, FileOpenReadInUse);
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
  Scratch s;
  kvtest::writeFile(s.at("ro"), "x");
  kvtest::writeFile(s.at("none"), "x");
  ASSERT_EQ(mkdir(s.at("closed").c_str(), 0700), 0);
  kvtest::writeFile(s.at("closed/f"), "x");
  ASSERT_EQ(mkdir(s.at("fixed").c_str(), 0700), 0);
  chmod(s.at("ro").c_str(), 0444);
  chmod(s.at("none").c_str(), 0);
  chmod(s.at("closed").c_str(), 0600); // readable, not searchable
  chmod(s.at("fixed").c_str(), 0500);  // searchable, not writable
  // A read-only file does not pass a write test: {"ro", 5, false, 6}
  // Unknown is not "does not exist": {"closed/f", 0, false, 2}
  checkRows(s.dir, {{"ro", 0, true, 3},
                    {"ro", 3, false, 6},
                    {"ro", 4, false, 8},
                    {"ro", 5, false, 6},
                    {"none", 0, false, 2},
                    {"none", 5, false, 6},
                    {"closed/f", 0, false, 2},
                    {"closed/f", 5, false, 5},
                    {"fixed/new", 0, false, 1},
                    {"fixed/new", 3, false, 5},
                    {"fixed/new", 5, false, 5}});
  chmod(s.at("closed").c_str(), 0700);
}

// A read-only file system refuses writing whatever the rights say. The child
// mounts one in a mount namespace of its own (with a user namespace where it
// is not root); where neither is allowed the test is skipped.
constexpr int kNoNamespace = 77;

int readOnlyMountRows() {
  if (unshare(CLONE_NEWNS) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
    return kNoNamespace;
  const std::string dir = kvtest::env("KV_MOUNT_DIR");
  if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") != 0)
    return kNoNamespace;
  kvtest::writeFile(dir + "/file", "x");
  if (mount("tmpfs", dir.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) != 0)
    return kNoNamespace;
  checkRows(dir, {{"file", 0, true, 3},
                  {"file", 4, false, 8},
                  {"file", 5, false, 6},
                  {"new", 3, false, 5},
                  {"new", 5, false, 5}});
  return ::testing::Test::HasFailure() ? 1 : 0;
}

TEST(FileOpenForensicTest, ReadOnlyFileSystem) {
  if (kvtest::childRole() == "rofs")
    std::exit(readOnlyMountRows());
  Scratch s;
  const int result = kvtest::runChild(kvfiles::self(), "rofs", {{"KV_MOUNT_DIR", s.dir}});
  if (result == kNoNamespace)
    GTEST_SKIP() << "no mount namespace for a read-only file system here";
  EXPECT_EQ(result, 0);
}

TEST(FileOpenForensicTest, LockHeldByAnotherProcessRefusesWritingOnly) {
  if (kvtest::childRole() == "hold")
    std::exit(kvfiles::holdLockInChild());
  Scratch s;
  kvtest::writeFile(s.at("locked"), "x");
  FileLock own;
  ASSERT_TRUE(own.lock(YString(s.at("mine").c_str())));
  kvtest::writeFile(s.at("mine"), "x");
  auto holder = kvfiles::startReady("hold", s.at("ready"), {{"KV_LOCK_PATH", s.at("locked")}});
  // Our own lock refuses nobody here: {"mine", 5, true, 7}
  checkRows(s.dir, {{"locked", 0, true, 3},
                    {"locked", 4, false, 8},
                    {"locked", 5, false, 7},
                    {"mine", 5, true, 7}});
  kvfiles::killChild(*holder);
  EXPECT_TRUE(sp_CheckFileOpen(YString(s.at("locked").c_str()), 5));
}

} // namespace
