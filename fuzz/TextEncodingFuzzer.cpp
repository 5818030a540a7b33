// Feeds arbitrary bytes to the UTF-8 detector and through the code-page
// conversions. Checks the detector against the UTF-8 codec (text the codec
// accepts whole is never invalid; ASCII is recognised exactly), that every
// conversion to UTF-8 yields well-formed UTF-8, and that Latin-1 text
// survives the trip through UTF-8 unchanged.
//
// Input: [code page selector][bytes...].
#include "kvsupport/strings/TextEncoding.h"
#include "kvsupport/strings/UTF8Detect.h"

#include "FuzzSupport.h"

#include <QTextCodec>

#include <cstddef>

namespace {

using kvfuzz::check;

bool wellFormed(const char *bytes, int count) {
  static QTextCodec *utf8 = QTextCodec::codecForName("UTF-8");
  QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
  utf8->toUnicode(bytes, count, &state);
  return state.invalidChars == 0 && state.remainingChars == 0;
}

int detect(const char *bytes, int count) {
  UTF8Detect detector;
  detector.add(bytes, count);
  return detector.getEncoding();
}

const int kPages[] = {0,     437,   850,   874,   932,   936,   949,   950,
                      1250,  1251,  1252,  1253,  1255,  1256,  10000, 20866,
                      28591, 28595, 50220, 51932, 54936, 65000, 65001, 777};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  const int page = kPages[data[0] % (sizeof kPages / sizeof kPages[0])];
  const std::string bytes(reinterpret_cast<const char *>(data + 1), size - 1);
  const int count = static_cast<int>(bytes.size());

  bool ascii = true;
  for (char c : bytes)
    ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  const int detected = detect(bytes.data(), count);
  check((detected == UTF8D_ASCII) == ascii);
  if (wellFormed(bytes.data(), count))
    check(detected != UTF8D_INVALID);

  YVector<char> out;
  sp_ConvertMBCSBlock_to_UTF8(bytes.data(), count, &out, page);
  check(wellFormed(out.data(), static_cast<int>(out.size())));
  check(detect(out.data(), static_cast<int>(out.size())) != UTF8D_INVALID);

  const std::string text(bytes.c_str()); // up to the first NUL
  YString auto8 = sp_AutoConvertToUtf8(text.c_str());
  check(wellFormed(auto8.tocs(), auto8.length()));
  if (wellFormed(text.data(), static_cast<int>(text.size())))
    check(text == auto8.tocs());

  YString mbcs = sp_ConvertUTF8_to_MBCS(text.c_str(), page);
  (void)mbcs;

  // Latin-1 maps every byte to one character and back.
  YVector<char> latin;
  sp_ConvertMBCSBlock_to_UTF8(text.data(), static_cast<int>(text.size()), &latin, 28591);
  std::string latinUtf8(latin.data(), static_cast<size_t>(latin.size()));
  check(std::string(sp_ConvertUTF8_to_MBCS(latinUtf8.c_str(), 28591).tocs()) == text);
  return 0;
}
