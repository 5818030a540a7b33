#include "kvsupport/netlist/Wildcards.h"

#include "netlist/Wildcards_p.h"

#include <QString>
#include <gtest/gtest.h>

#include <clocale>
#include <fnmatch.h>
#include <random>
#include <string>

namespace {

std::string randomText(std::mt19937 &random, const std::string &alphabet, size_t maxLength) {
  std::string text(random() % (maxLength + 1), ' ');
  for (char &c : text)
    c = alphabet[random() % alphabet.size()];
  return text;
}

TEST(WildcardsTest, RewritesWildcardsIntoRegularExpressions) {
  struct Case {
    const char *pattern, *expression;
  } cases[] = {
      {"R*", "R(.){1,}"},       {"*a*", "(.){1,}a(.){1,}"}, {"\\\\*", "\\\\(.){1,}"},
      {"\\\\\\?", "\\\\[?]"},   {"a.b+c", "a[.]b[+]c"},     {"[x](y){z}", "\\[x\\]\\(y\\)\\{z\\}"},
      {"^a|b$\\d", "^a|b$\\d"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(sp_GlobToRegExp(c.pattern), c.expression) << c.pattern;
  EXPECT_EQ(sp_GlobToRegExp(nullptr), "");
}

TEST(WildcardsTest, GlobMatchFindsTheFirstMatchAsAByteOffset) {
  struct Case {
    const char *pattern, *text;
    int position;
  } cases[] = {
      {"R*", "R", -1},
      {"1?", "x12", 1},
      {"a.b", "a.b", 0},
      {"a\\d", "xa1", 1}, // a class escape goes to the expression matcher
      {"*a*", "ay", -1},
      {"b*c", "abbc", 1},
      {"x\\?", "x?", 0},
      {"^a", "ba", -1},
      {"a\\", "a", -1},
      {"a\\.", "a[x]", -1},
      {"", "abc", 0},
      {"y", "\xC3\xA9\xF0\x9F\x98\x80y", 6},
      {"x", "\xEF\xBB\xBFx", 3},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(sp_GlobMatch(c.pattern, c.text), c.position) << c.pattern << " in " << c.text;
    EXPECT_EQ(kv::netlist::globMatchByRegExp(c.pattern, c.text), c.position) << c.pattern;
  }
  EXPECT_EQ(sp_GlobMatch(nullptr, "abc"), 0);
  EXPECT_EQ(sp_GlobMatch("a", nullptr), -1);
  // The direct matcher takes wildcard patterns and leaves regular expressions alone.
  EXPECT_NE(kv::netlist::globMatchDirect("*a?\\*[.]", "x"), kv::netlist::kNotDirect);
  EXPECT_EQ(kv::netlist::globMatchDirect("^a", "x"), kv::netlist::kNotDirect);

  EXPECT_EQ(sp_RegexpMatch("b+", "abbb"), 1);
  EXPECT_EQ(sp_RegexpMatch("(", "("), -1);
  EXPECT_EQ(sp_RegexpMatch("\\d", "\xC3\xA9_3"), 3);
  EXPECT_EQ(sp_RegexpMatch(nullptr, nullptr), 0);
  EXPECT_EQ(sp_RegexpMatch("x", nullptr), -1);
}

TEST(WildcardsTest, DirectMatcherAgreesWithRegExp) {
  std::mt19937 random(17);
  const std::string patternBytes = "ab*?.\\+(", textBytes = "ab*?.\\+(\xC3\xA9";
  for (int i = 0; i < 20000; ++i) {
    std::string pattern = randomText(random, patternBytes, 7);
    std::string text = randomText(random, textBytes, 10);
    int direct = kv::netlist::globMatchDirect(pattern.c_str(), text.c_str());
    if (direct != kv::netlist::kNotDirect) {
      ASSERT_EQ(direct, kv::netlist::globMatchByRegExp(pattern.c_str(), text.c_str()))
          << pattern << " in " << text;
    }
  }
  std::string longText(200, 'a');
  EXPECT_EQ(sp_GlobMatch("*a*a*a*a*b", longText.c_str()), -1);
  EXPECT_EQ(sp_GlobMatch("*a*a*a*a*b", (longText + "b").c_str()), 0);
}

// The UTF-16 index of QString::fromUtf8 maps back onto the bytes it came
// from, malformed sequences and a leading byte order mark included.
TEST(WildcardsTest, Utf16IndexesMapOntoBytes) {
  std::mt19937 random(3);
  const std::string bytes = "a\x80\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\xEF\xBB\xBF\xED\xA0\xC0\xF5";
  for (int i = 0; i < 5002; ++i) {
    // The last code point and the first beyond it, then random bytes.
    std::string text = i == 0   ? "\xF4\x8F\xBF\xBF!"
                       : i == 1 ? "\xF4\x90\x80\x80!"
                                : randomText(random, bytes, 12);
    QString decoded = QString::fromUtf8(text.c_str());
    for (int index = 0; index <= decoded.size(); ++index) {
      if (index < decoded.size() && decoded.at(index).isLowSurrogate())
        continue;
      int offset = kv::netlist::utf16IndexToByteOffset(text.c_str(), index);
      ASSERT_EQ(QString::fromUtf8(text.c_str(), offset), decoded.left(index))
          << "index " << index << " of " << QString::fromLatin1(text.c_str()).toStdString();
    }
  }
}

// Whole-text filters against fnmatch on random texts; bytes, null texts and
// long backtracking runs by hand.
TEST(WildcardsTest, FilterStringAgreesWithFnmatch) {
  std::setlocale(LC_CTYPE, "C");
  std::mt19937 random(5);
  const std::string alphabet = "aAb*?\\";
  for (int i = 0; i < 50000; ++i) {
    std::string pattern = randomText(random, alphabet, 8);
    std::string text = randomText(random, alphabet, 8);
    for (bool caseSensitive : {true, false}) {
      bool expected = fnmatch(pattern.c_str(), text.c_str(), caseSensitive ? 0 : FNM_CASEFOLD) == 0;
      ASSERT_EQ(sp_FilterString(text.c_str(), pattern.c_str(), caseSensitive), expected)
          << "'" << text << "' '" << pattern << "' " << caseSensitive;
    }
  }
  EXPECT_FALSE(sp_FilterString("\xC3\xA9", "?", false)) << "one byte, not one character";
  EXPECT_TRUE(sp_FilterString(nullptr, "*", true));
  EXPECT_FALSE(sp_FilterString(nullptr, "?", true));
  std::string as(100, 'a');
  EXPECT_FALSE(sp_FilterString(as.c_str(), "*a*a*a*a*a*a*b", true));
  EXPECT_TRUE(sp_FilterString((as + "b").c_str(), "*a*a*a*a*a*a*b", true));
}

TEST(WildcardsTest, CompareStringsInNaturalOrder) {
  struct Case {
    const char *a, *b;
    int order;
  } cases[] = {
      {"R2", "R10", -1},      {"R10", "r10", 0},
      {"a01", "a1", 1},       {"", "a", -1},
      {"\x80", "", -1},       {"a\xE9", "a", -1},
      {"[", "a", -1},         {"9", ":", -1},
      {"a1b01", "a01b1", -1}, {"x18446744073709551617", "x18446744073709551616", 1},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(sp_CompareStrings(c.a, c.b), c.order) << c.a << " " << c.b;
    EXPECT_EQ(sp_CompareStrings(c.b, c.a), -c.order) << c.b << " " << c.a;
  }
  EXPECT_EQ(sp_CompareStrings(nullptr, ""), 0);
}

TEST(WildcardsTest, CompilesFileDialogFilters) {
  YArray<YString> out;
  sp_CompileFilter("Schematics (new)|*.kvsch;*.sch|All files|*.*", &out, " ");
  sp_CompileFilter("Lists|*.lst;*.txt|Trailing name", &out, nullptr);
  sp_CompileFilter("x|y", nullptr, " ");
  ASSERT_EQ(out.size(), 3);
  EXPECT_EQ(out[0], "Schematics [new] (*.kvsch *.sch)");
  EXPECT_EQ(out[1], "All files (*.*)");
  EXPECT_EQ(out[2], "Lists (*.lst*.txt)");
}

} // namespace
