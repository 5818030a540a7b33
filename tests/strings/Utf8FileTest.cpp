#include "kvsupport/strings/Utf8File.h"

#include "common/TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>

namespace {

bool writeFile(const std::string &path, const char *mode, const char *text) {
  FILE *file = fopen_utf8(path.c_str(), mode);
  if (!file)
    return false;
  std::fputs(text, file);
  return std::fclose(file) == 0;
}

class Utf8FileTest : public ::testing::Test {
protected:
  QTemporaryDir dir;
  std::string path(const char *name) { return dir.path().toStdString() + "/" + name; }
};

TEST_F(Utf8FileTest, OpensByUtf8NameInEveryMode) {
  const std::string name = path("gr\xC3\xBC\xC3\x9F"
                                "e-\xE6\x97\xA5\xE6\x9C\xAC.txt");
  ASSERT_TRUE(writeFile(name, "w", "first"));
  EXPECT_EQ(kvtest::readFile(name), "first");
  ASSERT_TRUE(writeFile(name, "at", "+more"));
  ASSERT_TRUE(writeFile(name, "r+b, ccs=UTF-8", "F"));
  EXPECT_EQ(kvtest::readFile(name), "First+more");

  FILE *file = nullptr;
  ASSERT_EQ(fopen_s_utf8(&file, name.c_str(), "r"), 0);
  // Streams are not inherited by child programs.
  EXPECT_NE(fcntl(fileno(file), F_GETFD) & FD_CLOEXEC, 0);
  std::fclose(file);

  struct Failure {
    const char *path;
    const char *mode;
    int error;
  };
  const std::string missing = path("missing");
  const std::string directory = dir.path().toStdString();
  const Failure failures[] = {
      {missing.c_str(), "r", ENOENT},     {missing.c_str(), "x", EINVAL},   {nullptr, "r", EINVAL},
      {missing.c_str(), nullptr, EINVAL}, {directory.c_str(), "w", EISDIR},
  };
  for (const Failure &f : failures) {
    SCOPED_TRACE(std::string(f.path ? f.path : "(null)") + " " + (f.mode ? f.mode : "(null)"));
    file = reinterpret_cast<FILE *>(1);
    EXPECT_EQ(fopen_s_utf8(&file, f.path, f.mode), f.error);
    EXPECT_EQ(file, nullptr);
    errno = 0;
    EXPECT_EQ(fopen_utf8(f.path, f.mode), nullptr);
    EXPECT_EQ(errno, f.error);
  }
}

// The errno of a call that answers -1, or -100 for any other answer.
int errorOf(int result) { return result == -1 ? errno : -100; }

TEST_F(Utf8FileTest, RenameNeverReplacesAndStatDescribesTheFile) {
  const std::string a = path("\xC3\xA9t\xC3\xA9-a");
  const std::string b = path("\xC3\xA9t\xC3\xA9-b");
  ASSERT_TRUE(writeFile(a, "wb", "twelve bytes"));
  Stat64 info{};
  ASSERT_EQ(stat_utf8(a.c_str(), &info), 0);
  EXPECT_EQ(info.size, 12);

  EXPECT_EQ(rename_utf8(a.c_str(), b.c_str()), 0);
  ASSERT_TRUE(writeFile(a, "wb", "other"));
  EXPECT_EQ(errorOf(rename_utf8(a.c_str(), b.c_str())), EEXIST);
  EXPECT_EQ(kvtest::readFile(a), "other");
  EXPECT_EQ(kvtest::readFile(b), "twelve bytes");
  EXPECT_EQ(unlink_utf8(b.c_str()), 0);
  EXPECT_EQ(errorOf(stat_utf8(b.c_str(), &info)), ENOENT);
}

} // namespace
