// Texts made from counted bytes: the piecewise scan of large blocks and the
// readers' reuse of a string's own block must give exactly what a plain
// strnlen and copy give.
#include "kvsupport/strings/YString.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr size_t kPiece = 16 * 1024;

TEST(YStringFillTest, FromBytesEndsAtTheFirstNulWhereverItFalls) {
  const size_t counts[] = {1, kPiece - 1, kPiece, kPiece + 1, 3 * kPiece + 5};
  for (size_t count : counts) {
    const size_t nuls[] = {0, 1, kPiece - 1, kPiece, kPiece + 1, count - 1, count};
    for (size_t nul : nuls) {
      if (nul > count)
        continue;
      std::string bytes(count, 'b');
      for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char>('a' + i % 23);
      if (nul < count)
        bytes[nul] = '\0';
      size_t length = 12345;
      const YString text = YString::fromBytes(bytes.data(), count, &length);
      ASSERT_EQ(length, nul) << "count " << count;
      EXPECT_EQ(YString(bytes.data(), static_cast<int>(count)), text) << count << " " << nul;
    }
  }
  size_t length = 7;
  EXPECT_TRUE(YString::fromBytes(nullptr, 10, &length).isEmpty());
  EXPECT_EQ(length, 0u);
}

TEST(YStringFillTest, AssignReusesOnlyABlockNoOtherStringShares) {
  YString line("a first line of some length");
  const YString kept = line;
  line.assign("short", 5);
  EXPECT_STREQ(kept.tocs(), "a first line of some length");
  EXPECT_STREQ(line.tocs(), "short");
  // Growing, shrinking, a NUL within the count, and nothing at all.
  const std::string longer(5000, 'x');
  line.assign(longer.c_str(), longer.size());
  EXPECT_EQ(std::string(line.tocs()), longer);
  line.assignSpan("spanned!", 7);
  EXPECT_STREQ(line.tocs(), "spanned");
  line.assign("ab\0cd", 5);
  EXPECT_STREQ(line.tocs(), "ab");
  line.assign(nullptr, 3);
  EXPECT_TRUE(line.isEmpty());
}

} // namespace
