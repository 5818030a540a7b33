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

std::vector<std::string> toVector(const YList<YString> &list) {
  std::vector<std::string> out;
  for (const YString &s : list)
    out.emplace_back(s.tocs());
  return out;
}

TEST(YStringTest, EmptyStringsShareOneBlockWhateverMadeThem) {
  YString byDefault, fromNull(static_cast<const char *>(nullptr)), fromEmpty(""),
      fromCount("abc", 0), cut = YString("hello").substring(5, 0);
  for (const YString *s : {&byDefault, &fromNull, &fromEmpty, &fromCount, &cut}) {
    EXPECT_STREQ(s->tocs(), "");
    EXPECT_TRUE(s->isEmpty());
    EXPECT_EQ(s->tocs(), byDefault.tocs()) << "every empty string points at the null block";
  }
  // Editing an empty string never writes into the shared empty text.
  YString edited;
  edited &= "x";
  EXPECT_STREQ(edited.tocs(), "x");
  EXPECT_STREQ(byDefault.tocs(), "");
}

// Copies share until one is edited; indexing outside the text reaches the
// error character, and writes to it do not stick.
TEST(YStringTest, CopiesShareUntilOneIsEdited) {
  YString a("shared text");
  YString b(a);
  EXPECT_EQ(a.getRefCount(), 2);
  EXPECT_EQ(a.tocs(), b.tocs());
  b.toupper();
  EXPECT_STREQ(b.tocs(), "SHARED TEXT");
  EXPECT_FALSE(a == b) << "equality is byte-exact";
  EXPECT_EQ(a.getRefCount(), 1);
  YString c(a);
  c[0] = 'S';
  c[-1] = 'X';
  c[12] = 'Y';
  EXPECT_STREQ(a.tocs(), "shared text");
  EXPECT_STREQ(c.tocs(), "Shared text");
  EXPECT_EQ(c[11], '\0');
  EXPECT_EQ(&c[11], c.tocs() + 11) << "the terminator is the string's own";
  EXPECT_EQ(c[-1], '\0');
  EXPECT_EQ(&c[-1], &c[12]) << "both out of range: the one error character";
  EXPECT_EQ(YString()[0], '\0');
}

TEST(YStringTest, AssignmentIsSafeAgainstItself) {
  YString a("self");
  const YString *alias = &a;
  a = *alias;
  EXPECT_STREQ(a.tocs(), "self");
  a = a.tocs() + 1; // a pointer into its own block
  EXPECT_STREQ(a.tocs(), "elf");
  YString longer("abc");
  const YString *same = &longer;
  longer &= *same; // append to itself
  EXPECT_STREQ(longer.tocs(), "abcabc");
  longer &= longer.tocs() + 3;
  EXPECT_STREQ(longer.tocs(), "abcabcabc");
  a = static_cast<const char *>(nullptr);
  EXPECT_TRUE(a.isEmpty());
}

