#include "kvsupport/strings/YString.h"
#include "kvsupport/streams/kvstrstream.h"
#include "kvsupport/strings/QtStrings.h"
#include "kvsupport/strings/UTFString.h"

#include <QString>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

TEST(YStringTest, EmptyStringsShareOneBlockWhateverMadeThem) {
  YString byDefault, fromNull(static_cast<const char *>(nullptr)), fromEmpty(""),
      fromCount("abc", 0), cut = YString("hello").substring(5, 0);
  for (const YString *s : {&byDefault, &fromNull, &fromEmpty, &fromCount, &cut})
    EXPECT_EQ(s->tocs(), byDefault.tocs()) << "every empty string points at the null block";
  // Editing an empty string never writes into the shared empty text.
  YString edited;
  edited &= "x";
  EXPECT_STREQ(edited.tocs(), "x");
  EXPECT_STREQ(byDefault.tocs(), "");
}

// Copies share until one is edited; indexing outside the text reaches the
// error character, and writes to it do not stick.
TEST(YStringTest, CopiesShareUntilOneIsEditedAndAssignmentIsSafe) {
  YString a("shared text");
  YString b(a);
  EXPECT_EQ(a.tocs(), b.tocs());
  b.toupper();
  EXPECT_FALSE(a == b) << "equality is byte-exact";
  EXPECT_EQ(a.getRefCount(), 1);
  YString c(a);
  c[0] = 'S';
  c[-1] = 'X';
  c[12] = 'Y';
  EXPECT_STREQ(a.tocs(), "shared text");
  EXPECT_STREQ(c.tocs(), "Shared text");
  EXPECT_EQ(&c[11], c.tocs() + 11) << "the terminator is the string's own";
  EXPECT_EQ(&c[-1], &c[12]) << "both out of range: the one error character";
  // Assignment is safe against itself.
  YString self("self");
  const YString *alias = &self;
  self = *alias;
  self = self.tocs() + 1; // a pointer into its own block
  EXPECT_STREQ(self.tocs(), "elf");
  YString longer("abc");
  const YString *same = &longer;
  longer &= *same; // append to itself
  longer &= longer.tocs() + 3;
  EXPECT_STREQ(longer.tocs(), "abcabcabc");
}

// Numbers, ends, prefixes (byte-exact) and suffixes (any case), path
// comparisons (unsigned bytes) and case-insensitive C comparisons.
TEST(YStringTest, ConstructorsComparisonsSearchesAndHashes) {
  EXPECT_STREQ(YString(1.0 / 3).tocs(), "0.333333333333");
  YString s("abc7");
  EXPECT_EQ(s.getBlockBytes(), 8);
  EXPECT_TRUE(s.endsWithNumber());
  EXPECT_EQ(YString("\xE9").lastChar(), -23) << "characters are signed";
  EXPECT_EQ(YString("abc").hasPrefix("ab"), 2);
  EXPECT_EQ(YString("abc").hasPrefix("AB"), 0);
  EXPECT_FALSE(YString("ab").beginsWith(YString("abc")));
  EXPECT_TRUE(YString("file.TXT").endsWith(YString(".txt")));
  EXPECT_FALSE(YString("txt").endsWith(YString(".txt")));
  EXPECT_EQ(YString("/a/B").comparePath(YString("/a/b")), -1);
  EXPECT_EQ(YString("/a/\xE9").comparePath(YString("/a/e")), 1);
  EXPECT_EQ(YString("/a/b").comparePath(YString("/a/b")), 0);
  EXPECT_GT(sp_stricmp("ab", "A"), 0);
  EXPECT_EQ(sp_strnicmp("abcX", "ABCy", 3), 0);
  EXPECT_NE(sp_strnicmp("abcX", "ABCy", 4), 0);
  // Searches ignore case and answer the end of the match.
  EXPECT_EQ(YString("abcabc").findIndex("ABC", 1), 6);
  EXPECT_EQ(YString("abc").findIndex("abc", -7), 3);
  EXPECT_EQ(YString("abc").findIndex("", 4), -1);
  EXPECT_EQ(YString("ab").lastIndexOf("abc"), -1);
  EXPECT_EQ(YString("abc").lastIndexOf("abc"), 0);
  // Hashes fold case, path hashes do not.
  EXPECT_EQ(YString("AB").hashValue(), 4264001u);
  EXPECT_NE(YString("ab").pathHashValue(), 4264001u);
  EXPECT_EQ(YString("\xE9").hashValue(), static_cast<uint32_t>(-23) & 0x7FFFFFFFu)
      << "bytes above 127 count as negative values";
}

