#include "kvsupport/files/EmbeddedFile.h"

#include "common/ChildProcess.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string tempDir() { return QDir::tempPath().toStdString(); }

// A base name no other test run uses.
std::string unique(const char *what) { return "kvemb_" + std::to_string(getpid()) + "_" + what; }

YString y(const std::string &text) { return YString(text.c_str()); }

TEST(EmbeddedFileTest, ListsNameCopiesAndDeleteThemWithTheirLastHandle) {
  const std::string base = unique("a");
  const YString embedded = y("docs/sub/" + base + ".dat");
  const mode_t umaskBefore = umask(0);
  auto first = std::make_unique<EmbeddedFileList>();
  const YString path = first->createMapping(embedded);
  umask(umaskBefore);
  EXPECT_EQ(path, y(tempDir() + "/" + base + ".dat"));
  struct stat info;
  ASSERT_EQ(stat(path.tocs(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "whatever the umask";

  EXPECT_EQ(first->createEmbeddedFile(embedded, "w"), nullptr) << "a name is held once";
  EXPECT_TRUE(first->exists(embedded));
  EXPECT_EQ(first->createEmbeddedFile(y("x/" + base + "r.dat"), "r"), nullptr);
  EXPECT_FALSE(first->exists(y("x/" + base + "r.dat")));

  EmbeddedFileList second;
  std::FILE *stream = second.createEmbeddedFile(embedded, "w");
  ASSERT_NE(stream, nullptr);
  std::fputs("content", stream);
  std::fclose(stream);
  const YString numbered = second.createMapping(embedded);
  EXPECT_EQ(numbered, y(tempDir() + "/" + base + "1.dat"));
  EXPECT_EQ(kvtest::readFile(std::string(numbered.tocs())), "content");

  first->createMapping(y("y/" + base + "b.dat"));
  const EmbeddedFile copiedOut = first->entries().first();
  first.reset();
  EXPECT_TRUE(kvtest::fileExists(copiedOut.temporaryPath().tocs())) << "a handle still holds it";
  EXPECT_FALSE(kvtest::fileExists(path.tocs()));
}

TEST(EmbeddedFileTest, TakenAndPlantedNamesAreNeverOpened) {
  const std::string base = unique("t");
  const std::string dir = tempDir() + "/";
  const std::string target = kvtest::makeTempDir("kvembtarget") + "/victim";
  kvtest::writeFile(target, "victim");
  ASSERT_EQ(symlink(target.c_str(), (dir + base + ".lib").c_str()), 0);
  std::vector<std::string> taken{dir + base + ".lib"};
  for (int n = 1; n <= 100; ++n) {
    taken.push_back(dir + base + std::to_string(n) + ".lib");
    if (n > 1)
      kvtest::writeFile(taken.back(), "someone else's");
  }
  {
    EmbeddedFileList list;
    const YString first = list.createMapping(y(base + ".lib"));
    EXPECT_EQ(first, y(taken[1])) << "the planted link is passed over";
    EmbeddedFileList other;
    const std::string past = other.createMapping(y(base + ".lib")).tocs();
    ASSERT_EQ(past.size(), dir.size() + base.size() + 1 + 16 + 4) << past;
    EXPECT_EQ(past.compare(0, dir.size() + base.size() + 1, dir + base + "-"), 0) << past;
    EXPECT_EQ(past.substr(past.size() - 4), ".lib");
  }
  EXPECT_EQ(kvtest::readFile(target), "victim");
  for (size_t i = 1; i < taken.size(); ++i)
    EXPECT_EQ(kvtest::fileExists(taken[i]), i > 1) << taken[i];
  for (const std::string &path : taken)
    unlink(path.c_str());
  kvtest::removeTree(target.substr(0, target.rfind('/')));
}

// Child side: makes KV_COUNT copies of one name (a list each), writes its
// pid into each, says so, and ends when told, checking that every copy still
// holds what it wrote; KV_KEEP copies are kept and let go at once.
int makeCopies() {
  const int count = std::stoi(kvtest::env("KV_COUNT"));
  std::vector<std::unique_ptr<EmbeddedFileList>> lists;
  std::string paths;
  for (int i = 0; i < count; ++i) {
    lists.push_back(std::make_unique<EmbeddedFileList>());
    std::FILE *stream = lists.back()->createEmbeddedFile(y("d/same.dat"), "w");
    if (!stream)
      return 2;
    std::fprintf(stream, "%d", getpid());
    std::fclose(stream);
    paths += std::string(lists.back()->entries().first().temporaryPath().tocs()) + "\n";
  }
  if (kvtest::env("KV_KEEP") == "1") {
    EmbeddedFileList kept;
    kept.createMapping(y("kept.dat"));
    EmbeddedFile(kept.entries().first()).setKeep(true);
    paths += std::string(kept.entries().first().temporaryPath().tocs()) + "\n";
  }
  kvtest::writeFile(kvtest::env("KV_PATHS") + ".part", paths);
  rename((kvtest::env("KV_PATHS") + ".part").c_str(), kvtest::env("KV_PATHS").c_str());
  if (!kvtest::waitUntil([] { return kvtest::fileExists(kvtest::env("KV_STOP")); }, 60000))
    return 3;
  for (const auto &list : lists)
    if (kvtest::readFile(std::string(list->entries().first().temporaryPath().tocs())) !=
        std::to_string(getpid()))
      return 4;
  return 0;
}

std::vector<std::string> lines(const std::string &text) {
  std::vector<std::string> all;
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    all.push_back(text.substr(start, end - start));
  return all;
}

struct Scratch {
  std::string dir = kvtest::makeTempDir("kvembedded");
  ~Scratch() { kvtest::removeTree(dir); }
  std::unique_ptr<QProcess> start(const char *test, const std::string &name, int count,
                                  bool keep = false) const {
    return kvtest::startChild(test, "copies",
                              {{"TMPDIR", dir},
                               {"KV_COUNT", std::to_string(count)},
                               {"KV_KEEP", keep ? "1" : "0"},
                               {"KV_PATHS", dir + "/" + name + ".paths"},
                               {"KV_STOP", dir + "/stop"}});
  }
  std::vector<std::string> paths(const std::string &name) const {
    EXPECT_TRUE(kvtest::waitUntil([&] { return kvtest::fileExists(dir + "/" + name + ".paths"); }));
    return lines(kvtest::readFile(dir + "/" + name + ".paths"));
  }
};

TEST(EmbeddedFileTest, TwoProcessesNeverShareACopy) {
  if (kvtest::childRole() == "copies")
    std::exit(makeCopies());
  Scratch s;
  const char *self = "EmbeddedFileTest.TwoProcessesNeverShareACopy";
  auto a = s.start(self, "a", 200);
  auto b = s.start(self, "b", 200);
  std::set<std::string> all;
  for (const char *name : {"a", "b"})
    for (const std::string &path : s.paths(name))
      all.insert(path);
  EXPECT_EQ(all.size(), 400u);
  kvtest::touchFile(s.dir + "/stop");
  EXPECT_EQ(kvtest::waitChild(*a), 0);
  EXPECT_EQ(kvtest::waitChild(*b), 0);
  for (const std::string &path : all)
    EXPECT_FALSE(kvtest::fileExists(path)) << path;
}

TEST(EmbeddedFileTest, ADeadProcessesCopiesAreSweptALiveOnesKept) {
  if (kvtest::childRole() == "copies")
    std::exit(makeCopies());
  Scratch s;
  const char *self = "EmbeddedFileTest.ADeadProcessesCopiesAreSweptALiveOnesKept";
  const std::string stranger = s.dir + "/same.dat.unrecorded";
  kvtest::writeFile(stranger, "not ours to delete");
  auto dead = s.start(self, "dead", 3, true);
  const std::vector<std::string> deadPaths = s.paths("dead");
  const std::string deadRecord = "rec-" + std::to_string(dead->processId()) + "-";
  const std::string deadPid = std::to_string(dead->processId());
  dead->kill();
  dead->waitForFinished();
  auto alive = s.start(self, "alive", 2);
  const std::vector<std::string> alivePaths = s.paths("alive");
  auto sweeper = s.start(self, "sweeper", 1);
  s.paths("sweeper");
  // The names are free again, and the others may have taken them: what
  // counts is whether a file the dead process wrote is still there.
  ASSERT_EQ(deadPaths.size(), 4u);
  for (size_t i = 0; i < 3; ++i)
    EXPECT_NE(kvtest::readFile(deadPaths[i]), deadPid) << deadPaths[i];
  EXPECT_TRUE(kvtest::fileExists(deadPaths[3])) << "the kept copy stays";
  for (const std::string &path : alivePaths)
    EXPECT_TRUE(kvtest::fileExists(path)) << path;
  EXPECT_TRUE(kvtest::fileExists(stranger));
  kvtest::touchFile(s.dir + "/stop");
  EXPECT_EQ(kvtest::waitChild(*alive), 0);
  EXPECT_EQ(kvtest::waitChild(*sweeper), 0);
  const QStringList records =
      QDir(QString::fromStdString(s.dir + "/kvembedded-" + std::to_string(geteuid())))
          .entryList(QDir::Files);
  for (const QString &record : records)
    EXPECT_FALSE(record.startsWith(QString::fromStdString(deadRecord))) << "swept with its copies";
}

TEST(EmbeddedFileTest, ReleaseAtExitDeletesUnkeptCopiesAndListsGoOn) {
  EmbeddedFileList list;
  const YString plain = list.createMapping(y(unique("exit") + ".txt"));
  const YString kept = list.createMapping(y(unique("exitkept") + ".txt"));
  EmbeddedFile(list.entries().first()).setKeep(true);
  closeEmbeddedFiles();
  EXPECT_FALSE(kvtest::fileExists(plain.tocs()));
  EXPECT_TRUE(kvtest::fileExists(kept.tocs()));
  EXPECT_EQ(list.entries().last().temporaryPath(), YString());
  const YString later = list.createMapping(y(unique("later") + ".txt"));
  EXPECT_TRUE(kvtest::fileExists(later.tocs()));
  closeEmbeddedFiles();
  unlink(kept.tocs());
}

} // namespace