// Numbers, ends, prefixes (byte-exact) and suffixes (any case), path
// comparisons (unsigned bytes) and case-insensitive C comparisons.
TEST(YStringTest, ConstructorsAndComparisons) {
  EXPECT_STREQ(YString(-5).tocs(), "-5");
  EXPECT_STREQ(YString(0.1).tocs(), "0.1");
  EXPECT_STREQ(YString(1.0 / 3).tocs(), "0.333333333333");
  EXPECT_STREQ(YString(-1.5e-300).tocs(), "-1.5e-300");
  EXPECT_STREQ(YString(LLONG_MIN).tocs(), "-9223372036854775808");
  EXPECT_STREQ(YString(ULLONG_MAX).tocs(), "18446744073709551615");
  EXPECT_STREQ(YString("abcdef", 3).tocs(), "abc");
  EXPECT_STREQ(YString("ab", 10).tocs(), "ab");
  YString s("abc7");
  EXPECT_EQ(s.getBlockBytes(), 8);
  EXPECT_EQ(s.lastChar(), '7');
  EXPECT_TRUE(s.endsWithNumber());
  EXPECT_EQ(s.first('x'), 4);
  EXPECT_EQ(YString().lastChar(), 0);
  EXPECT_FALSE(YString().endsWithNumber());
  EXPECT_EQ(YString("\xE9").lastChar(), -23) << "characters are signed";
  EXPECT_EQ(YString("abc").hasPrefix("ab"), 2);
  EXPECT_EQ(YString("xabc").hasPrefix("ab"), 0);
  EXPECT_EQ(YString("abc").hasPrefix(""), 0);
  EXPECT_EQ(YString("abc").hasPrefix("AB"), 0);
  EXPECT_TRUE(YString("abc").beginsWith(YString()));
  EXPECT_FALSE(YString("ab").beginsWith(YString("abc")));
  EXPECT_TRUE(YString("file.TXT").endsWith(YString(".txt")));
  EXPECT_TRUE(YString("x").endsWith(YString()));
  EXPECT_FALSE(YString("txt").endsWith(YString(".txt")));
  EXPECT_EQ(YString("/a/b").comparePath(YString("/a/b")), 0);
  EXPECT_EQ(YString("/a/B").comparePath(YString("/a/b")), -1);
  EXPECT_EQ(YString("/a/\xE9").comparePath(YString("/a/e")), 1);
  EXPECT_FALSE(YString("A").pathEqual(YString("a")));
  EXPECT_EQ(sp_stricmp("Options", "OPTIONS"), 0);
  EXPECT_LT(sp_stricmp("a", "B"), 0);
  EXPECT_GT(sp_stricmp("ab", "A"), 0);
  EXPECT_EQ(sp_strnicmp("abcX", "ABCy", 3), 0);
  EXPECT_NE(sp_strnicmp("abcX", "ABCy", 4), 0);
}

TEST(YStringTest, SearchesIgnoreCaseAndReturnTheEndOfTheMatch) {
  YString s("a#b");
  EXPECT_EQ(s.findIndex("#", 0), 2);
  EXPECT_EQ(YString("ABC").findIndex("b", 0), 2);
  EXPECT_EQ(YString("abcabc").findIndex("ABC", 1), 6);
  EXPECT_EQ(YString("abc").findIndex("abc", -7), 3);
  EXPECT_EQ(YString("abc").findIndex("abcd", 0), -1);
  EXPECT_EQ(YString("abc").findIndex("", 3), 3);
  EXPECT_EQ(YString("abc").findIndex("", 4), -1);
  EXPECT_EQ(YString("abca").lastIndexOf("A"), 3);
  EXPECT_EQ(YString("abc").lastIndexOf(""), 3);
  EXPECT_EQ(YString("abc").lastIndexOf("x"), -1);
  EXPECT_EQ(YString("ab").lastIndexOf("abc"), -1);
  EXPECT_EQ(YString("abc").lastIndexOf("abc"), 0);
}

