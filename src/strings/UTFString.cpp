#include "kvsupport/strings/UTFString.h"

#include <QString>

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

char *copyBytes(const char *text, size_t length) {
  char *copy = static_cast<char *>(std::malloc(length + 1));
  if (copy) {
    std::memcpy(copy, text, length);
    copy[length] = '\0';
  }
  return copy;
}

wchar_t *copyWide(const wchar_t *text, size_t length) {
  wchar_t *copy = static_cast<wchar_t *>(std::malloc((length + 1) * sizeof(wchar_t)));
  if (copy) {
    std::wmemcpy(copy, text, length);
    copy[length] = L'\0';
  }
  return copy;
}

} // namespace

UTFString::UTFString(const char *utf8) {
  if (!utf8)
    return;
  utf8_ = copyBytes(utf8, std::strlen(utf8));
  std::wstring wide = QString::fromUtf8(utf8).toStdWString();
  wide_ = copyWide(wide.c_str(), wide.size());
}

UTFString::UTFString(const wchar_t *wide) {
  if (!wide)
    return;
  size_t length = std::wcslen(wide);
  wide_ = copyWide(wide, length);
  QByteArray utf8 = QString::fromWCharArray(wide, static_cast<int>(length)).toUtf8();
  utf8_ = copyBytes(utf8.constData(), static_cast<size_t>(utf8.size()));
}

UTFString::~UTFString() {
  std::free(wide_);
  std::free(utf8_);
}
