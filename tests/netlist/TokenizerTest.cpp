#include "kvsupport/netlist/Tokenizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// A copy of `text` in a heap block of exactly its size, so ASan catches any
// read past the terminator.
std::unique_ptr<char[]> exact(const std::string &text) {
  std::unique_ptr<char[]> copy(new char[text.size() + 1]);
  std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  return copy;
}

using Words = std::vector<std::string>;

Words toWords(const YArray<YString> &array) {
  Words out;
  for (int64_t i = 0; i < array.size(); ++i)
    out.push_back(array[i].tocs());
  return out;
}

// The word reader exactly as the algorithm reads: strchr on the lists,
// character by character. Returns "W:text" or "D:code" and the number of
// characters consumed, or "E" at the end of the text.
std::pair<std::string, size_t> referenceToken(const char *text, const ScanSpec &spec) {
  auto in = [](const char *list, char c) { return list && c && std::strchr(list, c); };
  size_t i = 0;
  while (in(spec.separators, text[i]))
    ++i;
  if (text[i] == '\0')
    return {"E", i};
  if (spec.openQuotes && spec.closeQuotes && in(spec.openQuotes, text[i])) {
    size_t position = static_cast<size_t>(std::strchr(spec.openQuotes, text[i]) - spec.openQuotes);
    if (position < std::strlen(spec.closeQuotes)) {
      char open = text[i];
      char close = spec.closeQuotes[position];
      bool nest = spec.nestQuotes && open != close;
      std::string word = spec.keepQuotes ? std::string(1, open) : std::string();
      size_t j = i + 1;
      for (int depth = 0; text[j]; ++j) {
        if (nest && text[j] == open) {
          ++depth;
        } else if (text[j] == close) {
          if (depth == 0)
            break;
          --depth;
        }
        word += text[j];
      }
      if (text[j]) {
        if (spec.keepQuotes)
          word += close;
        ++j;
      }
      return {"W:" + word, j};
    }
  }
  if (in(spec.delimiters, text[i])) {
    int code = text[i] == '\xFF' ? 0xFF : static_cast<signed char>(text[i]);
    return {"D:" + std::to_string(code), i + 1};
  }
  std::string word;
  size_t j = i;
  while (text[j] && !in(spec.separators, text[j]) && !in(spec.delimiters, text[j]) &&
         word.size() < static_cast<size_t>(kMaxScanWord))
    word += text[j++];
  return {"W:" + word, j};
}

// Every reference token of `text` to the end ("E" included), each with the
// offset the reader stops at.
std::vector<std::pair<std::string, size_t>> referenceTokens(const char *text,
                                                            const ScanSpec &spec) {
  std::vector<std::pair<std::string, size_t>> tokens;
  for (size_t offset = 0; tokens.empty() || tokens.back().first != "E";) {
    auto token = referenceToken(text + offset, spec);
    offset += token.second;
    tokens.emplace_back(token.first, offset);
  }
  return tokens;
}

// Random lines and scan descriptions drawn from characters that exercise
// every class: blank and tab, netlist punctuation, braces, characters whose
// low six bits equal the terminator's or a separator's ('@', '`', 0x80, 0xC0,
// 0xE0), other bytes of 0x80 and above, and long runs past the word limit.
TEST(TokenizerTest, ReadersAgreeWithAReferenceOnRandomLines) {
  const std::string pool = std::string(" \t=(),\"'{}[]@`ab1.") + "\x80\xC0\xE0\xE9\xFF";
  std::mt19937 random(20261206);
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  auto randomList = [&](size_t most) {
    std::string list;
    for (size_t n = pick(most + 1); n > 0; --n) {
      char c = pool[pick(pool.size())];
      if (list.find(c) == std::string::npos || pick(4) == 0)
        list += c;
    }
    return list;
  };
  // Mostly the lists of real scans, sometimes random ones.
  const char *separatorChoices[] = {" \t", " ", ",", nullptr};
  const char *delimiterChoices[] = {"=(),", "=", "", nullptr};

  for (int round = 0; round < 4000; ++round) {
    std::string separators = pick(3) ? separatorChoices[pick(3)] : randomList(3);
    std::string delimiters = pick(3) ? delimiterChoices[pick(3)] : randomList(4);
    // Mostly the netlist's quotes or nesting braces, sometimes random lists.
    const int quoting = static_cast<int>(pick(3));
    std::string openQuotes = quoting == 0 ? "\"" : quoting == 1 ? "{\"" : randomList(3);
    std::string closeQuotes = quoting == 0 ? "\"" : quoting == 1 ? "}\"" : randomList(3);
    ScanSpec spec{pick(8) ? separators.c_str() : nullptr,
                  pick(4) ? openQuotes.c_str() : nullptr,
                  pick(4) ? closeQuotes.c_str() : nullptr,
                  pick(6) ? delimiters.c_str() : nullptr,
                  pick(2) == 0,
                  pick(2) == 0};

    std::string text;
    for (size_t n = pick(60); n > 0; --n) {
      if (pick(200) == 0)
        text.append(1000 + pick(100), 'w');
      else
        text += pool[pick(pool.size())];
    }
    auto line = exact(text);
    SCOPED_TRACE("line \"" + text + "\" separators \"" + separators + "\" delimiters \"" +
                 delimiters + "\" quotes \"" + openQuotes + "\" \"" + closeQuotes + "\"");

    const auto expected = referenceTokens(line.get(), spec);
    const char *cursor = line.get();
    for (const auto &[token, offset] : expected) {
      int delimiter = 99;
      YString word = sp_GetToken(&cursor, spec, &delimiter);
      ASSERT_EQ(cursor, line.get() + offset);
      ASSERT_EQ(delimiter == -1  ? "E"
                : delimiter == 0 ? "W:" + std::string(word.tocs())
                                 : "D:" + std::to_string(delimiter),
                token);
      ASSERT_TRUE(delimiter == 0 || word.isEmpty());
    }
    // The line scanners stop after `count` words, or at the end for -1.
    const int count = pick(4) ? -1 : static_cast<int>(pick(expected.size() + 1));
    const size_t scanned =
        count < 0 ? expected.size() - 1 : std::min<size_t>(count, expected.size() - 1);
    YArray<ScanToken> tokens;
    sp_ScanLine(line.get(), spec, &tokens, count);
    YArray<YString> words;
    sp_ScanLine(line.get(), spec, &words, count);
    ASSERT_EQ(tokens.size(), static_cast<int64_t>(scanned));
    ASSERT_EQ(words.size(), tokens.size());
    for (int64_t i = 0; i < tokens.size(); ++i) {
      EXPECT_EQ(tokens[i].delimiter ? "D:" + std::to_string(tokens[i].delimiter)
                                    : "W:" + std::string(tokens[i].text.tocs()),
                expected[static_cast<size_t>(i)].first);
      EXPECT_STREQ(words[i].tocs(), tokens[i].text.tocs());
    }
  }
}

