#include "kvsupport/strings/TextEncoding.h"

#include <QByteArray>
#include <QString>
#include <QTextCodec>

#include <atomic>
#include <cstring>

namespace {

// The codec chosen by sp_SetLocaleEncoding; null means the system locale's.
// Codecs live as long as Qt, so a plain pointer is enough.
std::atomic<QTextCodec *> chosenLocaleCodec{nullptr};

QTextCodec *localeCodec() {
  QTextCodec *codec = chosenLocaleCodec.load(std::memory_order_acquire);
  return codec ? codec : QTextCodec::codecForLocale();
}

struct CodePage {
  int number;
  const char *codec;
};

// Code pages of the suite's files and the codecs that read them.
const CodePage kCodePages[] = {
    {2, "macintosh"},
    {437, "IBM437"},
    {775, "IBM775"},
    {850, "IBM850"},
    {852, "IBM852"},
    {855, "IBM855"},
    {857, "IBM857"},
    {858, "IBM00858"},
    {860, "IBM860"},
    {861, "IBM861"},
    {862, "IBM862"},
    {863, "IBM863"},
    {864, "IBM864"},
    {865, "IBM865"},
    {866, "IBM866"},
    {869, "IBM869"},
    {874, "windows-874"},
    {932, "Shift_JIS"},
    {936, "GBK"},
    {949, "windows-949"},
    {950, "Big5"},
    {1250, "windows-1250"},
    {1251, "windows-1251"},
    {1252, "windows-1252"},
    {1253, "windows-1253"},
    {1254, "windows-1254"},
    {1255, "windows-1255"},
    {1256, "windows-1256"},
    {1257, "windows-1257"},
    {1258, "windows-1258"},
    {10000, "macintosh"},
    {10006, "x-mac-greek"},
    {10007, "x-mac-cyrillic"},
    {10029, "x-mac-centraleurroman"},
    {10081, "x-mac-turkish"},
    {20127, "US-ASCII"},
    {20866, "KOI8-R"},
    {20932, "EUC-JP"},
    {21866, "KOI8-U"},
    {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"},
    {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"},
    {28595, "ISO-8859-5"},
    {28596, "ISO-8859-6"},
    {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"},
    {28599, "ISO-8859-9"},
    {28603, "ISO-8859-13"},
    {28605, "ISO-8859-15"},
    {50220, "ISO-2022-JP"},
    {51932, "EUC-JP"},
    {51949, "EUC-KR"},
    {54936, "GB18030"},
    {65000, "UTF-7"},
    {65001, "UTF-8"},
};

QTextCodec *codecForPage(int codePage) {
  for (const CodePage &page : kCodePages) {
    if (page.number == codePage) {
      if (QTextCodec *codec = QTextCodec::codecForName(page.codec))
        return codec;
      break;
    }
  }
  return localeCodec();
}

YString toYString(const QByteArray &bytes) { return YString(bytes.constData(), bytes.size()); }

int lengthOf(const char *text) { return text ? static_cast<int>(std::strlen(text)) : 0; }

} // namespace

YString sp_AutoConvertToUtf8(const YString &text) {
  const char *bytes = text.tocs();
  const int length = text.length();
  QTextCodec *utf8 = QTextCodec::codecForMib(106);
  QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
  utf8->toUnicode(bytes, length, &state);
  // A sequence cut off at the end is held back as "remaining", not counted
  // as invalid; for a whole text it is just as malformed.
  if (state.invalidChars == 0 && state.remainingChars == 0)
    return text;
  return toYString(localeCodec()->toUnicode(bytes, length).toUtf8());
}

YString sp_AutoConvertToUtf8(const char *text) { return sp_AutoConvertToUtf8(YString(text)); }

YString sp_ConvertFromLocal(const char *text) {
  return toYString(localeCodec()->toUnicode(text ? text : "", lengthOf(text)).toUtf8());
}

YString sp_ConvertFromUtf8(const char *text) {
  return toYString(localeCodec()->fromUnicode(QString::fromUtf8(text, lengthOf(text))));
}

void sp_ConvertMBCSBlock_to_UTF8(const char *bytes, int count, YVector<char> *out, int codePage) {
  if (!out)
    return;
  if (!bytes || count < 1) {
    out->resize(0);
    return;
  }
  QByteArray utf8 = codecForPage(codePage)->toUnicode(bytes, count).toUtf8();
  out->resize(utf8.size());
  if (!utf8.isEmpty())
    std::memcpy(out->data(), utf8.constData(), static_cast<size_t>(utf8.size()));
}

void sp_ConvertMBCSBlock_to_UTF8(const char *bytes, int count, YVector<char> *out) {
  sp_ConvertMBCSBlock_to_UTF8(bytes, count, out, 0);
}

YString sp_ConvertUTF8_to_MBCS(const char *text, int codePage) {
  return toYString(codecForPage(codePage)->fromUnicode(QString::fromUtf8(text, lengthOf(text))));
}

bool sp_SetLocaleEncoding(const YString &name) {
  if (sp_stricmp(name.tocs(), "default") == 0) {
    chosenLocaleCodec.store(nullptr, std::memory_order_release);
    return true;
  }
  if (name.isEmpty())
    return false;
  QTextCodec *codec = QTextCodec::codecForName(name.tocs());
  if (!codec)
    return false;
  chosenLocaleCodec.store(codec, std::memory_order_release);
  return true;
}
