#include "kvsupport/files/PathName.h"

#include "FilesTest.h"

namespace {

TEST(PathNameTest, SplitsIntoFourParts) {
  const struct {
    const char *path, *drive, *directory, *baseName, *extension;
  } cases[] = {
      {"C:\\dir\\name.tar.gz", "C:", "\\dir\\", "name.tar", ".gz"},
      {"/usr/lib/libx.so", "", "/usr/lib/", "libx", ".so"},
      {"C:/a\\b/c.txt", "C:", "/a\\b/", "c", ".txt"},
      {"name", "", "", "name", ""},
      {".bashrc", "", "", "", ".bashrc"},
      {"dir.d/file", "", "dir.d/", "file", ""},
      {"a/b.c/", "", "a/b.c/", "", ""},
      {"file.", "", "", "file", "."},
      {"C:", "C:", "", "", ""},
      {"z:rel.txt", "z:", "", "rel", ".txt"},
      {"Z:\\", "Z:", "\\", "", ""},
      {"1:x", "", "", "1:x", ""},
      {"/", "", "/", "", ""},
      {"", "", "", "", ""},
  };
  for (const auto &c : cases) {
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
  // Separators are converted over the whole path, however long.
  std::string longPath;
  for (int i = 0; i < 100; ++i)
    longPath += "dir\\";
  EXPECT_EQ(std::string(sp_ConvertLocalToUnix(kvfiles::y(longPath)).tocs()).find('\\'),
            std::string::npos);
  EXPECT_STREQ(sp_ConvertUnixToLocal(YString("/a/b")).tocs(), "/a/b");
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
  const struct {
    std::string path;
    bool fits;
  } cases[] = {
      {"/" + repeat("d", 254) + "/f.x", true},  // directory of 256
      {"/" + repeat("d", 255) + "/f.x", false}, // directory of 257
      {"d/" + repeat("b", 256) + ".x", true},   // base name of 256
      {"d/" + repeat("b", 257) + ".x", false},  // base name of 257
      {"d/b." + repeat("x", 255), true},        // extension of 256
      {"d/b." + repeat("x", 256), false},       // extension of 257
      {"d/" + repeat(e2, 256), true},           // 512 bytes, 256 units
      {"d/" + repeat(g4, 128), true},           // 256 units
      {"d/" + repeat(g4, 128) + "a", false},    // 257 units
      {"C:" + repeat("/", 256) + "n.x", true},  // the drive is not counted
  };
  for (const auto &c : cases) {
    PathName parts;
    parts.baseName = YString("stale");
    sp_SplitPath(YString(c.path.c_str()), &parts);
    if (c.fits) {
      EXPECT_STREQ(sp_MakePath(parts).tocs(), c.path.c_str());
    } else {
      EXPECT_TRUE(parts.drive.isEmpty() && parts.directory.isEmpty() && parts.baseName.isEmpty() &&
                  parts.extension.isEmpty())
          << c.path.size();
    }
  }
}

TEST(PathNameTest, CleansMakesAbsoluteAndTakesParts) {
  const std::pair<const char *, const char *> clean[] = {
      {"/a//b/./c/", "/a/b/c"},
      {"a\\b\\..\\c", "a/c"},
      {"/a/b/../../..", "/.."},
      {"./x", "x"},
      {"", ""},
      {"C:/a/../b", "C:/b"},
  };
  for (const auto &[path, expected] : clean)
    EXPECT_STREQ(sp_CleanPath(YString(path)).tocs(), expected) << path;

  const std::string cwd = QDir::currentPath().toStdString();
  EXPECT_STREQ(sp_GetFullPath(YString("sub/f.txt")).tocs(), (cwd + "/sub/f.txt").c_str());
  EXPECT_STREQ(sp_GetFullPath(YString("sub\\f.txt")).tocs(), (cwd + "/sub/f.txt").c_str());
  EXPECT_STREQ(sp_GetFullPath(YString("/x/../y")).tocs(), "/y");
  EXPECT_STREQ(sp_GetFullPath(YString()).tocs(), "");

  const std::pair<const char *, bool> relative[] = {{"a/b", true}, {"/a", false},  {"\\a", false},
                                                    {"", true},    {"C:/a", true}, {".", true}};
  for (const auto &[path, expected] : relative)
    EXPECT_EQ(sp_IsRelativePath(YString(path)), expected) << path;

  const std::pair<const char *, const char *> dirs[] = {
      {"C:\\a\\b.txt", "C:\\a"},
      {"/usr/lib/x.so", "/usr/lib"},
      {"/x", "/"},
      {"name.txt", ""},
      {"a/b/", "a/b"},
      {"C:x", "C:"},
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
  const struct {
    const char *path, *base, *expected;
  } cases[] = {
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
      {"../b", "../../a", "../b"}, // the base climbs where the text cannot follow
      {"/a", "/../c", "/a"},
      {"../a/x", "../a", "x"},
  };
  for (const auto &c : cases)
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
  kvfiles::TempDir dir;
  kvtest::touchFile(dir / "File.txt");
  kvtest::touchFile(dir / "file.txt"); // another file, differing only in case
  ASSERT_EQ(::link((dir / "File.txt").c_str(), (dir / "hard").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "File.txt").c_str(), (dir / "soft").c_str()), 0);
  const struct {
    std::string first, second;
    bool same;
  } cases[] = {
      {"File.txt", "File.txt", true},
      {"File.txt", "./File.txt", true},
      {"File.txt", "/File.txt", true},
      {"File.txt", "hard", true},
      {"soft", "File.txt", true},
      {"File.txt", "file.txt", false},
      {"", "/", true},
      {"missing", "File.txt", false},
      {"missing", "missing2", false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(sp_ComparePaths(kvfiles::y(dir / c.first), kvfiles::y(dir / c.second)), c.same)
        << c.first << " " << c.second;
}

} // namespace
