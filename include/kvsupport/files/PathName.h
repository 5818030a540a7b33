#pragma once

#include "kvsupport/strings/YString.h"

/// A path cut into its four parts. Concatenated in order they give the path
/// back. Both '/' and '\' count as separators when a path is cut.
struct PathName {
  /// A drive letter and its colon when the path begins with them ("C:"), else empty.
  YString drive;
  /// Everything after the drive up to and including the last separator.
  YString directory;
  /// The rest up to, not including, its last '.'.
  YString baseName;
  /// From that last '.' to the end, dot included; empty when the rest has no dot.
  YString extension;
};

/// The most characters (UTF-16 units) that directory, base name or extension
/// may hold when a path is split.
constexpr int kPathPartMaxLength = 256;

/// Cuts `path` into its four parts. When directory, base name or extension
/// would exceed kPathPartMaxLength characters, all four parts are left empty.
/// Does nothing when `parts` is null.
void sp_SplitPath(YString path, PathName *parts);

/// Drive, directory, base name and extension concatenated, with the
/// platform's separators.
YString sp_MakePath(const PathName &parts);

/// `path` with every '\' turned into '/'.
YString sp_ConvertLocalToUnix(const YString &path);

/// `path` with every '/' turned into the platform's separator (unchanged
/// where that is '/').
YString sp_ConvertUnixToLocal(const YString &path);

/// `path` with separators collapsed, "." and ".." resolved textually and no
/// trailing separator, in the platform's separators. Empty for an empty path.
YString sp_CleanPath(const YString &path);

/// The absolute form of `path` (a relative path is taken from the current
/// directory), in the platform's separators. Empty for an empty path.
YString sp_GetFullPath(const YString &path);

/// Whether `path` is relative (does not begin at a file system root).
/// An empty path is relative.
bool sp_IsRelativePath(const YString &path);

/// Drive and directory of `path` without the trailing separator (a root
/// directory keeps its separator). Empty for a null path or a bare name.
YString sp_GetDirFromPath(const char *path);

/// Base name and extension of `path`.
YString sp_GetFileName(const YString &path);

/// The extension of `path` with its dot; empty when it has none.
YString sp_GetFileExt(const YString &path);

/// Whether the texts `a` and `b` name the same file: equal texts (compared
/// as the platform compares paths), equal network forms, or two existing
/// files or directories with the same identity. False when either does not
/// exist and the texts differ.
bool sp_ComparePaths(const YString &a, const YString &b);

/// `path` as seen from the directory `base`, in the platform's separators:
/// "." when both name the same directory, "../" steps for the components of
/// `base` that `path` does not share. The cleaned `path` itself when the two
/// cannot be related (different drives or servers, one absolute and the
/// other relative, or an empty base).
YString sp_RelativePath(YString path, YString base);
