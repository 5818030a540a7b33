#include "kvsupport/files/PathName.h"

#include "common/ProcessSync.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

namespace {

struct SplitCase {
  const char *path, *drive, *directory, *baseName, *extension;
};

TEST(PathNameTest, SplitsIntoFourParts) {
  const SplitCase cases[] = {
      {"C:\\dir\\name.tar.gz", "C:", "\\dir\\", "name.tar", ".gz"},
      {"/usr/lib/libx.so", "", "/usr/lib/", "libx", ".so"},
      {"C:/a\\b/c.txt", "C:", "/a\\b/", "c", ".txt"},
      {"name", "", "", "name", ""},
      {".bashrc", "", "", "", ".bashrc"},
      {"dir.d/file", "", "dir.d/", "file", ""},
      {"a/b.c/", "", "a/b.c/", "", ""},
      {"file.", "", "", "file", "."},
      {"C:", "C:", "", "", ""},
      {"c:rel.txt", "c:", "", "rel", ".txt"},
      {"1:x", "", "", "1:x", ""},
      {"/", "", "/", "", ""},
      {"", "", "", "", ""},
  };
  for (const SplitCase &c : cases) {
    PathName parts;
    sp_SplitPath(YString(c.path), &parts);
    EXPECT_STREQ(parts.drive.tocs(), c.drive) << c.path;
    EXPECT_STREQ(parts.directory.tocs(), c.directory) << c.path;
    EXPECT_STREQ(parts.baseName.tocs(), c.baseName) << c.path;
    EXPECT_STREQ(parts.extension.tocs(), c.extension) << c.path;
    // Joining gives the path back, in '/' separators.
    EXPECT_STREQ(sp_MakePath(parts).tocs(), sp_ConvertLocalToUnix(YString(c.path)).tocs());
  }
  sp_SplitPath(YString("x"), nullptr); // no parts to fill: nothing happens
}

TEST(PathNameTest, PartsAreBoundedAt256Characters) {
  const std::string e2 = "\xC3\xA9";         // one UTF-16 unit in two bytes
  const std::string g4 = "\xF0\x9D\x84\x9E"; // a surrogate pair in four bytes
  auto repeat = [](const std::string &unit, int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
      s += unit;
    return s;
  };
  struct BoundCase {
    std::string path;
    bool fits;
  };
  const BoundCase cases[] = {
      {"/" + repeat("d", 254) + "/f.x", true},   // directory of 256
      {"/" + repeat("d", 255) + "/f.x", false},  // directory of 257
      {"d/" + repeat("b", 256) + ".x", true},    // base name of 256
      {"d/" + repeat("b", 257) + ".x", false},   // base name of 257
      {"d/b." + repeat("x", 255), true},         // extension of 256
      {"d/b." + repeat("x", 256), false},        // extension of 257
      {"d/" + repeat(e2, 256), true},            // 512 bytes, 256 units
      {"d/" + repeat(g4, 128), true},            // 256 units
      {"d/" + repeat(g4, 128) + "a", false},     // 257 units
      {"C:" + repeat("/", 256) + "n.x", true},   // the drive is not counted
  };
  for (const BoundCase &c : cases) {
    PathName parts;
    parts.baseName = YString("stale");
    sp_SplitPath(YString(c.path.c_str()), &parts);
    if (c.fits) {
      EXPECT_STREQ(sp_MakePath(parts).tocs(), c.path.c_str());
    } else {
      EXPECT_TRUE(parts.drive.isEmpty() && parts.directory.isEmpty() &&
                  parts.baseName.isEmpty() && parts.extension.isEmpty())
          << c.path.size();
    }
  }
}

TEST(PathNameTest, ConvertsSeparatorsOverTheWholePath) {
  std::string longPath;
  for (int i = 0; i < 100; ++i)
    longPath += "dir\\";
  const YString unix = sp_ConvertLocalToUnix(YString(longPath.c_str()));
  EXPECT_EQ(std::string(unix.tocs()).find('\\'), std::string::npos);
  EXPECT_STREQ(sp_ConvertLocalToUnix(YString("C:\\a/b\\")).tocs(), "C:/a/b/");
  EXPECT_STREQ(sp_ConvertUnixToLocal(YString("/a/b")).tocs(), "/a/b");
  EXPECT_STREQ(sp_ConvertLocalToUnix(YString()).tocs(), "");
}

TEST(PathNameTest, CleansAndMakesAbsolute) {
  const std::pair<const char *, const char *> clean[] = {
      {"/a//b/./c/", "/a/b/c"}, {"a\\b\\..\\c", "a/c"}, {"/a/b/../../..", "/.."},
      {"./x", "x"},             {"", ""},               {"C:/a/../b", "C:/b"},
  };
  for (const auto &[path, expected] : clean)
    EXPECT_STREQ(sp_CleanPath(YString(path)).tocs(), expected) << path;

  const std::string cwd = QDir::currentPath().toStdString();
  EXPECT_STREQ(sp_GetFullPath(YString("sub/f.txt")).tocs(), (cwd + "/sub/f.txt").c_str());
  EXPECT_STREQ(sp_GetFullPath(YString("sub\\f.txt")).tocs(), (cwd + "/sub/f.txt").c_str());
  EXPECT_STREQ(sp_GetFullPath(YString("/x/../y")).tocs(), "/y");
  EXPECT_STREQ(sp_GetFullPath(YString()).tocs(), "");

  const std::pair<const char *, bool> relative[] = {
      {"a/b", true}, {"/a", false}, {"\\a", false}, {"", true}, {"C:/a", true}, {".", true}};
  for (const auto &[path, expected] : relative)
    EXPECT_EQ(sp_IsRelativePath(YString(path)), expected) << path;
}

TEST(PathNameTest, TakesDirectoryNameAndExtension) {
  const std::pair<const char *, const char *> dirs[] = {
      {"C:\\a\\b.txt", "C:\\a"}, {"/usr/lib/x.so", "/usr/lib"}, {"/x", "/"},
      {"name.txt", ""},          {"a/b/", "a/b"},               {"C:x", "C:"},
  };
  for (const auto &[path, expected] : dirs)
    EXPECT_STREQ(sp_GetDirFromPath(path).tocs(), expected) << path;
  EXPECT_STREQ(sp_GetDirFromPath(nullptr).tocs(), "");

  EXPECT_STREQ(sp_GetFileName(YString("/a/b.tar.gz")).tocs(), "b.tar.gz");
  EXPECT_STREQ(sp_GetFileName(YString("/a/b/")).tocs(), "");
  EXPECT_STREQ(sp_GetFileExt(YString("/a/b.tar.gz")).tocs(), ".gz");
  EXPECT_STREQ(sp_GetFileExt(YString("/a.d/b")).tocs(), "");
}

TEST(PathNameTest, RelativePaths) {
  struct RelativeCase {
    const char *path, *base, *expected;
  };
  const RelativeCase cases[] = {
      {"C:/a/c/f.txt", "C:/a/b", "../c/f.txt"},
      {"C:/a", "C:/a/b", ".."},
      {"C:/a/b", "C:/a/b", "."},
      {"C:/a/b", "C:/a/b/", "."},
      {"C:/a/c/f.txt", "C:/a/b/", "../c/f.txt"},
      {"D:/a", "C:/a/b", "D:/a"},
      {"c:/a/x", "C:/a", "x"}, // drive letters ignore case
      {"C:\\a\\c\\f.txt", "C:/a/b", "../c/f.txt"},
      {"/home/u/p/x.cir", "/home/u", "p/x.cir"},
      {"/home/u/P", "/home/u/p", "../P"}, // file names are case-sensitive here
      {"/", "/a/b", "../.."},
      {"/a/./b/../c", "/a", "c"},
      {"/a/b", "", "/a/b"},
      {"rel/x", "/abs", "rel/x"},
      {"/abs/x", "rel", "/abs/x"},
      {"x/y", "x", "y"},
  };
  for (const RelativeCase &c : cases)
    EXPECT_STREQ(sp_RelativePath(YString(c.path), YString(c.base)).tocs(), c.expected)
        << c.path << " from " << c.base;

  // Whatever comes back leads from the base to the path.
  const char *paths[] = {"/a/b/c", "/a/x/y/z", "/q", "/a/b/c/d/e"};
  for (const char *path : paths)
    for (const char *base : paths) {
      const YString relative = sp_RelativePath(YString(path), YString(base));
      const std::string joined = std::string(base) + "/" + relative.tocs();
      EXPECT_STREQ(sp_CleanPath(YString(joined.c_str())).tocs(), path) << base;
    }
}

TEST(PathNameTest, ComparesByFileIdentity) {
  const std::string dir = kvtest::makeTempDir("kvpath");
  const std::string file = dir + "/File.txt";
  kvtest::touchFile(file);
  kvtest::touchFile(dir + "/file.txt"); // another file, differing only in case
  ASSERT_EQ(::link(file.c_str(), (dir + "/hard").c_str()), 0);
  ASSERT_EQ(::symlink(file.c_str(), (dir + "/soft").c_str()), 0);
  const YString f(file.c_str());

  EXPECT_TRUE(sp_ComparePaths(f, f));
  EXPECT_TRUE(sp_ComparePaths(f, YString((dir + "/./File.txt").c_str())));
  EXPECT_TRUE(sp_ComparePaths(f, YString((dir + "//File.txt").c_str())));
  EXPECT_TRUE(sp_ComparePaths(f, YString((dir + "/hard").c_str())));
  EXPECT_TRUE(sp_ComparePaths(YString((dir + "/soft").c_str()), f));
  EXPECT_FALSE(sp_ComparePaths(f, YString((dir + "/file.txt").c_str())));
  EXPECT_TRUE(sp_ComparePaths(YString(dir.c_str()), YString((dir + "/").c_str())));
  EXPECT_FALSE(sp_ComparePaths(YString((dir + "/missing").c_str()), f));
  EXPECT_FALSE(
      sp_ComparePaths(YString((dir + "/missing").c_str()), YString((dir + "/missing2").c_str())));
  kvtest::removeTree(dir);
}

} // namespace
