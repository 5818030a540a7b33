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
    const char *text;
    const char *unix;
    const char *dos;
  } cases[] = {
      {"a\r\nb\n", "a\nb\n", "a\r\nb\r\n"},
      {"\n\n", "\n\n", "\r\n\r\n"},
      {"lone\rcr\r", "lone\rcr\r", "lone\rcr\r"},
      {"\r\r\n", "\r\n", "\r\r\n"},
      {"", "", ""},
  };
  for (const auto &c : cases) {
    EXPECT_STREQ(sp_ConvertDosToUnix(YString(c.text)).tocs(), c.unix) << c.text;
    EXPECT_STREQ(sp_ConvertUnixToDos(YString(c.text)).tocs(), c.dos) << c.text;
    if (!std::strstr(c.unix, "\r\n")) { // CR LF already in the text cannot come back
      EXPECT_EQ(sp_ConvertDosToUnix(sp_ConvertUnixToDos(YString(c.unix))), YString(c.unix));
    }
  }
}

TEST(TextConversionsTest, Integers64) {
  const long long values[] = {0, 1, -1, 42, LLONG_MAX, LLONG_MIN, LLONG_MIN + 1, -1000000007LL};
  for (long long value : values) {
    YString text = sp_itoa64(value);
    EXPECT_EQ(std::to_string(value), text.tocs());
    EXPECT_EQ(sp_atoi64(text.tocs()), value);
  }
  struct Case {
    const char *text;
    long long value;
  } cases[] = {
      {"  +12x", 12},
      {"\t-7", -7},
      {"\n\v\f\r 5", 5},
      {"abc", 0},
      {"", 0},
      {"99999999999999999999", LLONG_MAX},
      {"-99999999999999999999", LLONG_MIN},
      {"9223372036854775808", LLONG_MAX},
      {"-9223372036854775808", LLONG_MIN},
  };
  for (const auto &c : cases)
    EXPECT_EQ(sp_atoi64(c.text), c.value) << c.text;
  EXPECT_EQ(sp_atoi64(nullptr), 0);
}

// The hash against a direct transcription of its definition.
unsigned referenceHash(const std::string &text) {
  unsigned hash = 0;
  for (char ch : text) {
    int c = static_cast<signed char>(ch);
    int upper = (c >= 0 && std::islower(c)) ? std::toupper(c) : c;
    hash = ((static_cast<unsigned>(upper) % 65536u) ^ (hash % 65536u)) * 2u;
  }
  return hash;
}

TEST(TextConversionsTest, HashIgnoresCase) {
  EXPECT_EQ(sp_HashValue(""), 0u);
  EXPECT_EQ(sp_HashValue(nullptr), 0u);
  std::mt19937 random(9);
  for (int round = 0; round < 500; ++round) {
    std::string text;
    int length = 1 + static_cast<int>(random() % 20);
    for (int i = 0; i < length; ++i)
      text += static_cast<char>(1 + random() % 255);
    EXPECT_EQ(sp_HashValue(text.c_str()), referenceHash(text)) << text;
  }
}

TEST(TextConversionsTest, FillStringCopiesEachElement) {
  YList<YString> list;
  list.append(YString("one"));
  list.append(YString());
  list.append(YString("three"));
  char *out[3] = {nullptr, nullptr, nullptr};
  sp_FillString(out, &list);
  EXPECT_STREQ(out[0], "one");
  EXPECT_STREQ(out[1], "");
  EXPECT_STREQ(out[2], "three");
  EXPECT_EQ(list.first(), "one"); // the list keeps its texts
  for (char *text : out)
    std::free(text);
}

} // namespace
