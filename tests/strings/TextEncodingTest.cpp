#include "kvsupport/strings/TextEncoding.h"
#include "kvsupport/strings/UTF8Detect.h"

#include <QByteArray>
#include <QTextCodec>

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

int detect(const std::string &bytes) {
  UTF8Detect detector;
  detector.add(bytes.data(), static_cast<int>(bytes.size()));
  return detector.getEncoding();
}

TEST(TextEncodingTest, DetectorClassifiesByteSequences) {
  struct Case {
    std::string bytes;
    int expected;
  };
  const Case cases[] = {
      {"", UTF8D_ASCII},
      {"abc", UTF8D_ASCII},
      {"\xC3\xA9", UTF8D_UTF8},
      {"\xE2\x82\xAC and \xF0\x9F\x98\x80", UTF8D_UTF8},
      {"\xC3", UTF8D_UTF8}, // cut off at the end: not reported
      {"\xC3\x61", UTF8D_INVALID},
      {"\xC3\x61\xC3\xA9", UTF8D_INVALID}, // final
      {"\x80", UTF8D_INVALID},
      {"\xBF", UTF8D_INVALID},
      {"\xFE", UTF8D_INVALID},
      {"\xFF", UTF8D_INVALID},
      {"\xE2\x82\x61", UTF8D_INVALID},
      {"\xC3\xA9\xA9", UTF8D_INVALID},
      {"\xF8\x88\x80\x80\x80", UTF8D_LONG_FORMS},
      {"\xF8\x88\x80\x80\x80\x61\xC3\xA9", UTF8D_LONG_FORMS}, // back between characters
      {"\xC3\xA9\xFC\x84\x80\x80\x80\x80", UTF8D_LONG_FORMS},
      {"\xF8\x88\x80\x80\x61", UTF8D_INVALID},
      {"\xFC\x84\x80\x80\x80\x80\x80", UTF8D_INVALID},
      {"\xF8\x88\x80\x80\x80\x80", UTF8D_INVALID},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(QByteArray::fromStdString(c.bytes).toHex().constData());
    EXPECT_EQ(detect(c.bytes), c.expected);
  }

  // reset() starts a new sequence but keeps what was concluded.
  UTF8Detect detector;
  detector.add(0xC3);
  detector.reset();
  detector.add('a');
  EXPECT_EQ(detector.getEncoding(), UTF8D_UTF8);
  detector.add(0x1C3); // only the low byte counts
  detector.add(0xA9);
  EXPECT_EQ(detector.getEncoding(), UTF8D_UTF8);
}

// Text the UTF-8 codec accepts whole is never called invalid, and a text of
// the codec's own making (always well-formed) is UTF-8 or ASCII.
TEST(TextEncodingTest, DetectorAgreesWithTheUtf8Codec) {
  std::mt19937 random(99);
  QTextCodec *utf8 = QTextCodec::codecForName("UTF-8");
  for (int i = 0; i < 20000; ++i) {
    std::string bytes;
    const int length = static_cast<int>(random() % 8);
    for (int j = 0; j < length; ++j)
      bytes += static_cast<char>(random() % 4 == 0 ? random() % 0x80 : 0x80 + random() % 0x80);
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    QString decoded = utf8->toUnicode(bytes.data(), static_cast<int>(bytes.size()), &state);
    if (state.invalidChars == 0 && state.remainingChars == 0) {
      ASSERT_NE(detect(bytes), UTF8D_INVALID) << QByteArray::fromStdString(bytes).toHex().data();
    }
    QByteArray clean = decoded.toUtf8();
    int result = detect(clean.toStdString());
    ASSERT_TRUE(result == UTF8D_ASCII || result == UTF8D_UTF8) << clean.toHex().data();
    bool ascii = true;
    for (char c : bytes)
      ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    ASSERT_EQ(detect(bytes) == UTF8D_ASCII, ascii);
  }
}

// Restores the system locale's codec when a test ends.
struct LocaleEncoding {
  explicit LocaleEncoding(const char *name) { EXPECT_TRUE(sp_SetLocaleEncoding(YString(name))); }
  ~LocaleEncoding() { sp_SetLocaleEncoding(YString("default")); }
};

