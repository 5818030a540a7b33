#include "kvsupport/files/ProfileFile.h"

#include "files/ProfileFile_p.h"
#include "kvsupport/threads/YSystemMutex.h"
#include "os/ProfileStore_p.h"

#include "common/ChildProcess.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace {

struct TempDir {
  std::string path = kvtest::makeTempDir("kvprofile");
  ~TempDir() {
    kv::files::closeInifile();
    kvtest::removeTree(path);
  }
  std::string operator/(const std::string &name) const { return path + "/" + name; }
  QStringList entries() const {
    return QDir(QString::fromStdString(path))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  }
};

std::string get(const std::string &file, const char *section, const char *key) {
  YString value;
  return sp_GetPrivateProfileString(section, key, file.c_str(), &value) ? value.tocs() : "<absent>";
}

bool set(const std::string &file, const char *section, const char *key, const char *value) {
  return sp_WritePrivateProfileString(file.c_str(), section, key, value);
}

ProfileWriteStatus lastStatus() { return sp_GetLastProfileWriteStatus(nullptr); }

ino_t inodeOf(const std::string &path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

struct ParseCase {
  const char *name;
  std::string file;
  std::string formatted;                                    // what a write writes back
  std::vector<std::pair<std::string, std::string>> lookups; // "section/key" -> value
};

TEST(ProfileFileTest, ReadsAndWritesBack) {
  const ParseCase cases[] = {
      {"blanks, quotes, '=' in values",
       "[S]\n  a = 1 \nb=\" two \"\nc=x=y\nd=\"\nquoted=\"q\n",
       "[S]\na=1\nb= two \nc=x=y\nd=\"\nquoted=\"q\n",
       {{"S/a", "1"}, {"s/B", " two "}, {"S/c", "x=y"}, {"S/d", "\""}, {"S/quoted", "\"q"}}},
      {"comments keep their place, '#' is text",
       "[S]\na=1\n   ; note  \n#x=2\n",
       "[S]\na=1\n; note  \n#x=2\n",
       {{"S/#x", "2"}, {"S/; note", "<absent>"}}},
      {"headers differing in case merge under the first spelling",
       "[Opt]\na=1\n[Other]\nz=0\n[OPT]\nb=2\n",
       "[Opt]\na=1\nb=2\n\n[Other]\nz=0\n",
       {{"opt/b", "2"}}},
      {"doubled brackets, blanks inside the name",
       "[[A]]\nk=1\n[ B ]\nk=2\n",
       "[A]\nk=1\n\n[ B ]\nk=2\n",
       {{"A/k", "1"}, {" B /k", "2"}, {"B/k", "<absent>"}}},
      {"lines before the first header are kept, but are no keys",
       "; top\nloose=1\n[S]\nk=v\n",
       "; top\nloose=1\n[S]\nk=v\n",
       {{"/loose", "<absent>"}, {"S/k", "v"}}},
      {"a line without '=' or key stays as it stands",
       "[S]\njust text\n=v\nk=v\n",
       "[S]\njust text\n=v\nk=v\n",
       {{"S/k", "v"}, {"S/", "<absent>"}}},
      {"CR dropped anywhere, NUL ends a line, BOM kept",
       std::string("\xEF\xBB\xBF[S]\r\na=1\r\nb=x\ry\nc=3") + std::string(1, '\0') + "d=4\n",
       "\xEF\xBB\xBF[S]\na=1\nb=xy\nc=3\nd=4\n",
       {{"S/a", "1"}, {"S/b", "xy"}, {"S/d", "4"}}},
      {"duplicate keys: the later wins, both are kept",
       "[S]\nk=1\nk=2\n",
       "[S]\nk=1\nk=2\n",
       {{"S/k", "2"}}},
      {"an empty header leaves what follows nowhere",
       "[S]\na=1\n[]\nb=2\n[T]\nc=3\n",
       "[S]\na=1\n\n[T]\nc=3\n",
       {{"S/b", "<absent>"}, {"T/c", "3"}}},
      {"a key line that would read back as a header is quoted",
       "[S]\n[k=\"v]\"\n",
       "[S]\n[k=\"v]\"\n",
       {{"S/[k", "v]"}}},
  };
  TempDir dir;
  int n = 0;
  for (const ParseCase &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = dir / ("p" + std::to_string(n++) + ".ini");
    kvtest::writeFile(file, c.file);
    EXPECT_EQ(sp_FormatProfileFile(YString(file.c_str())).tocs(), c.formatted);
    for (const auto &lookup : c.lookups) {
      const size_t slash = lookup.first.find('/');
      EXPECT_EQ(
          get(file, lookup.first.substr(0, slash).c_str(), lookup.first.substr(slash + 1).c_str()),
          lookup.second)
          << lookup.first;
    }
    // What is written reads back as written, once values are normalised.
    kvtest::writeFile(file + ".2", c.formatted);
    const std::string second = sp_FormatProfileFile(YString((file + ".2").c_str())).tocs();
    kvtest::writeFile(file + ".3", second);
    EXPECT_EQ(sp_FormatProfileFile(YString((file + ".3").c_str())).tocs(), second);
  }
}

TEST(ProfileFileTest, ChangesPlaceLinesAndWriteOnlyWhenNeeded) {
  TempDir dir;
  const std::string file = dir / "c.ini";
  kvtest::writeFile(file, "[Old]\n; c\nx=1\n");
  EXPECT_TRUE(set(file, "Old", "y", "2"));
  EXPECT_TRUE(set(file, "New", "k", "v"));
  EXPECT_EQ(lastStatus(), ProfileWritten);
  EXPECT_EQ(kvtest::readFile(file), "[New]\nk=v\n\n[Old]\n; c\nx=1\ny=2\n");

  const ino_t before = inodeOf(file);
  EXPECT_TRUE(set(file, "old", "X", "1")); // same value, other case of names
  EXPECT_EQ(lastStatus(), ProfileUnchanged);
  EXPECT_TRUE(set(file, "Old", "missing", nullptr));
  EXPECT_EQ(lastStatus(), ProfileUnchanged);
  EXPECT_EQ(sp_DeletePrivateProfileSection(YString(file.c_str()), YString("None")), 0);
  EXPECT_EQ(inodeOf(file), before);

  EXPECT_TRUE(set(file, "Old", "x", "one")); // keeps its place
  EXPECT_EQ(kvtest::readFile(file), "[New]\nk=v\n\n[Old]\n; c\nx=one\ny=2\n");
  YList<NameValuePair> pairs;
  pairs.append({YString("a"), YString("1")});
  pairs.append({YString("b"), YString(" 2")}); // written verbatim, trimmed when read
  EXPECT_TRUE(sp_WritePrivateProfileStrings(YString(file.c_str()), YString("New"), pairs));
  EXPECT_EQ(sp_DeletePrivateProfileSection(YString(file.c_str()), YString("OLD")), 3);
  EXPECT_EQ(kvtest::readFile(file), "[New]\nk=v\na=1\nb= 2\n");
  EXPECT_EQ(get(file, "New", "b"), " 2");
  kv::files::closeInifile();
  EXPECT_EQ(get(file, "New", "b"), "2");

  YList<YString> names;
  EXPECT_TRUE(sp_GetProfileKeyNames(YString(file.c_str()), YString("new"), &names));
  EXPECT_EQ(names.count(), 3);
  EXPECT_FALSE(sp_GetProfileKeyNames(YString(file.c_str()), YString("Old"), &names));
  EXPECT_FALSE(sp_GetProfileSectionNames(YString((dir / "none.ini").c_str()), &names));
  EXPECT_EQ(sp_GetProfileTimeStamp(YString((dir / "none.ini").c_str())), -1);
  EXPECT_EQ(sp_GetProfileVersion(YString((dir / "none.ini").c_str())), -1);
  EXPECT_GE(sp_GetProfileTimeStamp(YString(file.c_str())), 1);
  EXPECT_EQ(dir.entries(), QStringList{"c.ini"}); // no temporary left
}

TEST(ProfileFileTest, RefusesTextThatCannotBeStored) {
  struct Case {
    const char *section, *key, *value;
  } const refused[] = {
      {"", "k", "v"},      {"a[b", "k", "v"},   {"a]", "k", "v"}, {"s\n", "k", "v"},
      {"s", "", "v"},      {"s", "a=b", "v"},   {"s", ";k", "v"}, {"s", "[k", "v"},
      {"s", "k\r", "v"},   {"s", "k", "v\nw"},  {"s", " k", "v"}, {"s", "k\t", "v"},
      {nullptr, "k", "v"}, {"s", nullptr, "v"},
  };
  TempDir dir;
  const std::string file = dir / "r.ini";
  for (const Case &c : refused) {
    EXPECT_FALSE(set(file, c.section, c.key, c.value));
    EXPECT_EQ(lastStatus(), ProfileRefused);
  }
  YList<NameValuePair> pairs;
  pairs.append({YString("good"), YString("1")});
  pairs.append({YString("bad=key"), YString("2")});
  EXPECT_FALSE(sp_WritePrivateProfileStrings(YString(file.c_str()), YString("s"), pairs));
  EXPECT_EQ(get(file, "s", "good"), "<absent>"); // refused whole
  EXPECT_FALSE(kvtest::fileExists(file));
}

TEST(ProfileFileTest, NeverReplacesWhatItMustNotAndKeepsTheChange) {
  TempDir dir;
  const std::string readOnly = dir / "ro.ini";
  kvtest::writeFile(readOnly, "[S]\nk=1\n");
  ::chmod(readOnly.c_str(), 0444);
  const std::string fifo = dir / "fifo.ini";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string directory = dir / "sub.ini";
  ASSERT_EQ(::mkdir(directory.c_str(), 0700), 0);

  struct Case {
    std::string path;
    int error;
  } const cases[] = {
      {readOnly, EACCES}, {fifo, EINVAL}, {directory, EISDIR}, {dir / "missing/x.ini", ENOENT}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path);
    set(c.path, "S", "k", "2");
    int error = 0;
    EXPECT_EQ(sp_GetLastProfileWriteStatus(&error), ProfileFailed);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(get(c.path, "S", "k"), "2"); // the process keeps its change
    EXPECT_FALSE(sp_FlushPrivateProfile(YString(c.path.c_str()), 0));
  }
  EXPECT_EQ(kvtest::readFile(readOnly), "[S]\nk=1\n");
  // Once the file may be written, the kept change goes out.
  ::chmod(readOnly.c_str(), 0644);
  EXPECT_TRUE(sp_FlushPrivateProfile(YString(readOnly.c_str()), 0));
  EXPECT_EQ(kvtest::readFile(readOnly), "[S]\nk=2\n");
  EXPECT_EQ(kv::files::closeInifile(), 3); // the other three stay unwritten
  EXPECT_EQ(get(fifo, "S", "k"), "<absent>");
}

