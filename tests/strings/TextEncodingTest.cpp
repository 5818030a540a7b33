#include "kvsupport/strings/TextEncoding.h"
#include "kvsupport/strings/UTF8Detect.h"

#include <QByteArray>
#include <QTextCodec>

#include <gtest/gtest.h>

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
      {"\xC3\xA9", UTF8D_UTF8},
      {"\xC3", UTF8D_UTF8}, // cut off at the end: not reported
      {"\xC3\x61", UTF8D_INVALID},
      {"\xC3\x61\xC3\xA9", UTF8D_INVALID}, // final
      {"\x80", UTF8D_INVALID},
      {"\xFE", UTF8D_INVALID},
      {"\xF8\x88\x80\x80\x80", UTF8D_LONG_FORMS},
      {"\xF8\x88\x80\x80\x80\x61\xC3\xA9", UTF8D_LONG_FORMS}, // back between characters
      {"\xC3\xA9\xFC\x84\x80\x80\x80\x80", UTF8D_LONG_FORMS},
      {"\xF8\x88\x80\x80\x61", UTF8D_INVALID},
  };
  for (const Case &c : cases)
    EXPECT_EQ(detect(c.bytes), c.expected) << QByteArray::fromStdString(c.bytes).toHex().data();

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

// Restores the system locale's codec when a test ends.
struct LocaleEncoding {
  explicit LocaleEncoding(const char *name) { EXPECT_TRUE(sp_SetLocaleEncoding(YString(name))); }
  ~LocaleEncoding() { sp_SetLocaleEncoding(YString("default")); }
};

TEST(TextEncodingTest, LocaleEncodingCanBeChosenAndRestored) {
  {
    LocaleEncoding latin1("ISO-8859-1");
    EXPECT_EQ(sp_AutoConvertToUtf8(YString("caf\xE9 ok")), "caf\xC3\xA9 ok");
    EXPECT_EQ(sp_AutoConvertToUtf8("\xC3\xA9\xE9"), "\xC3\x83\xC2\xA9\xC3\xA9");
    EXPECT_EQ(sp_ConvertFromUtf8("\xC3\xA9t\xC3\xA9"), "\xE9t\xE9");

    EXPECT_FALSE(sp_SetLocaleEncoding(YString("no-such-codec")));
    EXPECT_EQ(sp_ConvertFromLocal("\xE9"), "\xC3\xA9"); // unchanged
  }
  EXPECT_TRUE(sp_SetLocaleEncoding(YString("DEFAULT")));
  QTextCodec *system = QTextCodec::codecForLocale();
  EXPECT_EQ(sp_ConvertFromLocal("\xE2\x82\xAC"),
            YString(system->toUnicode("\xE2\x82\xAC").toUtf8().constData()));
}

std::string block(const char *bytes, int count, int codePage) {
  YVector<char> out;
  out.append('#'); // replaced, not appended to
  sp_ConvertMBCSBlock_to_UTF8(bytes, count, &out, codePage);
  return std::string(out.data(), static_cast<size_t>(out.size()));
}

// One page of each kind (the rest of the table names codecs the same way),
// and the local encoding for 0 and unknown numbers.
TEST(TextEncodingTest, NamedCodePagesRoundTripAndBlocksKeepTheirBytes) {
  struct Case {
    int codePage;
    const char *utf8;
    const char *bytes;
  };
  const Case cases[] = {
      {1252, "caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80"},
      {932, "\xE6\x97\xA5\xE6\x9C\xAC", "\x93\xFA\x96\x7B"},
      {0, "\xC3\xA9", "\xC3\xA9"},     // the local encoding (UTF-8 in the test run)
      {12345, "\xC3\xA9", "\xC3\xA9"}, // unknown: the local encoding
  };
  for (const Case &c : cases) {
    EXPECT_EQ(sp_ConvertUTF8_to_MBCS(c.utf8, c.codePage), c.bytes) << c.codePage;
    EXPECT_EQ(block(c.bytes, static_cast<int>(std::strlen(c.bytes)), c.codePage), c.utf8);
  }
  // Blocks keep exactly their bytes.
  EXPECT_EQ(block("a\0b", 3, 1252), std::string("a\0b", 3));
  EXPECT_EQ(block("abc", -5, 1252), "");
  EXPECT_EQ(block(nullptr, 3, 1252), "");
  sp_ConvertMBCSBlock_to_UTF8("abc", 3, nullptr, 1252);
  // Bytes a page does not define become replacement characters.
  EXPECT_EQ(block("\xFF", 1, 65001), "\xEF\xBF\xBD");
  EXPECT_EQ(sp_ConvertUTF8_to_MBCS("\xE6\x97\xA5", 1252), "?");
}

} // namespace