struct SubstituteCase {
  const char *text, *from, *to;
  int start;
  const char *expected;
  int result;
};

TEST(YStringTest, SubstituteReplacesOneMatchOrAll) {
  const SubstituteCase cases[] = {
      {"abcb", "b", "XY", 2, "abcXY", 5},
      {"aaab", "aab", "X", 0, "aaab", 0}, // matching restarts at the failing character
      {"abab", "ab", "", 0, "ab", 0},     // replacement at 0 by nothing reports 0
      {"xab", "ab", "", 0, "x", 1},       // a match ending at the end is found
      {"abc", "", "X", 0, "abc", 0},      // an empty pattern never matches
      {"abc", "b", "X", -1, "abc", 0},    // negative start
      {"abab", "ab", "Z", 1, "abZ", 3},   // a match may not begin before start
  };
  for (const auto &c : cases) {
    YString s(c.text);
    EXPECT_EQ(s.substitute(YString(c.from), YString(c.to), c.start), c.result) << c.text;
    EXPECT_STREQ(s.tocs(), c.expected) << c.text << " " << c.from;
  }
  // Replacing all goes on after each replacement (never rescanning what it
  // put in) and stops after one that reports 0; shared text is copied first.
  const char *all[][4] = {{"aa", "a", "aa", "aaaa"}, {"abab", "ab", "", "ab"}};
  for (const auto &c : all) {
    YString s(c[0]);
    YString shared(s);
    s.substituteAll(YString(c[1]), YString(c[2]));
    EXPECT_STREQ(s.tocs(), c[3]) << c[0];
    EXPECT_STREQ(shared.tocs(), c[0]);
  }
  YString self("xx");
  self.substituteAll(self, YString("y"));
  EXPECT_STREQ(self.tocs(), "y");
}

// By a character, empty runs are dropped; by a text, empty tokens are kept
// but not a trailing one.
TEST(YStringTest, TokenizeByCharacterOrText) {
  struct Case {
    const char *text, *separator;
    bool byCharacter;
    std::vector<std::string> tokens;
  } cases[] = {
      {",a,,b,", ",", true, {"a", "b"}},
      {",a,,b,", ",", false, {"", "a", "", "b"}},
      // After a mismatch the character is not tried as a new separator start.
      {"a;;;b", ";;", false, {"a", ";b"}},
  };
  for (const auto &c : cases) {
    YString text(c.text);
    YList<YString> list;
    if (c.byCharacter)
      YString::tokenize(&text, c.separator[0], &list);
    else
      YString::tokenize(&text, YString(c.separator), &list);
    std::vector<std::string> tokens;
    for (const YString &s : list)
      tokens.emplace_back(s.tocs());
    EXPECT_EQ(tokens, c.tokens) << c.text << " by " << c.separator;
  }
}