TEST(ProfileFileTest, WritesThroughSymbolicLinkKeepingMode) {
  TempDir dir, elsewhere;
  const std::string real = elsewhere / "real.ini";
  kvtest::writeFile(real, "[S]\nk=1\n");
  ::chmod(real.c_str(), 0640);
  const std::string link = dir / "link.ini";
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  EXPECT_TRUE(set(link, "S", "k", "2"));
  EXPECT_EQ(get(real, "S", "k"), "2"); // one cache entry for both names
  struct stat info;
  ASSERT_EQ(::lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(::stat(real.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(kvtest::readFile(real), "[S]\nk=2\n");
  EXPECT_EQ(elsewhere.entries(), QStringList{"real.ini"});
}

TEST(ProfileFileTest, SeesInPlaceEditOfSameSizeWithinOneSecond) {
  TempDir dir;
  const std::string file = dir / "e.ini";
  kvtest::writeFile(file, "[S]\nk=1\n");
  EXPECT_EQ(get(file, "S", "k"), "1");
  const long long version = sp_GetProfileVersion(YString(file.c_str()));
  EXPECT_GE(version, 1);
  struct stat info;
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  // Rewrite in place, same size, and put the time back to within the same
  // second, one nanosecond later: only the nanoseconds tell.
  kvtest::writeFile(file, "[S]\nk=2\n");
  timespec times[2] = {info.st_atim, info.st_mtim};
  times[1].tv_nsec = (times[1].tv_nsec + 1) % 1000000000;
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  EXPECT_EQ(get(file, "S", "k"), "2");
  EXPECT_GT(sp_GetProfileVersion(YString(file.c_str())), version);
}

TEST(ProfileFileTest, ChangeCounterAloneForcesReRead) {
  // What a writer in another process leaves behind when the file's size,
  // times and inode happen to look as before: only the shared counter moved.
  TempDir dir;
  const std::string file = dir / "counter.ini";
  kvtest::writeFile(file, "[S]\nk=1\n");
  const YString name(file.c_str());
  EXPECT_EQ(get(file, "S", "k"), "1");
  const long long version = sp_GetProfileVersion(name);
  EXPECT_EQ(sp_GetProfileVersion(name), version); // nothing changed: no re-read
  YString canonical;
  ASSERT_TRUE(sp_GetProfileIdentity(name, &canonical, nullptr));
  kv::os::bumpCounter(kv::os::changeCounter(canonical.hashValue()));
  EXPECT_GT(sp_GetProfileVersion(name), version);
}

// ---- Several processes ----

std::string childFile() { return kvtest::env("KV_PROFILE"); }

int writeKeysInChild() {
  const std::string prefix = kvtest::env("KV_PREFIX");
  for (int i = 0; i < 200; ++i) {
    const std::string key = prefix + std::to_string(i);
    set(childFile(), "Keys", key.c_str(), key.c_str());
    if (lastStatus() != ProfileWritten && !sp_FlushPrivateProfile(YString(childFile().c_str()), -1))
      return 2;
  }
  return 0;
}

TEST(ProfileFileTest, ConcurrentWritersLoseNoKey) {
  if (kvtest::childRole() == "keys")
    std::exit(writeKeysInChild());
  TempDir dir;
  const std::string file = dir / "shared.ini";
  std::vector<std::unique_ptr<QProcess>> children;
  for (int c = 0; c < 8; ++c)
    children.push_back(
        kvtest::startChild("ProfileFileTest.ConcurrentWritersLoseNoKey", "keys",
                           {{"KV_PROFILE", file}, {"KV_PREFIX", "c" + std::to_string(c) + "_"}}));
  for (auto &child : children)
    EXPECT_EQ(kvtest::waitChild(*child, 300000), 0);
  YList<YString> keys;
  ASSERT_TRUE(sp_GetProfileKeyNames(YString(file.c_str()), YString("Keys"), &keys));
  EXPECT_EQ(keys.count(), 1600);
  for (int c = 0; c < 8; ++c)
    for (int i = 0; i < 200; i += 37) {
      const std::string key = "c" + std::to_string(c) + "_" + std::to_string(i);
      EXPECT_EQ(get(file, "Keys", key.c_str()), key);
    }
  EXPECT_EQ(dir.entries(), QStringList{"shared.ini"});
}

// Writes the whole file as one of two versions, alternately; the test hook
// stops the writer before its rename on the Nth write when asked.
int alternateInChild() {
  const int stopAt = std::atoi(kvtest::env("KV_STOP_AT").c_str());
  static int writes = 0;
  if (stopAt > 0)
    kv::files::profileBeforeRenameHook = [](const char *) {
      if (++writes == std::atoi(kvtest::env("KV_STOP_AT").c_str()))
        ::_exit(0); // holding the mutex, temporary written
    };
  for (int round = 0;; ++round) {
    YList<NameValuePair> pairs;
    const std::string value = round % 2 ? "odd" : "even";
    for (int i = 0; i < 2000; ++i)
      pairs.append({YString(("k" + std::to_string(i)).c_str()), YString(value.c_str())});
    sp_WritePrivateProfileStrings(YString(childFile().c_str()), YString("S"), pairs);
  }
}

// Every key of section S holds the same value, and all 2000 are there.
void expectWholeVersion(const std::string &file) {
  kv::files::closeInifile();
  YList<YString> keys;
  ASSERT_TRUE(sp_GetProfileKeyNames(YString(file.c_str()), YString("S"), &keys));
  EXPECT_EQ(keys.count(), 2000);
  const std::string first = get(file, "S", "k0");
  EXPECT_TRUE(first == "odd" || first == "even") << first;
  for (int i = 0; i < 2000; i += 97)
    EXPECT_EQ(get(file, "S", ("k" + std::to_string(i)).c_str()), first);
}

TEST(ProfileFileTest, InterruptedWritersLeaveOneWholeVersion) {
  if (kvtest::childRole() == "alternate")
    alternateInChild();
  TempDir dir;
  const std::string file = dir / "whole.ini";
  std::mt19937 random(static_cast<unsigned>(::getpid()));
  for (int run = 0; run < 6; ++run) {
    SCOPED_TRACE(run);
    const bool hook = run % 2 == 0;
    auto child = kvtest::startChild(
        "ProfileFileTest.InterruptedWritersLeaveOneWholeVersion", "alternate",
        {{"KV_PROFILE", file}, {"KV_STOP_AT", hook ? std::to_string(2 + run) : "0"}});
    if (hook) {
      EXPECT_EQ(kvtest::waitChild(*child), 0);
      EXPECT_TRUE(kvtest::fileExists(dir / ".whole.ini.kvnew"));
    } else {
      ASSERT_TRUE(kvtest::waitUntil([&] { return kvtest::fileExists(file); }));
      ::usleep(20000 + random() % 200000);
      ::kill(static_cast<pid_t>(child->processId()), SIGKILL);
      child->waitForFinished();
    }
    expectWholeVersion(file);
    // The next writer finds the mutex abandoned and clears the leftover.
    set(file, "Mark", "run", std::to_string(run).c_str());
    EXPECT_EQ(lastStatus(), ProfileWritten);
    EXPECT_EQ(dir.entries(), QStringList{"whole.ini"});
  }
}

int holdMutexInChild() {
  char *canonical = ::realpath(childFile().c_str(), nullptr);
  YString name("kv_mutex_inifile_");
  name &= YString(static_cast<unsigned long long>(YString(canonical).hashValue()));
  std::free(canonical);
  YSystemMutex mutex(name);
  if (!mutex.wait(1000))
    return 2;
  kvtest::touchFile(kvtest::env("KV_READY"));
  ::usleep(1500000);
  return 0;
}

int setOneKeyInChild() {
  set(childFile(), kvtest::env("KV_SECTION").c_str(), kvtest::env("KV_KEY").c_str(),
      kvtest::env("KV_VALUE").c_str());
  return lastStatus() == ProfileWritten ? 0 : 2;
}

TEST(ProfileFileTest, ChangeWhileMutexIsHeldIsKeptAndFlushed) {
  const std::string role = kvtest::childRole();
  if (role == "hold")
    std::exit(holdMutexInChild());
  if (role == "set")
    std::exit(setOneKeyInChild());
  TempDir dir;
  const std::string file = dir / "busy.ini";
  const std::string test = "ProfileFileTest.ChangeWhileMutexIsHeldIsKeptAndFlushed";
  kvtest::writeFile(file, "[S]\na=0\n");
  auto holder =
      kvtest::startChild(test, "hold", {{"KV_PROFILE", file}, {"KV_READY", dir / "ready"}});
  ASSERT_TRUE(kvtest::waitUntil([&] { return kvtest::fileExists(dir / "ready"); }));
  set(file, "S", "mine", "1");
  int error = 0;
  EXPECT_EQ(sp_GetLastProfileWriteStatus(&error), ProfilePending);
  EXPECT_EQ(error, ETIMEDOUT);
  EXPECT_EQ(get(file, "S", "mine"), "1");
  EXPECT_EQ(kvtest::waitChild(*holder), 0);
  EXPECT_EQ(
      kvtest::runChild(
          test, "set",
          {{"KV_PROFILE", file}, {"KV_SECTION", "S"}, {"KV_KEY", "theirs"}, {"KV_VALUE", "2"}}),
      0);
  EXPECT_TRUE(sp_FlushPrivateProfile(YString(file.c_str()), 1000));
  EXPECT_EQ(lastStatus(), ProfileWritten);
  EXPECT_EQ(kvtest::readFile(file), "[S]\na=0\ntheirs=2\nmine=1\n");
}

TEST(ProfileFileTest, SeesPeersQuickSameSizeChanges) {
  const std::string role = kvtest::childRole();
  if (role == "set")
    std::exit(setOneKeyInChild());
  TempDir dir;
  const std::string file = dir / "peer.ini";
  const std::string test = "ProfileFileTest.SeesPeersQuickSameSizeChanges";
  auto peerSets = [&](const char *value) {
    return kvtest::runChild(
        test, "set",
        {{"KV_PROFILE", file}, {"KV_SECTION", "S"}, {"KV_KEY", "k"}, {"KV_VALUE", value}});
  };
  ASSERT_TRUE(set(file, "S", "k", "1"));
  for (const char *value : {"2", "3", "4"}) { // each write the same size
    ASSERT_EQ(peerSets(value), 0);
    EXPECT_EQ(get(file, "S", "k"), value);
  }
  // Back to what this process saw last before the peer changed it: written.
  ASSERT_EQ(peerSets("5"), 0);
  set(file, "S", "k", "4");
  EXPECT_EQ(lastStatus(), ProfileWritten);
  EXPECT_EQ(kvtest::readFile(file), "[S]\nk=4\n");
}

TEST(ProfileFileTest, CloseStartsEmptyWithFreshVersions) {
  TempDir dir;
  const std::string file = dir / "close.ini";
  ASSERT_TRUE(set(file, "S", "k", "1"));
  const long long version = sp_GetProfileVersion(YString(file.c_str()));
  EXPECT_EQ(kv::files::closeInifile(), 0);
  EXPECT_EQ(lastStatus(), ProfileUnchanged);
  EXPECT_EQ(get(file, "S", "k"), "1");
  EXPECT_NE(sp_GetProfileVersion(YString(file.c_str())), version); // numbers never repeat
}

} // namespace
