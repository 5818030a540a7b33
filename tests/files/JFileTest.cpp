#include "kvsupport/files/JFile.h"

#include "FilesTest.h"

namespace {

TEST(JFileTest, OpensRecordsFullPathReopensAndHandsOver) {
  kvfiles::TempDir dir;
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
  EXPECT_FALSE(file.open("out.txt", nullptr));
  QDir::setCurrent(saved);
  EXPECT_FALSE(JFile().reopen("r"));

  ASSERT_TRUE(file.reopen("r"));
  ASSERT_TRUE(other.attach(file));
  EXPECT_FALSE(file.get());
  EXPECT_FALSE(file.attach(file));
  JFile third((dir / "c").c_str(), "w");
  EXPECT_FALSE(third.attach(other)); // already holds a stream: nothing changes
  third = std::move(other);          // closes c's stream, takes out.txt's
  EXPECT_STREQ(third.getFilename().tocs(), (dir / "out.txt").c_str());
  FILE *loose = third.detach();
  ASSERT_TRUE(loose);
  EXPECT_FALSE(third.get());
  JFile adopted("adopted", loose);
  EXPECT_EQ(adopted.get(), loose); // closed once, by `adopted`
}

} // namespace
