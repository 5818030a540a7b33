#include "kvsupport/files/JFile.h"

#include "FilesTest.h"

namespace {

TEST(JFileTest, OpensRecordsFullPathAndReopens) {
  kvfiles::TempDir dir;
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
  EXPECT_FALSE(JFile().reopen("r"));
}

TEST(JFileTest, OwnershipMovesNeverDoubles) {
  kvfiles::TempDir dir;
  JFile a((dir / "a").c_str(), "w"), b, c((dir / "c").c_str(), "w");
  ASSERT_TRUE(b.attach(a));
  EXPECT_FALSE(a.get());
  EXPECT_TRUE(a.getFilename().isEmpty());
  EXPECT_STREQ(b.getFilename().tocs(), (dir / "a").c_str());
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
