#include "kvsupport/files/ProfileFile.h"

#include "files/ProfileFile_p.h"
#include "os/ProfileStore_p.h"

#include "FilesTest.h"

#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <vector>

namespace {

using kvfiles::y;

struct TempDir : kvfiles::TempDir {
  ~TempDir() { kv::files::closeInifile(); }
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
       {{"S/a", "1"},
        {"s/B", " two "},
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
      {"[Opt]\na=1\n[[A]]\nk=1\n[OPT]\nb=2\n[ B ]\nk=2\n[]\nc=3\n",
       "[Opt]\na=1\nb=2\n\n[A]\nk=1\n\n[ B ]\nk=2\n",
       {{"opt/b", "2"}, {"A/k", "1"}, {" B /k", "2"}, {"B/k", "<absent>"}, {"B/c", "<absent>"}}},
      // CR dropped anywhere, NUL ends a line, BOM kept.
      {std::string("\xEF\xBB\xBF[S]\r\na=1\r\nb=x\ry\nc=3") + std::string(1, '\0') + "d=4\n",
       "\xEF\xBB\xBF[S]\na=1\nb=xy\nc=3\nd=4\n",
       {{"S/b", "xy"}, {"S/d", "4"}}},
      // A key line that would read back as a header is quoted.
      {"[S]\n[k=\"v]\"\n", "[S]\n[k=\"v]\"\n", {{"S/[k", "v]"}}},
  };
  TempDir dir;
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
  TempDir dir;
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
  EXPECT_EQ(sp_GetProfileVersion(y(dir / "none.ini")), -1);
  EXPECT_EQ(dir.entries(), QStringList{"c.ini"}); // no temporary left
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
  TempDir dir;
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
}

TEST(ProfileFileTest, NeverReplacesWhatItMustNotKeepsTheChangeFollowsLinks) {
  TempDir dir;
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
  TempDir elsewhere;
  const std::string link = elsewhere / "link.ini";
  ASSERT_EQ(::symlink(readOnly.c_str(), link.c_str()), 0);
  EXPECT_TRUE(set(link, "S", "k", "3"));
  EXPECT_EQ(get(readOnly, "S", "k"), "3"); // one cache entry for both names
  EXPECT_TRUE(kvfiles::isLink(link));
  EXPECT_EQ(kvfiles::modeOf(readOnly), 0640u);
}

// Changes that leave size, second and inode as they were: an in-place edit
// shows in the nanoseconds, a peer's write that looks the same in the
// shared change counter alone.
TEST(ProfileFileTest, SeesChangesThatLookTheSame) {
  TempDir dir;
  const std::string file = dir / "e.ini";
  kvtest::writeFile(file, "[S]\nk=1\n");
  long long version = sp_GetProfileVersion(y(file));
  EXPECT_EQ(sp_GetProfileVersion(y(file)), version); // nothing changed: no re-read
  struct stat info;
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  kvtest::writeFile(file, "[S]\nk=2\n");
  timespec times[2] = {info.st_atim, info.st_mtim};
  times[1].tv_nsec = (times[1].tv_nsec + 1) % 1000000000;
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  EXPECT_EQ(get(file, "S", "k"), "2");

  version = sp_GetProfileVersion(y(file));
  YString canonical;
  ASSERT_TRUE(sp_GetProfileIdentity(y(file), &canonical, nullptr));
  kv::os::bumpCounter(kv::os::changeCounter(canonical.hashValue()));
  EXPECT_GT(sp_GetProfileVersion(y(file)), version);
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
      kvfiles::self(), "keys",
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
  TempDir dir;
  const std::string shared = dir / "shared.ini", whole = dir / "whole.ini";
  std::vector<std::unique_ptr<QProcess>> children;
  for (int c = 0; c < 8; ++c)
    children.push_back(kvtest::startChild(kvfiles::self(), "keys",
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
        kvfiles::self(), "alternate",
        {{"KV_PROFILE", whole}, {"KV_STOP_AT", hook ? std::to_string(2 + run) : "0"}});
    if (hook) {
      EXPECT_EQ(kvtest::waitChild(*child), 0);
      EXPECT_TRUE(kvtest::fileExists(dir / ".whole.ini.kvnew"));
    } else {
      ASSERT_TRUE(kvtest::waitUntil([&] { return kvtest::fileExists(whole); }));
      ::usleep(20000 + random() % 200000);
      kvfiles::killChild(*child);
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
  TempDir dir;
  const std::string file = dir / "busy.ini";
  kvtest::writeFile(file, "[S]\na=0\n");
  auto holder =
      kvfiles::startReady("alternate", dir / "ready", {{"KV_PROFILE", file}, {"KV_STOP_AT", "1"}});
  set(file, "S", "mine", "1");
  int error = 0;
  EXPECT_EQ(sp_GetLastProfileWriteStatus(&error), ProfilePending);
  EXPECT_EQ(error, ETIMEDOUT);
  EXPECT_EQ(get(file, "S", "mine"), "1");
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
