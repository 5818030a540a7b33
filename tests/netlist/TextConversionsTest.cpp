#include "kvsupport/netlist/TextConversions.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Only a line feed's own carriage return counts; lone ones stay.
TEST(TextConversionsTest, LineEnds) {
  const YString text("a\r\nb\n\r\r\nlone\rcr\r");
  EXPECT_STREQ(sp_ConvertDosToUnix(text).tocs(), "a\nb\n\r\nlone\rcr\r");
  EXPECT_STREQ(sp_ConvertUnixToDos(text).tocs(), "a\r\nb\r\n\r\r\nlone\rcr\r");
}

// Round trips through the text form; the reader saturates and skips what
// isspace skips.
TEST(TextConversionsTest, Integers64) {
  for (long long value : {0LL, -1LL, LLONG_MAX, LLONG_MIN, LLONG_MIN + 1}) {
    EXPECT_EQ(std::to_string(value), sp_itoa64(value).tocs());
    EXPECT_EQ(sp_atoi64(std::to_string(value).c_str()), value);
  }
  struct Case {
    const char *text;
    long long value;
  } cases[] = {{"\n\v\f\r +12x", 12},
               {"abc", 0},
               {nullptr, 0},
               {"99999999999999999999", LLONG_MAX},
               {"-99999999999999999999", LLONG_MIN},
               {"9223372036854775808", LLONG_MAX}};
  for (const auto &c : cases)
    EXPECT_EQ(sp_atoi64(c.text), c.value) << (c.text ? c.text : "null");
}

// Letters fold to upper case; bytes above 0x7F count as negative chars.
TEST(TextConversionsTest, HashIgnoresCase) {
  EXPECT_EQ(sp_HashValue(nullptr), 0u);
  EXPECT_EQ(sp_HashValue("ab"), 384u);
  EXPECT_EQ(sp_HashValue("AB"), 384u);
  EXPECT_EQ(sp_HashValue("`{\xE9"), 130366u);
}

// Each element is copied into its own block; without a list nothing is written.
TEST(TextConversionsTest, FillStringCopiesEachElement) {
  YList<YString> list;
  list.append(YString("one"));
  list.append(YString());
  char *out[2] = {nullptr, nullptr};
  sp_FillString(out, nullptr);
  EXPECT_EQ(out[0], nullptr);
  sp_FillString(out, &list);
  EXPECT_EQ(std::string(out[0]) + "|" + out[1] + "|" + list.first().tocs(), "one||one");
  for (char *text : out)
    std::free(text);
}

} // namespace