TEST(YStringTest, HashesFoldCaseButPathHashesDoNot) {
  EXPECT_EQ(YString("ab").hashValue(), 4264001u);
  EXPECT_EQ(YString("AB").hashValue(), 4264001u);
  EXPECT_EQ(YString("x").HashValue(), YString("X").hashValue());
  EXPECT_EQ(YString().hashValue(), 0u);
  EXPECT_EQ(YString("AB").pathHashValue(), 4264001u);
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

TEST(YStringTest, SubstituteReplacesTheFirstMatchAtOrAfterStart) {
  const SubstituteCase cases[] = {
      {"abcb", "b", "XY", 0, "aXYcb", 3},
      {"abcb", "b", "XY", 2, "abcXY", 5},
      {"aaab", "aab", "X", 0, "aaab", 0}, // matching restarts at the failing character
      {"aaab", "ab", "X", 0, "aaX", 3},
      {"abab", "ab", "", 0, "ab", 0},   // replacement at 0 by nothing reports 0
      {"xab", "ab", "", 0, "x", 1},     // a match ending at the end is found
      {"abc", "", "X", 0, "abc", 0},    // an empty pattern never matches
      {"abc", "b", "X", -1, "abc", 0},  // negative start
      {"abc", "b", "X", 3, "abc", 0},   // start at the length
      {"abab", "ab", "Z", 1, "abZ", 3}, // a match may not begin before start
  };
  for (const auto &c : cases) {
    YString s(c.text);
    EXPECT_EQ(s.substitute(YString(c.from), YString(c.to), c.start), c.result) << c.text;
    EXPECT_STREQ(s.tocs(), c.expected) << c.text << " " << c.from;
  }
}

// Replacing goes on after each replacement (never rescanning what it put in)
// and stops after a replacement that reports 0; shared text is copied first.
TEST(YStringTest, SubstituteAllContinuesAfterEachReplacement) {
  const char *cases[][4] = {
      {"abcb", "b", "XY", "aXYcXY"}, {"aa", "a", "aa", "aaaa"}, {"abab", "ab", "", "ab"}};
  for (const auto &c : cases) {
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
      {",,,", ",", true, {}},
      {",a,,b,", ",", false, {"", "a", "", "b"}},
      {"a::b", "::", false, {"a", "b"}},
      {"a:::b", "::", false, {"a", ":b"}},
      {"a:x:b", "::", false, {"a:x:b"}},
      // After a mismatch the character is not tried as a new separator start.
      {"a;;;b", ";;", false, {"a", ";b"}},
      {"ab", "", false, {"ab"}},
      {"", ",", false, {}},
  };
  for (const auto &c : cases) {
    YString text(c.text);
    YList<YString> list;
    EXPECT_EQ(c.byCharacter ? YString::tokenize(&text, c.separator[0], &list)
                            : YString::tokenize(&text, YString(c.separator), &list),
              &list);
    EXPECT_EQ(toVector(list), c.tokens) << c.text << " by " << c.separator;
  }
}

TEST(YStringTest, StrtokKeepsWhatFollowsOneDelimiter) {
  YString s(",,ab,cd");
  EXPECT_STREQ(s.strtok(",").tocs(), "ab");
  EXPECT_STREQ(s.tocs(), "cd");
  EXPECT_STREQ(s.strtok(",").tocs(), "cd");
  EXPECT_TRUE(s.isEmpty());
  YString only(",,,");
  EXPECT_TRUE(only.strtok(",").isEmpty());
  EXPECT_TRUE(only.isEmpty());
  YString two("a,,b");
  two.strtok(",");
  EXPECT_STREQ(two.tocs(), ",b");
}

TEST(YStringTest, ShiftLeftTakesAndPads) {
  struct Case {
    const char *text;
    int count;
    char pad;
    const char *taken, *left;
  } cases[] = {
      {"abcdef", 2, 0, "ab", "cdef"}, {"abcdef", 0, 0, "abcdef", "abcdef"},
      {"ab", 3, ' ', "ab ", ""},      {"ab", 3, 0, "ab", ""},
      {"ab", -4, 0, "ab", "ab"},
  };
  for (const Case &c : cases) {
    YString s(c.text);
    EXPECT_STREQ(s.shiftLeft(c.count, c.pad).tocs(), c.taken) << c.text << " " << c.count;
    EXPECT_STREQ(s.tocs(), c.left) << c.text << " " << c.count;
  }
}

TEST(YStringTest, SubstringClips) {
  const std::tuple<int, int, const char *> cases[] = {
      {1, 3, "ell"}, {-2, 4, "he"}, {3, 100, "lo"}, {2, INT_MAX, "llo"}, {5, 1, ""}, {2, -1, ""}};
  for (const auto &[start, count, expected] : cases)
    EXPECT_STREQ(YString("hello").substring(start, count).tocs(), expected)
        << start << "," << count;
}

TEST(YStringTest, Stripping) {
  YString s("  \tab \t ");
  s.stripLeading(" \t");
  EXPECT_STREQ(s.tocs(), "ab \t ");
  s.stripTrailing(" \t");
  EXPECT_STREQ(s.tocs(), "ab");
  YString all("xxx");
  all.stripTrailing("x");
  EXPECT_TRUE(all.isEmpty());

  struct Case {
    const char *text, *quotes;
    bool both;
    const char *expected;
  } cases[] = {
      {"\"abc", "\"", true, "\"abc"}, {"\"abc", "\"", false, "abc"},
      {"\"abc\"", "\"", true, "abc"}, {"abc\"", "\"", false, "abc"},
      {"(x)", "()", true, "x"},       {"(x", "()", false, "x"},
      {"\"", "\"", true, ""},         {"abc", nullptr, false, "abc"},
      {"abc", "", false, "abc"},
  };
  for (const auto &c : cases) {
    YString q(c.text);
    q.stripQuotes(c.quotes, c.both);
    EXPECT_STREQ(q.tocs(), c.expected) << c.text;
  }
}

TEST(YStringTest, CaseAndLineEndConversionsReturnTheResult) {
  YString s("MiXeD\xE9");
  EXPECT_STREQ(s.tolower().tocs(), "mixed\xE9");
  EXPECT_STREQ(s.toupper().tocs(), "MIXED\xE9");
  YString dos("a\r\nb\r\r\nc\r");
  EXPECT_STREQ(dos.convertDosToUnix().tocs(), "a\nb\r\nc\r");
  YString padded("ab");
  padded.pad(5, '.');
  EXPECT_STREQ(padded.tocs(), "ab...");
  padded.pad(2, '.');
  EXPECT_STREQ(padded.tocs(), "ab...");
}

TEST(YStringTest, SprintfSizesTheResultExactly) {
  YString s;
  s.sprintf("%d-%s", 42, "x");
  EXPECT_STREQ(s.tocs(), "42-x");
  std::string big(100000, 'q');
  s.sprintf("%s|%s", big.c_str(), big.c_str());
  EXPECT_EQ(s.length(), 200001);
  s.sprintf("%*d", 5000, 1);
  EXPECT_EQ(s.length(), 5000);
  s.sprintf("%s", "");
  EXPECT_TRUE(s.isEmpty());
}

TEST(YStringTest, ConcatenationBuildsOneBlock) {
  YString base("R1");
  YString joined(base.concat(" out").concat(" 0").concat(nullptr).concat(" 4k7"));
  EXPECT_STREQ(joined.tocs(), "R1 out 0 4k7");
  EXPECT_EQ(joined.getRefCount(), 1);
  std::string expected = "x";
  TempString &temp = YString("x").concat(nullptr);
  for (int i = 0; i < 200; ++i) {
    temp.concat("0123456789");
    expected += "0123456789";
  }
  EXPECT_EQ(temp.len(), static_cast<int>(expected.size()));
  EXPECT_STREQ(temp.theString(), expected.c_str());
  temp.Destroy();
  EXPECT_EQ(TempString::GetNumJStringBytes(), 0);
}

TEST(YStringTest, DetachHandsOverTheTextAndLeavesItEmpty) {
  for (bool shared : {false, true}) {
    YString text("mine");
    YString other(shared ? text : YString());
    char *detached = text.detach();
    EXPECT_STREQ(detached, "mine");
    EXPECT_TRUE(text.isEmpty());
    std::free(detached);
    EXPECT_STREQ(other.tocs(), shared ? "mine" : "");
    EXPECT_TRUE(!shared || other.getRefCount() == 1);
  }
  YString other("ours");
  char *copy = other.copy();
  EXPECT_STREQ(copy, "ours");
  EXPECT_NE(copy, other.tocs());
  std::free(copy);
}

TEST(YStringTest, FromSpanCopiesExactlyTheSpan) {
  // Every length through the copy's size steps, each span alone in a heap
  // block of its own size without a terminator, so that ASan reports any
  // byte read outside it; the block must still be one that detach() hands
  // over for free().
  const std::string source = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJ";
  for (size_t start = 0; start < 3; ++start) {
    for (size_t length = 0; start + length <= source.size(); ++length) {
      std::unique_ptr<char[]> span(new char[length]);
      std::memcpy(span.get(), source.data() + start, length);
      YString text = YString::fromSpan(span.get(), length);
      std::string expected = source.substr(start, length);
      EXPECT_EQ(text.tocs(), expected);
      EXPECT_EQ(text.length(), static_cast<int>(length));
      EXPECT_TRUE(length || text.tocs() == YString().tocs()) << "the shared empty block";
      YString shared(text);
      text &= "+";
      EXPECT_EQ(shared.tocs(), expected) << "edits copy first";
      char *detached = shared.detach();
      EXPECT_EQ(std::string(detached), expected);
      std::free(detached);
    }
  }
  EXPECT_TRUE(YString::fromSpan(nullptr, 0).isEmpty());
}

TEST(YStringTest, BlockRecordsRoundTrip) {
  const char *texts[] = {"", "a", "line with spaces", "\xE9\xE8"};
  char buffer[256];
  void *cursor = buffer;
  int expectedBytes = 0;
  for (const char *t : texts) {
    YString(t).writeBlock(&cursor);
    expectedBytes += YString(t).getBlockBytes();
  }
  EXPECT_EQ(static_cast<char *>(cursor) - buffer, expectedBytes);
  cursor = buffer;
  for (const char *t : texts) {
    YString back("previous");
    back.readBlock(&cursor);
    EXPECT_STREQ(back.tocs(), t);
  }
}

// A byte channel over a std::string that hands out at most `chunk` bytes per read.
class MemoryStream : public YStringStream {
public:
  std::string bytes;
  size_t readAt = 0;
  int chunk = 3;
  int writesLeft = 1000;
  int read(void *buffer, int size) override {
    size_t n = std::min<size_t>(
        {static_cast<size_t>(size), bytes.size() - readAt, static_cast<size_t>(chunk)});
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
    EXPECT_TRUE(*t || back.tocs() == YString().tocs()) << "the shared empty block";
  }
  YString untouched("keep");
  EXPECT_FALSE(untouched.restore(stream)) << "no length left";
  EXPECT_STREQ(untouched.tocs(), "keep");

  // A damaged length far beyond the data fails without claiming the memory.
  MemoryStream damaged;
  int32_t huge = 0x7FFFFFF0;
  damaged.bytes.assign(reinterpret_cast<const char *>(&huge), sizeof huge);
  damaged.bytes += "short";
  EXPECT_FALSE(untouched.restore(damaged));
  EXPECT_STREQ(untouched.tocs(), "keep");

  MemoryStream failing;
  failing.writesLeft = 1;
  EXPECT_FALSE(YString("text").save(failing));
  kvstrstream shortLength("ab"); // half a 32-bit length
  EXPECT_EQ(untouched.restoreLong(shortLength), 0);
  kvstream bufferless;
  EXPECT_EQ(untouched.restoreLong(bufferless), 0);
  const char cutRecord[] = {5, 0, 0, 0, 'a', 'b'}; // five bytes declared, two there
  kvstrstream cut(cutRecord, sizeof cutRecord);
  EXPECT_EQ(untouched.restoreLong(cut), 0);
  EXPECT_STREQ(untouched.tocs(), "keep");
}

TEST(YStringTest, QtConversionsKeepUtf8) {
  YString utf8("R\xC3\xA9sistance \xE2\x84\xA6");
  QString q = toQs(utf8);
  EXPECT_EQ(q.length(), 12);
  EXPECT_EQ(toYs(q), utf8);
  EXPECT_STREQ(Tocs(q), utf8.tocs());

  const char *interned = toCs(q);
  EXPECT_STREQ(interned, utf8.tocs());
  // Thousands of further texts make the set grow; the first pointer stays valid and unique.
  for (int i = 0; i < 5000; ++i)
    toCs(QString::number(i));
  EXPECT_EQ(toCs(q), interned);
  EXPECT_STREQ(interned, utf8.tocs());
  EXPECT_STREQ(toCs(QString::number(4321)), "4321");
}

TEST(YStringTest, UTFStringKeepsBothForms) {
  UTFString fromUtf8("\xC3\xA9t\xC3\xA9");
  EXPECT_STREQ(fromUtf8.get(), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(std::wstring(fromUtf8.getWide()), std::wstring(L"\u00e9t\u00e9"));
  UTFString fromWide(L"\u2126 ok");
  EXPECT_STREQ(fromWide.get(), "\xE2\x84\xA6 ok");
  UTFString none(static_cast<const char *>(nullptr));
  EXPECT_EQ(none.get(), nullptr);
  EXPECT_EQ(none.getWide(), nullptr);
}

} // namespace
