// Path-name text functions on arbitrary input. The first line is a path,
// the second a base directory. Checks: splitting and joining give the path
// back (or nothing, past the part bounds); cleaning agrees with Qt's for
// valid UTF-8 and is idempotent; full paths agree with QFileInfo; a
// relative path leads from the base back to the path.
#include "kvsupport/files/PathName.h"

#include "FuzzSupport.h"

#include <QFileInfo>
#include <QString>

namespace {

using kvfuzz::check;

bool plainRooted(const std::string &text) {
  return !text.empty() && text[0] == '/' && text.find_first_of(":\\") == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string input(reinterpret_cast<const char *>(data), size);
  input = input.substr(0, std::strlen(input.c_str())); // the texts end at a NUL
  const size_t newline = input.find('\n');
  const std::string pathText = input.substr(0, newline);
  const std::string baseText = newline == std::string::npos ? "" : input.substr(newline + 1);
  const YString path(pathText.c_str());
  const YString base(baseText.c_str());

  PathName parts;
  sp_SplitPath(path, &parts);
  const YString joined = sp_MakePath(parts);
  check(joined.isEmpty() || joined == sp_ConvertLocalToUnix(path));
  check(sp_GetFileName(path).length() <= path.length());
  sp_GetDirFromPath(path.tocs());

  const YString clean = sp_CleanPath(path);
  check(sp_CleanPath(clean) == clean);
  const QString unicode = QString::fromUtf8(pathText.c_str());
  if (unicode.toUtf8().toStdString() == pathText && pathText.find('\\') == std::string::npos) {
    check(QDir::cleanPath(unicode).toUtf8().toStdString() == clean.tocs());
  }
  // ":..." names a Qt resource to QFileInfo, not a file.
  if (unicode.toUtf8().toStdString() == pathText && pathText.find('\\') == std::string::npos &&
      !pathText.empty() && pathText[0] != ':') {
    std::string full = QFileInfo(unicode).absoluteFilePath().toUtf8().toStdString();
    if (full == "//")
      full = "/"; // the root with its trailing separator doubled: Qt's slip, not ours
    check(full == sp_GetFullPath(path).tocs());
    check(QFileInfo(unicode).isRelative() == sp_IsRelativePath(path));
  }

  const YString relative = sp_RelativePath(path, base);
  if (plainRooted(pathText) && plainRooted(baseText)) {
    if (relative.tocs()[0] == '/') {
      check(relative == clean); // no way from the base: the path itself
    } else {
      const std::string back = baseText + "/" + relative.tocs();
      check(sp_CleanPath(YString(back.c_str())) == clean);
    }
  }
  check(sp_ComparePaths(path, path));
  return 0;
}