// strtok keeps what follows one delimiter; shiftLeft takes and pads.
TEST(YStringTest, CutsFromTheFront) {
  YString tokens(",,ab,,cd");
  EXPECT_STREQ(tokens.strtok(",").tocs(), "ab");
  EXPECT_STREQ(tokens.tocs(), ",cd");
  YString only(",,,");
  EXPECT_TRUE(only.strtok(",").isEmpty());
  YString s("abcdef");
  EXPECT_STREQ(s.shiftLeft(2, 0).tocs(), "ab");
  EXPECT_STREQ(s.shiftLeft(6, ' ').tocs(), "cdef  ");
  EXPECT_TRUE(s.isEmpty());
  YString kept("ab");
  EXPECT_STREQ(kept.shiftLeft(-4, 0).tocs(), "ab");
  EXPECT_STREQ(kept.tocs(), "ab");
  const std::tuple<int, int, const char *> cases[] = {
      {1, 3, "ell"}, {-2, 4, "he"}, {3, 100, "lo"}, {2, INT_MAX, "llo"}, {5, 1, ""}, {2, -1, ""}};
  for (const auto &[start, count, expected] : cases)
    EXPECT_STREQ(YString("hello").substring(start, count).tocs(), expected)
        << start << "," << count;
}

TEST(YStringTest, StripsAndConverts) {
  YString s("  \tab \t ");
  s.stripLeading(" \t");
  s.stripTrailing(" \t");
  s.stripLeading(nullptr);
  s.stripTrailing(nullptr);
  EXPECT_STREQ(s.tocs(), "ab");
  struct Case {
    const char *text, *quotes;
    bool both;
    const char *expected;
  } cases[] = {
      {"\"abc", "\"", true, "\"abc"}, {"\"abc", "\"", false, "abc"}, {"abc\"", "\"", false, "abc"},
      {"(x)", "()", true, "x"},       {"\"", "\"", true, ""},        {"abc", nullptr, false, "abc"},
  };
  for (const auto &c : cases) {
    YString q(c.text);
    q.stripQuotes(c.quotes, c.both);
    EXPECT_STREQ(q.tocs(), c.expected) << c.text;
  }
  YString dos("a\r\nb\r\r\nc\r");
  EXPECT_STREQ(dos.convertDosToUnix().tocs(), "a\nb\r\nc\r");
  YString padded("ab");
  padded.pad(5, '.');
  padded.pad(2, '.');
  EXPECT_STREQ(padded.tocs(), "ab...");
}

TEST(YStringTest, PrintingAndConcatenationBuildOneBlock) {
  YString printed;
  std::string big(100000, 'q');
  printed.sprintf("%s|%s", big.c_str(), big.c_str());
  EXPECT_EQ(printed.length(), 200001);
  YString joined(YString("R1").concat(" out").concat(nullptr).concat(" 4k7"));
  EXPECT_STREQ(joined.tocs(), "R1 out 4k7");
  std::string expected = "x";
  TempString &temp = YString("x").concat(nullptr);
  for (int i = 0; i < 200; ++i) {
    temp.concat("0123456789");
    expected += "0123456789";
  }
  EXPECT_STREQ(temp.theString(), expected.c_str());
  temp.Destroy();
  EXPECT_EQ(TempString::GetNumJStringBytes(), 0);
}

TEST(YStringTest, FromSpanCopiesExactlyTheSpan) {
  // Every length through the copy's size steps, each span alone in a heap
  // block of its own size without a terminator, so that ASan reports any
  // byte read outside it; the block must still be one that detach() hands
  // over for free(), and a shared one is copied first.
  const std::string source = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJ";
  for (size_t start = 0; start < 3; ++start) {
    for (size_t length = 0; start + length <= source.size(); ++length) {
      std::unique_ptr<char[]> span(new char[length]);
      std::memcpy(span.get(), source.data() + start, length);
      YString text = YString::fromSpan(span.get(), length);
      std::string expected = source.substr(start, length);
      EXPECT_TRUE(length || text.tocs() == YString().tocs()) << "the shared empty block";
      YString shared(text);
      char *detached = text.detach();
      EXPECT_EQ(std::string(detached), expected);
      std::free(detached);
      EXPECT_EQ(shared.tocs(), expected);
    }
  }
}

