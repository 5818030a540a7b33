#include "kvsupport/files/EmbeddedFile.h"

#include "FilesTest.h"

#include <QSet>
#include <unistd.h>
#include <vector>

namespace {

using kvfiles::y;

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
  EXPECT_EQ(kvfiles::modeOf(path.tocs()), 0600u) << "whatever the umask";
  EXPECT_EQ(first->createEmbeddedFile(embedded, "w"), nullptr) << "a name is held once";
  EXPECT_EQ(first->createEmbeddedFile(y("x/" + base + "r.dat"), "r"), nullptr);
  EXPECT_FALSE(first->exists(y("x/" + base + "r.dat")));

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
  kvfiles::TempDir elsewhere;
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
// pid into each, and with KV_KEEP one kept copy; lists them all in KV_PATHS;
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
  if (kvtest::env("KV_KEEP") == "1") {
    EmbeddedFileList kept;
    kept.createMapping(y("kept.dat"));
    EmbeddedFile(kept.entries().first()).setKeep(true);
    paths += std::string(kept.entries().first().temporaryPath().tocs()) + "\n";
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
  kvfiles::TempDir s;
  auto start = [&](const std::string &name, int count, bool keep) {
    return kvtest::startChild(kvfiles::self(), "copies",
                              {{"TMPDIR", s.path},
                               {"KV_COUNT", std::to_string(count)},
                               {"KV_KEEP", keep ? "1" : "0"},
                               {"KV_PATHS", s / name},
                               {"KV_STOP", s / "stop"}});
  };
  auto paths = [&](const std::string &name) {
    EXPECT_TRUE(kvtest::waitUntil([&] { return kvtest::fileExists(s / name); }));
    return QString::fromStdString(kvtest::readFile(s / name)).split('\n', Qt::SkipEmptyParts);
  };
  kvtest::writeFile(s / "same.dat.unrecorded", "not ours to delete");
  auto dead = start("dead", 3, true);
  const QStringList deadPaths = paths("dead");
  const std::string deadPid = std::to_string(dead->processId());
  kvfiles::killChild(*dead);
  auto a = start("a", 200, false), b = start("b", 200, false);
  const QStringList all = paths("a") + paths("b");
  EXPECT_EQ(QSet<QString>(all.begin(), all.end()).size(), 400);
  // The names are free again, and the others may have taken them: what
  // counts is whether a file the dead process wrote is still there.
  ASSERT_EQ(deadPaths.size(), 4);
  for (int i = 0; i < 3; ++i)
    EXPECT_NE(kvtest::readFile(deadPaths[i]), deadPid) << deadPaths[i].toStdString();
  EXPECT_TRUE(QFile::exists(deadPaths[3])) << "the kept copy stays";
  EXPECT_TRUE(kvtest::fileExists(s / "same.dat.unrecorded"));
  kvtest::touchFile(s / "stop");
  EXPECT_EQ(kvtest::waitChild(*a), 0);
  EXPECT_EQ(kvtest::waitChild(*b), 0);
  for (const QString &path : all)
    EXPECT_FALSE(QFile::exists(path)) << path.toStdString();
  for (const QString &record :
       QDir(QString::fromStdString(s / ("kvembedded-" + std::to_string(geteuid())))).entryList())
    EXPECT_FALSE(record.startsWith(QString::fromStdString("rec-" + deadPid + "-")))
        << "swept with its copies";
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
  EXPECT_TRUE(kvtest::fileExists(list.createMapping(y(unique("later") + ".txt")).tocs()));
  closeEmbeddedFiles();
  unlink(kept.tocs());
}

} // namespace
