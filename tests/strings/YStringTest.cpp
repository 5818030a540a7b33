#include "kvsupport/strings/YString.h"

#include <gtest/gtest.h>

namespace {

TEST(YStringTest, Smoke) {
  YString a("abc");
  EXPECT_EQ(a.length(), 3);
}

} // namespace
