#include "kvsupport/files/JFile.h"

#include "common/ProcessSync.h"

#include <QDir>

#include <gtest/gtest.h>

#include <string>

namespace {

struct TempDir {
  std::string path = kvtest::makeTempDir("kvjfile");
  ~TempDir() { kvtest::removeTree(path); }
  std::string operator/(const std::string &name) const { return path + "/" + name; }
};

TEST(JFileTest, OpensRecordsFullPathAndReopens) {
  TempDir dir;
  const QString saved = QDir::currentPath();
  QDir::setCurrent(QString::fromStdString(dir.path));
  {
    JFile file("out.txt", "w");
    ASSERT_TRUE(file.get());
    EXPECT_STREQ(file.getFilename().tocs(), (dir / "out.txt").c_str());
    std::fputs("written", file);
    ASSERT_TRUE(file.reopen("r")); // closes (flushing) first
    char text[16] = {};
    ASSERT_TRUE(std::fgets(text, sizeof text, file));
    EXPECT_STREQ(text, "written");

    EXPECT_FALSE(file.open("missing/x", "r"));
    EXPECT_FALSE(file.get());
    EXPECT_STREQ(file.getFilename().tocs(), (dir / "out.txt").c_str()); // kept on failure
    EXPECT_TRUE(file.reopen("a"));
    EXPECT_FALSE(file.open(nullptr, "r"));
    EXPECT_FALSE(file.open("out.txt", nullptr));
  }
  QDir::setCurrent(saved);
  JFile empty;
  EXPECT_FALSE(empty.reopen("r"));
  EXPECT_FALSE(empty.get());
}

TEST(JFileTest, OwnershipMovesNeverDoubles) {
  TempDir dir;
  JFile a((dir / "a").c_str(), "w");
  JFile b;
  ASSERT_TRUE(b.attach(a));
  EXPECT_FALSE(a.get());
  EXPECT_TRUE(a.getFilename().isEmpty());
  EXPECT_STREQ(b.getFilename().tocs(), (dir / "a").c_str());
  JFile c((dir / "c").c_str(), "w");
  EXPECT_FALSE(c.attach(b)); // already holds a stream: nothing changes
  EXPECT_TRUE(b.get());
  EXPECT_FALSE(b.attach(b));

  JFile moved(std::move(c));
  EXPECT_FALSE(c.get());
  moved = std::move(b); // closes c's stream, takes a's
  EXPECT_STREQ(moved.getFilename().tocs(), (dir / "a").c_str());

  FILE *loose = moved.detach();
  ASSERT_TRUE(loose);
  EXPECT_FALSE(moved.get());
  JFile adopted("adopted", loose);
  EXPECT_EQ(adopted.get(), loose); // closed once, by `adopted`
}

} // namespace
