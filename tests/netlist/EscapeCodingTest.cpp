#include "kvsupport/netlist/EscapeCoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

TEST(EscapeCodingTest, DecodesTheTable) {
  struct Case {
    const char *coded;
    bool spaces;
    const char *plain;
  } cases[] = {
      {"\\s", true, " "},        {"\\s", false, "s"},     {"\\f\\n\\r\\t", false, "\f\n\r\t"},
      {"\\q\\\"", false, "q\""}, {"end\\", false, "end"},
  };
  for (const auto &c : cases)
    EXPECT_STREQ(sp_EscapeString(YString(c.coded), c.spaces).tocs(), c.plain) << c.coded;
  EXPECT_STREQ(sp_EscapeString(YString("%s%%x%"), true, '%').tocs(), " %x");
}

TEST(EscapeCodingTest, EncodesTheTable) {
  EXPECT_STREQ(sp_EscapeStringEncode(YString("a b\\\t\n\r\f"), true).tocs(),
               "a\\sb\\\\\\t\\n\\r\\f");
  EXPECT_STREQ(sp_EscapeStringEncode(YString("1% \n"), true, '%').tocs(), "1%%%s%n");
  EXPECT_STREQ(sp_EscapeStringEncode(YString("a\tb"), true, '\0').tocs(), "a\tb");
}

// decode(encode(x)) == x for any text and any escape character that is not
// itself one of the code letters.
TEST(EscapeCodingTest, RoundTrips) {
  std::mt19937 random(4);
  const char alphabet[] = "ab \\\t\n\r\f%s\x01\xFF\xE9~";
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    int length = static_cast<int>(random() % 40);
    for (int i = 0; i < length; ++i)
      text += alphabet[random() % (sizeof alphabet - 1)];
    for (char escape : {'\\', '%', '\t', '\xFF', '~'}) {
      for (bool spaces : {false, true}) {
        YString plain(text.c_str());
        YString coded = sp_EscapeStringEncode(plain, spaces, escape);
        ASSERT_EQ(sp_EscapeString(coded, spaces, escape), plain) << text;
        if (spaces) {
          EXPECT_EQ(std::string(coded.tocs()).find(' '), std::string::npos);
        }
      }
    }
  }
}

TEST(EscapeCodingTest, CStringQuoting) {
  EXPECT_STREQ(sp_ConvertToCString(YString("say \"hi\"\\\n\tok")).tocs(),
               "say \\\"hi\\\"\\\\\\n\\tok");
  YString plain("nothing to quote\r");
  YString same = sp_ConvertToCString(plain);
  EXPECT_EQ(same, plain);
  EXPECT_EQ(same.tocs(), plain.tocs()); // shared, not copied
}

} // namespace