// The five-argument form: quoting is off without both lists; peek leaves
// the cursor. StrTok drops quotes and cuts every word, quoted ones too, at
// the word limit; the field readers keep empty fields.
TEST(TokenizerTest, SmallReaders) {
  const char *line = " \"\" x \"y {z\" ", *cursor = line;
  EXPECT_EQ(sp_PeekToken(&cursor, " ", "\"{", "\"}", true), "\"\"");
  EXPECT_EQ(cursor, line);
  cursor = "\"a b\"";
  EXPECT_EQ(sp_GetToken(&cursor, " ", "\"", nullptr, false), "\"a");
  cursor = "  \"a b\" c,d \"open";
  for (const char *word : {"a b", "c", "d", "open", ""})
    EXPECT_EQ(sp_StrTok(&cursor, " ,"), word);
  auto text = exact(std::string(1500, 'w') + " \"" + std::string(1500, 'q') + " \"");
  cursor = text.get();
  for (int64_t length : {1023, 477, 1023, 477, 0})
    EXPECT_EQ(sp_StrTok(&cursor, " ").length(), length);

  cursor = "a,,b,";
  YString field;
  Words fields;
  while (sp_SplitToken(&cursor, ',', &field))
    fields.push_back(field.tocs());
  char buffer[] = "a,,b";
  char *scan = buffer;
  while (char *piece = sp_ScanLine(&scan, ','))
    fields.push_back(piece);
  EXPECT_EQ(fields, (Words{"a", "", "b", "a", "", "b"}));
  EXPECT_FALSE(sp_SplitToken(nullptr, ',', &field));

  line = " \t=\xE9";
  cursor = line;
  EXPECT_EQ(sp_GetNonWS(&cursor), '=');
  EXPECT_EQ(sp_GetNonWS(&cursor), static_cast<signed char>('\xE9'));
  EXPECT_EQ(sp_GetNonWS(&cursor), 0);
  EXPECT_EQ(cursor, line + 5); // one past the terminator
}

// The separators-only scanner honours the count; an empty quoted word does
// not end the others. No line: nothing happens.
TEST(TokenizerTest, LineScannersHonourTheCount) {
  const ScanSpec spec{" ", "\"", "\"", "=", false, false};
  YArray<YString> words;
  sp_ScanLine("x = \"\" y", spec, &words, 3);
  EXPECT_EQ(toWords(words), (Words{"x", "", ""}));
  for (int count : {0, 2, 9}) {
    YArray<YString> plain;
    sp_ScanLine("a b c d", " ", &plain, count);
    EXPECT_EQ(plain.size(), std::min<int64_t>(count, 4)) << count;
  }
  YArray<YString> none;
  YArray<ScanToken> tokens;
  sp_ScanLine(nullptr, " ", &none, -1);
  sp_ScanLine(nullptr, spec, &none, -1);
  sp_ScanLine(nullptr, spec, &tokens, -1);
  EXPECT_TRUE(none.isEmpty() && tokens.isEmpty());
}

TEST(TokenizerTest, SplitLineCases) {
  struct Case {
    const char *line;
    const char *brackets; // null: the plain splitter
    int minCount;
    Words fields;
  } cases[] = {
      {"a,,b,", nullptr, 0, {"a", "", "b"}},
      {"a,,b,", nullptr, 5, {"a", "", "b", "", ""}},
      {"(a,(b,c)),d", "()", 0, {"a,(b,c)", "d"}},
      {"ab,(c)d,x", "()", 0, {"ab", "c", "x"}}, // what follows the bracket is dropped
      {"a,(b,c", "()", 0, {"a"}}, // the unclosed field is dropped
      {"a,(b,c", "()", 3, {"a", "", ""}},
      {"a,(b,c", "((", 3, {}}, // equal brackets: nothing at all
      {"a,(b,c", "(", 3, {}},  // and so for a single one
  };
  for (const Case &c : cases) {
    YArray<YString> fields;
    if (c.brackets)
      sp_SplitLine(c.line, ',', c.brackets, &fields, c.minCount);
    else
      sp_SplitLine(c.line, ',', &fields, c.minCount);
    EXPECT_EQ(toWords(fields), c.fields) << c.line << " " << (c.brackets ? c.brackets : "");
  }
  YArray<YString> none;
  sp_SplitLine("a,b", ',', static_cast<const char *>(nullptr), &none, 2);
  EXPECT_EQ(none.size(), 0);
}

} // namespace
