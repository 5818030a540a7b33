#include "kvsupport/netlist/TextConversions.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

TEST(TextConversionsTest, LineEnds) {
  struct Case {
    const char *text, *unix, *dos;
  } cases[] = {
      {"a\r\nb\n", "a\nb\n", "a\r\nb\r\n"},
      {"lone\rcr\r", "lone\rcr\r", "lone\rcr\r"},
      {"\r\r\n", "\r\n", "\r\r\n"},
  };
  for (const auto &c : cases) {
    EXPECT_STREQ(sp_ConvertDosToUnix(YString(c.text)).tocs(), c.unix) << c.text;
    EXPECT_STREQ(sp_ConvertUnixToDos(YString(c.text)).tocs(), c.dos) << c.text;
  }
}

// Round trips through the text form; the reader saturates and skips what
// isspace skips.
TEST(TextConversionsTest, Integers64) {
  for (long long value : {0LL, -1LL, LLONG_MAX, LLONG_MIN, LLONG_MIN + 1}) {
    YString text = sp_itoa64(value);
    EXPECT_EQ(std::to_string(value), text.tocs());
    EXPECT_EQ(sp_atoi64(text.tocs()), value);
  }
  struct Case {
    const char *text;
    long long value;
  } cases[] = {{"\n\v\f\r +12x", 12},
               {"\t-7", -7},
               {"abc", 0},
               {nullptr, 0},
               {"99999999999999999999", LLONG_MAX},
               {"-99999999999999999999", LLONG_MIN},
               {"9223372036854775808", LLONG_MAX}};
  for (const auto &c : cases)
    EXPECT_EQ(sp_atoi64(c.text), c.value) << (c.text ? c.text : "null");
}

// The hash against a direct transcription of its definition.
TEST(TextConversionsTest, HashIgnoresCase) {
  EXPECT_EQ(sp_HashValue(nullptr), 0u);
  std::mt19937 random(9);
  for (int round = 0; round < 500; ++round) {
    std::string text(random() % 20, ' ');
    unsigned hash = 0;
    for (char &ch : text) {
      ch = static_cast<char>(1 + random() % 255);
      int c = static_cast<signed char>(ch);
      int upper = (c >= 0 && std::islower(c)) ? std::toupper(c) : c;
      hash = ((static_cast<unsigned>(upper) % 65536u) ^ (hash % 65536u)) * 2u;
    }
    EXPECT_EQ(sp_HashValue(text.c_str()), hash) << text;
  }
}

TEST(TextConversionsTest, FillStringCopiesEachElement) {
  YList<YString> list;
  list.append(YString("one"));
  list.append(YString());
  char *out[2] = {nullptr, nullptr};
  sp_FillString(out, &list);
  EXPECT_STREQ(out[0], "one");
  EXPECT_STREQ(out[1], "");
  EXPECT_EQ(list.first(), "one"); // the list keeps its texts
  for (char *text : out)
    std::free(text);
}

} // namespace