// A byte channel over a std::string that hands out at most 3 bytes per read.
class MemoryStream : public YStringStream {
public:
  std::string bytes;
  size_t readAt = 0;
  int writesLeft = 1000;
  int read(void *buffer, int size) override {
    size_t n = std::min<size_t>({static_cast<size_t>(size), bytes.size() - readAt, 3});
    std::memcpy(buffer, bytes.data() + readAt, n);
    readAt += n;
    return static_cast<int>(n);
  }
  bool write(const void *buffer, int size) override {
    if (writesLeft-- <= 0)
      return false;
    bytes.append(static_cast<const char *>(buffer), static_cast<size_t>(size));
    return true;
  }
};

TEST(YStringTest, StreamRecordsRoundTripAndFailSafely) {
  MemoryStream stream;
  std::string big(70000, 'z');
  for (const char *t : {"alpha", "", big.c_str()})
    ASSERT_TRUE(YString(t).save(stream));
  for (const char *t : {"alpha", "", big.c_str()}) {
    YString back("old");
    ASSERT_TRUE(back.restore(stream));
    EXPECT_STREQ(back.tocs(), t);
  }
  YString untouched("keep");
  EXPECT_FALSE(untouched.restore(stream)) << "no length left";
  // A damaged length far beyond the data fails without claiming the memory.
  MemoryStream damaged;
  int32_t huge = 0x7FFFFFF0;
  damaged.bytes.assign(reinterpret_cast<const char *>(&huge), sizeof huge);
  damaged.bytes += "short";
  EXPECT_FALSE(untouched.restore(damaged));
  MemoryStream failing;
  failing.writesLeft = 1;
  EXPECT_FALSE(YString("text").save(failing));

  // Records on a kvstream: 16-bit lengths (cut to 32767 bytes) and 32-bit ones.
  kvstrstream records;
  EXPECT_TRUE(YString("ab").save(records));
  EXPECT_TRUE(YString(big.c_str()).save(records));
  EXPECT_TRUE(YString(big.c_str()).saveLong(records));
  YString back;
  EXPECT_EQ(back.restore(records, 2), 1);
  EXPECT_EQ(back.restore(records, 0), 1);
  EXPECT_EQ(back.length(), 32767);
  EXPECT_EQ(back.restoreLong(records), 1);
  EXPECT_EQ(back.length(), 70000);
  EXPECT_EQ(back.restoreLong(records), 0) << "end of input";
  EXPECT_TRUE(records.get() == -1 && !back.restore(records, 0) && !back.restoreLong(records));
  kvstrstream longer;
  EXPECT_TRUE(YString("abc").save(longer) && !untouched.restore(longer, 2)) << "over the maximum";
  kvstrstream half("\x05"); // half a 16-bit length
  EXPECT_EQ(untouched.restore(half, 0), 0);
  const char cutRecord[] = {5, 0, 0, 0, 'a', 'b'}; // five bytes declared, two there
  kvstrstream cut; // written: text given to the constructor ends at its first NUL
  cut.write(cutRecord, sizeof cutRecord);
  EXPECT_EQ(untouched.restoreLong(cut), 0);
  EXPECT_STREQ(untouched.tocs(), "keep");
}

TEST(YStringTest, QtAndWideConversionsKeepUtf8) {
  YString utf8("R\xC3\xA9sistance \xE2\x84\xA6");
  QString q = toQs(utf8);
  EXPECT_EQ(q.length(), 12);
  EXPECT_EQ(toYs(q), utf8);
  const char *interned = toCs(q);
  // Thousands of further texts make the set grow; the first pointer stays valid and unique.
  for (int i = 0; i < 5000; ++i)
    toCs(QString::number(i));
  EXPECT_EQ(toCs(q), interned);
  EXPECT_STREQ(interned, utf8.tocs());
  UTFString fromUtf8("\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(std::wstring(fromUtf8.getWide()), std::wstring(L"\u00e9t\u00e9"));
  UTFString fromWide(L"\u2126 ok");
  EXPECT_STREQ(fromWide.get(), "\xE2\x84\xA6 ok");
}

} // namespace
