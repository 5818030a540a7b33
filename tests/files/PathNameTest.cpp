#include "kvsupport/files/PathName.h"

#include "FilesTest.h"

namespace {

std::string repeat(const std::string &unit, int n) {
  std::string s;
  for (int i = 0; i < n; ++i)
    s += unit;
  return s;
}

// "drive|directory|base name|extension"
std::string split(const std::string &path) {
  PathName parts;
  parts.baseName = YString("stale");
  sp_SplitPath(YString(path.c_str()), &parts);
  return std::string(parts.drive.tocs()) + "|" + parts.directory.tocs() + "|" +
         parts.baseName.tocs() + "|" + parts.extension.tocs();
}

TEST(PathNameTest, SplitsIntoFourPartsBoundedAt256Units) {
  const std::pair<const char *, const char *> cases[] = {
      {"A:\\dir/a\\name.tar.gz", "A:|\\dir/a\\|name.tar|.gz"},
      {".bashrc", "|||.bashrc"},
      {"dir.d/file", "|dir.d/|file|"},
      {"file.", "||file|."},
      {"a:rel.txt", "a:||rel|.txt"},
      {"z:", "z:|||"},
      {"Z:\\", "Z:|\\||"},
      {"1:x", "||1:x|"},
      {"", "|||"},
  };
  for (const auto &[path, expected] : cases) {
    EXPECT_EQ(split(path), expected) << path;
    // Joining gives the path back, in '/' separators.
    PathName parts;
    sp_SplitPath(YString(path), &parts);
    EXPECT_STREQ(sp_MakePath(parts).tocs(), sp_ConvertLocalToUnix(YString(path)).tocs());
  }
  sp_SplitPath(YString("x"), nullptr); // no parts to fill: nothing happens

  const std::string g4 = "\xF0\x9D\x84\x9E"; // a surrogate pair in four bytes
  const std::pair<std::string, bool> bounds[] = {
      {"/" + repeat("d", 254) + "/f.x", true},  // directory of 256
      {"/" + repeat("d", 255) + "/f.x", false}, // directory of 257
      {"d/" + repeat("b", 256) + ".x", true},
      {"d/" + repeat("b", 257) + ".x", false},
      {"d/b." + repeat("x", 255), true}, // extension of 256
      {"d/b." + repeat("x", 256), false},
      {"d/" + repeat(g4, 128), true}, // 256 units
      {"d/" + repeat(g4, 128) + "a", false},
      {"C:" + repeat("/", 256) + "n.x", true}, // the drive is not counted
  };
  for (const auto &[path, fits] : bounds) {
    PathName parts;
    sp_SplitPath(YString(path.c_str()), &parts);
    EXPECT_EQ(sp_MakePath(parts).tocs(), fits ? path : "") << path.size();
  }
  // Separators are converted over the whole path, however long.
  EXPECT_EQ(sp_ConvertLocalToUnix(kvfiles::y(repeat("dir\\", 100))).tocs(), repeat("dir/", 100));
}

TEST(PathNameTest, CleansMakesAbsoluteAndTakesParts) {
  const std::pair<const char *, const char *> clean[] = {
      {"/a//b/./c/", "/a/b/c"}, {"a\\b\\..\\c", "a/c"}, {"/a/b/../../..", "/.."}, {"", ""}};
  for (const auto &[path, expected] : clean)
    EXPECT_STREQ(sp_CleanPath(YString(path)).tocs(), expected) << path;

  const std::string cwd = QDir::currentPath().toStdString();
  EXPECT_STREQ(sp_GetFullPath(YString("sub\\f.txt")).tocs(), (cwd + "/sub/f.txt").c_str());
  EXPECT_STREQ(sp_GetFullPath(YString()).tocs(), "");
  EXPECT_FALSE(sp_IsRelativePath(YString("\\a")));
  EXPECT_TRUE(sp_IsRelativePath(YString("C:/a")));

  const std::pair<const char *, const char *> dirs[] = {
      {"C:\\a\\b.txt", "C:\\a"}, {"/x", "/"}, {"name.txt", ""}, {"a/b/", "a/b"}, {"C:x", "C:"}};
  for (const auto &[path, expected] : dirs)
    EXPECT_STREQ(sp_GetDirFromPath(path).tocs(), expected) << path;
  EXPECT_STREQ(sp_GetDirFromPath(nullptr).tocs(), "");
  EXPECT_STREQ(sp_GetFileName(YString("/a/b.tar.gz")).tocs(), "b.tar.gz");
  EXPECT_STREQ(sp_GetFileExt(YString("/a.d/b")).tocs(), "");
}

TEST(PathNameTest, RelativePaths) {
  const struct {
    const char *path, *base, *expected;
  } cases[] = {
      {"C:/a/c/f.txt", "C:/a/b", "../c/f.txt"},
      {"C:/a", "C:/a/b", ".."},
      {"C:/a/b", "C:/a/b/", "."},
      {"D:/a", "C:/a/b", "D:/a"},
      {"c:/a/x", "C:/a", "x"}, // drive letters ignore case
      {"C:\\a\\c\\f.txt", "C:/a/b", "../c/f.txt"},
      {"/home/u/P", "/home/u/p", "../P"}, // file names are case-sensitive here
      {"/", "/a/b", "../.."},
      {"/a/b", "", "/a/b"},
      {"rel/x", "/abs", "rel/x"},
      {"x/y", "x", "y"},
      {"../b", "../../a", "../b"}, // the base climbs where the text cannot follow
      {"../a/x", "../a", "x"},
  };
  for (const auto &c : cases)
    EXPECT_STREQ(sp_RelativePath(YString(c.path), YString(c.base)).tocs(), c.expected)
        << c.path << " from " << c.base;
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
      {"File.txt", "./File.txt", true}, {"File.txt", "hard", true},     {"soft", "File.txt", true},
      {"File.txt", "file.txt", false},  {"missing", "File.txt", false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(sp_ComparePaths(kvfiles::y(dir / c.first), kvfiles::y(dir / c.second)), c.same)
        << c.first << " " << c.second;
}

} // namespace
