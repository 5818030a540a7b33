#include "kvsupport/netlist/Wildcards.h"

#include "netlist/Wildcards_p.h"

#include <QString>
#include <gtest/gtest.h>

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

  // File-dialog filters: name and patterns in pairs, a name left alone ignored.
  YArray<YString> filters;
  sp_CompileFilter("Netlists (x)|*.cir;*.net|All|*|odd", &filters, "; ");
  sp_CompileFilter("Joined|a;b", &filters, nullptr);
  sp_CompileFilter(nullptr, &filters, ";");
  sp_CompileFilter("x|y", nullptr, ";");
  ASSERT_EQ(filters.size(), 3);
  EXPECT_EQ(std::string(filters[0].tocs()) + "|" + filters[1].tocs() + "|" + filters[2].tocs(),
            "Netlists [x] (*.cir; *.net)|All (*)|Joined (ab)");
}

TEST(WildcardsTest, GlobMatchFindsTheFirstMatchAsAByteOffset) {
  struct Case {
    const char *pattern, *text;
    int position;
  } cases[] = {
      {"R*", "R", -1},
      {"a.b", "a.b", 0},
      {"a\\d", "xa1", 1}, // a class escape goes to the expression matcher
      {"*a*", "ay", -1},
      {"b*c", "abbc", 1},
      {"a\\", "a", -1},
      {"y", "\xC3\xA9\xF0\x9F\x98\x80y", 6},
      {"x", "\xEF\xBB\xBFx", 3},
      // The byte offsets of what QString::fromUtf8 decodes: the last code point,
      // the first beyond it, a surrogate, an overlong, a cut and stray bytes.
      {"!", "\xF4\x8F\xBF\xBF!", 4},
      {"!", "\xF4\x90\x80\x80!", 4},
      {"!", "\xED\xA0\x80!", 3},
      {"!", "\xC0\xAF!", 2},
      {"!", "\xE2\x82!", 2},
      {"!", "a\x80\xF5!", 3},
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

// Whole-text filters: case, escapes, bytes, null texts and long backtracking runs.
TEST(WildcardsTest, FilterStringMatchesWholeTexts) {
  struct Case {
    const char *text, *pattern;
    bool caseSensitive, matches;
  } cases[] = {
      {"aXb", "A*B", false, true},   {"aXb", "A*B", true, false},   {"a*b", "a\\*b", true, true},
      {"axb", "a\\*b", true, false}, {"ab", "a?b", true, false},    {"a", "*", true, true},
      {"[", "{", false, false},      {"ab", "a**", true, true},     {"a\\", "a\\", true, false},
      {"aab", "*ab", true, true},    {"abab", "*ab*b", true, true}, {"", "", true, true},
  };
  for (const Case &c : cases)
    EXPECT_EQ(sp_FilterString(c.text, c.pattern, c.caseSensitive), c.matches) << c.pattern;
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

} // namespace