TEST(TextEncodingTest, LocaleEncodingCanBeChosenAndRestored) {
  {
    LocaleEncoding latin1("ISO-8859-1");
    EXPECT_EQ(sp_AutoConvertToUtf8("\xE9"), "\xC3\xA9");
    EXPECT_EQ(sp_AutoConvertToUtf8(YString("caf\xE9 ok")), "caf\xC3\xA9 ok");
    EXPECT_EQ(sp_AutoConvertToUtf8("caf\xC3\xA9"), "caf\xC3\xA9"); // already UTF-8
    EXPECT_EQ(sp_AutoConvertToUtf8("\xC3\xA9\xE9"), "\xC3\x83\xC2\xA9\xC3\xA9");
    // Overlong forms and surrogates are not well-formed UTF-8.
    EXPECT_EQ(sp_AutoConvertToUtf8("\xC0\xAF"), "\xC3\x80\xC2\xAF");
    EXPECT_EQ(sp_ConvertFromLocal("\xE9t\xE9"), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(sp_ConvertFromUtf8("\xC3\xA9t\xC3\xA9"), "\xE9t\xE9");

    EXPECT_FALSE(sp_SetLocaleEncoding(YString("no-such-codec")));
    EXPECT_FALSE(sp_SetLocaleEncoding(YString("")));
    EXPECT_EQ(sp_ConvertFromLocal("\xE9"), "\xC3\xA9"); // unchanged

    EXPECT_TRUE(sp_SetLocaleEncoding(YString("windows-1252")));
    EXPECT_EQ(sp_ConvertFromLocal("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(sp_ConvertFromUtf8("\xE2\x82\xAC"), "\x80");
  }
  EXPECT_TRUE(sp_SetLocaleEncoding(YString("DEFAULT")));
  QTextCodec *system = QTextCodec::codecForLocale();
  EXPECT_EQ(sp_ConvertFromLocal("\xE2\x82\xAC"),
            YString(system->toUnicode("\xE2\x82\xAC").toUtf8().constData()));
  EXPECT_EQ(sp_ConvertFromLocal(nullptr), "");
  EXPECT_EQ(sp_ConvertFromUtf8(nullptr), "");
  EXPECT_EQ(sp_AutoConvertToUtf8(static_cast<const char *>(nullptr)), "");
}

std::string block(const char *bytes, int count, int codePage) {
  YVector<char> out;
  out.append('#'); // replaced, not appended to
  sp_ConvertMBCSBlock_to_UTF8(bytes, count, &out, codePage);
  return std::string(out.data(), static_cast<size_t>(out.size()));
}

// One page of each kind (the rest of the table names codecs the same way),
// the local encoding for 0 and unknown numbers, and every byte of four
// single-byte pages.
TEST(TextEncodingTest, NamedCodePagesRoundTrip) {
  struct Case {
    int codePage;
    const char *utf8;
    const char *bytes;
  };
  const Case cases[] = {
      {1252, "caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80"},
      {932, "\xE6\x97\xA5\xE6\x9C\xAC", "\x93\xFA\x96\x7B"},
      {936, "\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},
      {20866, "\xD0\x96", "\xF6"},
      {28605, "\xE2\x82\xAC", "\xA4"},
      {65001, "\xC3\xA9", "\xC3\xA9"},
      {0, "\xC3\xA9", "\xC3\xA9"},     // the local encoding (UTF-8 in the test run)
      {12345, "\xC3\xA9", "\xC3\xA9"}, // unknown: the local encoding
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.codePage);
    EXPECT_EQ(sp_ConvertUTF8_to_MBCS(c.utf8, c.codePage), c.bytes);
    EXPECT_EQ(block(c.bytes, static_cast<int>(std::strlen(c.bytes)), c.codePage), c.utf8);
  }
  YVector<char> out;
  sp_ConvertMBCSBlock_to_UTF8("\xC3\xA9", 2, &out);
  EXPECT_EQ(out.size(), 2);

  // Every byte of the Latin pages survives the trip through UTF-8.
  const int pages[] = {28591, 1252, 1251, 437};
  for (int page : pages) {
    SCOPED_TRACE(page);
    std::string all;
    for (int b = 1; b < 256; ++b)
      if (page != 1252 || (b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D))
        all += static_cast<char>(b);
    std::string utf8 = block(all.data(), static_cast<int>(all.size()), page);
    EXPECT_NE(detect(utf8), UTF8D_INVALID);
    EXPECT_EQ(std::string(sp_ConvertUTF8_to_MBCS(utf8.c_str(), page).tocs()), all);
  }
}

TEST(TextEncodingTest, BlocksKeepExactlyTheirBytes) {
  EXPECT_EQ(block("a\0b", 3, 1252), std::string("a\0b", 3));
  EXPECT_EQ(block("abc", 0, 1252), "");
  EXPECT_EQ(block("abc", -5, 1252), "");
  EXPECT_EQ(block(nullptr, 3, 1252), "");
  sp_ConvertMBCSBlock_to_UTF8("abc", 3, nullptr, 1252);
  // Bytes a page does not define become replacement characters.
  EXPECT_EQ(block("\xFF", 1, 65001), "\xEF\xBF\xBD");
  EXPECT_EQ(sp_ConvertUTF8_to_MBCS(nullptr, 1252), "");
  EXPECT_EQ(sp_ConvertUTF8_to_MBCS("\xE6\x97\xA5", 1252), "?");
}

} // namespace
