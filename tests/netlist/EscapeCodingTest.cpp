#include "kvsupport/netlist/EscapeCoding.h"

#include <gtest/gtest.h>

namespace {

TEST(EscapeCodingTest, CodesTheTables) {
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
  EXPECT_STREQ(sp_EscapeStringEncode(YString("a b\\\t\n\r\f"), true).tocs(),
               "a\\sb\\\\\\t\\n\\r\\f");
  EXPECT_STREQ(sp_EscapeStringEncode(YString("1% \n"), true, '%').tocs(), "1%%%s%n");
  EXPECT_STREQ(sp_EscapeStringEncode(YString("a\tb"), true, '\0').tocs(), "a\tb");
  // C strings: quotes, backslashes, line feeds and tabs; a text without any is shared.
  EXPECT_STREQ(sp_ConvertToCString(YString("say \"hi\"\\\n\tok")).tocs(),
               "say \\\"hi\\\"\\\\\\n\\tok");
  YString plain("nothing to quote\r");
  YString same = sp_ConvertToCString(plain);
  EXPECT_EQ(same, plain);
  EXPECT_EQ(same.tocs(), plain.tocs());                         // shared, not copied
  EXPECT_EQ(sp_EscapeString(plain, true).tocs(), plain.tocs()); // nothing to decode: shared
}

} // namespace
