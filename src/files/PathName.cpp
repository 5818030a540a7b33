#include "kvsupport/files/PathName.h"

#include "kvsupport/strings/QtStrings.h"
#include "os/PathName_p.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

#include <cstring>
#include <string>
#include <vector>

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Length of UTF-8 text in UTF-16 units, the measure of the part bounds: a
// four-byte sequence is one surrogate pair, every other lead byte one unit.
// Stray continuation bytes count nothing, a stray lead byte one unit.
int utf16Length(const char *text, size_t bytes) {
  int units = 0;
  for (size_t i = 0; i < bytes; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) == 0x80)
      continue;
    units += c >= 0xF0 ? 2 : 1;
  }
  return units;
}

// Every separator of either kind replaced by `separator`.
YString withSeparators(const YString &path, char separator) {
  YString result = path;
  for (int i = 0; result.tocs()[i]; ++i)
    if (isSeparator(result.tocs()[i]) && result.tocs()[i] != separator)
      result[i] = separator;
  return result;
}

YString toPlatformSeparators(const YString &path) {
  return withSeparators(path, kv::os::pathSeparator());
}

bool namesEqual(const char *a, const char *b) {
  return kv::os::pathsIgnoreCase() ? sp_stricmp(a, b) == 0 : std::strcmp(a, b) == 0;
}

std::vector<std::string> components(const char *text) {
  std::vector<std::string> parts;
  const char *start = text;
  for (const char *c = text;; ++c) {
    if (*c == '/' || *c == '\0') {
      if (c > start)
        parts.emplace_back(start, static_cast<size_t>(c - start));
      if (*c == '\0')
        break;
      start = c + 1;
    }
  }
  return parts;
}

// Cleaned and with '/' separators, whatever the platform writes.
YString cleanUnixForm(const YString &path) { return sp_ConvertLocalToUnix(sp_CleanPath(path)); }

} // namespace

void sp_SplitPath(YString path, PathName *parts) {
  if (!parts)
    return;
  const char *text = path.tocs();
  const size_t length = std::strlen(text);
  size_t at = 0;
  if (length >= 2 && isAsciiLetter(text[0]) && text[1] == ':')
    at = 2;
  size_t nameStart = at;
  for (size_t i = at; i < length; ++i)
    if (isSeparator(text[i]))
      nameStart = i + 1;
  size_t dot = length;
  for (size_t i = nameStart; i < length; ++i)
    if (text[i] == '.')
      dot = i;

  // A part too long for its bound leaves every part empty rather than a
  // truncated name that would point at some other file.
  if (utf16Length(text + at, nameStart - at) > kPathPartMaxLength ||
      utf16Length(text + nameStart, dot - nameStart) > kPathPartMaxLength ||
      utf16Length(text + dot, length - dot) > kPathPartMaxLength) {
    *parts = PathName();
    return;
  }
  parts->drive = YString(text, static_cast<int>(at));
  parts->directory = YString(text + at, static_cast<int>(nameStart - at));
  parts->baseName = YString(text + nameStart, static_cast<int>(dot - nameStart));
  parts->extension = YString(text + dot, static_cast<int>(length - dot));
}

YString sp_MakePath(const PathName &parts) {
  YString path = parts.drive;
  path &= parts.directory;
  path &= parts.baseName;
  path &= parts.extension;
  return toPlatformSeparators(path);
}

YString sp_ConvertLocalToUnix(const YString &path) { return withSeparators(path, '/'); }

YString sp_ConvertUnixToLocal(const YString &path) {
  const char separator = kv::os::pathSeparator();
  if (separator == '/')
    return path;
  YString result = path;
  for (int i = 0; result.tocs()[i]; ++i)
    if (result.tocs()[i] == '/')
      result[i] = separator;
  return result;
}

YString sp_CleanPath(const YString &path) {
  if (path.isEmpty())
    return YString();
  return toPlatformSeparators(toYs(QDir::cleanPath(toQs(sp_ConvertLocalToUnix(path)))));
}

YString sp_GetFullPath(const YString &path) {
  if (path.isEmpty())
    return YString();
  return toPlatformSeparators(
      toYs(QFileInfo(toQs(sp_ConvertLocalToUnix(path))).absoluteFilePath()));
}

bool sp_IsRelativePath(const YString &path) {
  if (path.isEmpty())
    return true;
  return QFileInfo(toQs(sp_ConvertLocalToUnix(path))).isRelative();
}

YString sp_GetDirFromPath(const char *path) {
  if (!path)
    return YString();
  PathName parts;
  sp_SplitPath(YString(path), &parts);
  YString directory = parts.directory;
  const int length = directory.length();
  if (length > 1 && isSeparator(directory.tocs()[length - 1]))
    directory = directory.substring(0, length - 1);
  YString result = parts.drive;
  result &= directory;
  return result;
}

YString sp_GetFileName(const YString &path) {
  PathName parts;
  sp_SplitPath(path, &parts);
  YString name = parts.baseName;
  name &= parts.extension;
  return name;
}

YString sp_GetFileExt(const YString &path) {
  PathName parts;
  sp_SplitPath(path, &parts);
  return parts.extension;
}

bool sp_ComparePaths(const YString &a, const YString &b) {
  if (namesEqual(a.tocs(), b.tocs()))
    return true;
  if (namesEqual(kv::os::networkPath(a).tocs(), kv::os::networkPath(b).tocs()))
    return true;
  kv::os::FileIdentity first, second;
  if (!kv::os::fileIdentity(a.tocs(), &first) || !kv::os::fileIdentity(b.tocs(), &second))
    return false;
  return first.volume == second.volume && first.index == second.index;
}

YString sp_RelativePath(YString path, YString base) {
  const YString cleanPath = cleanUnixForm(path);
  const YString cleanBase = cleanUnixForm(base);
  const bool pathIsUnc = cleanPath.beginsWith(YString("//"));
  const bool baseIsUnc = cleanBase.beginsWith(YString("//"));

  PathName pathParts, baseParts;
  sp_SplitPath(cleanPath, &pathParts);
  sp_SplitPath(cleanBase, &baseParts);
  YString p = pathParts.directory;
  p &= pathParts.baseName;
  p &= pathParts.extension;
  YString b = baseParts.directory;
  b &= baseParts.baseName;
  b &= baseParts.extension;

  const YString unrelated = toPlatformSeparators(cleanPath);
  if (sp_stricmp(pathParts.drive.tocs(), baseParts.drive.tocs()) != 0 || pathIsUnc != baseIsUnc ||
      cleanBase.isEmpty())
    return unrelated;
  // A rooted path and a relative one share no starting point: "../" steps
  // from one cannot reach the other.
  if ((p.tocs()[0] == '/') != (b.tocs()[0] == '/'))
    return unrelated;
  if (namesEqual(p.tocs(), b.tocs()))
    return YString(".");

  const std::vector<std::string> pathComponents = components(p.tocs());
  const std::vector<std::string> baseComponents = components(b.tocs());
  size_t shared = 0;
  while (shared < pathComponents.size() && shared < baseComponents.size() &&
         namesEqual(pathComponents[shared].c_str(), baseComponents[shared].c_str()))
    ++shared;
  if (pathIsUnc && shared < 2)
    return unrelated;

  std::string relative;
  for (size_t i = shared; i < baseComponents.size(); ++i)
    relative += "../";
  for (size_t i = shared; i < pathComponents.size(); ++i)
    relative += pathComponents[i] + "/";
  if (!relative.empty())
    relative.pop_back();
  if (relative.empty())
    return YString(".");
  return toPlatformSeparators(YString(relative.c_str()));
}
