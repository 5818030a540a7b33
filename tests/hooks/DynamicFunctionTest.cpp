#include "kvsupport/hooks/DynamicFunction.h"
#include "kvsupport/strings/YString.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int one() { return 1; }
int two() { return 2; }

int callNamed(const std::string &name) {
  void *function = support_GetDynamicFunction(YString(name.c_str()));
  return function ? reinterpret_cast<int (*)()>(function)() : 0;
}

// Names are exact and cut at 31 bytes; the newest registration wins, and
// a destruction removes every registration under the object's current name.
TEST(DynamicFunctionTest, NamesLookUpTheNewestAndDestructionRemovesThemAll) {
  const std::string cut = "abcdefghijklmnopqrstuvwxyz01234";
  MakeDynamicFunction first(one, (cut + "56789").c_str());
  EXPECT_EQ(callNamed(cut) + callNamed(cut + "-other-tail"), 2);
  EXPECT_EQ(callNamed(cut.substr(0, 30)) + callNamed("ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"), 0);
  {
    MakeDynamicFunction second(two, cut.c_str()), scratch(two, "scratch");
    EXPECT_EQ(callNamed(cut), 2);
    scratch = first; // takes the name, registers nothing
    EXPECT_EQ(scratch.getFunction(), reinterpret_cast<void *>(one));
    EXPECT_EQ(callNamed("scratch"), 2);
  } // both go, by the name: `first`'s registration too
  EXPECT_EQ(callNamed(cut) + callNamed(""), 0);
  EXPECT_EQ(callNamed("scratch"), 2); // left under its old name
  MakeDynamicFunction nullName(static_cast<void *>(nullptr), nullptr);
  EXPECT_STREQ(nullName.getName(), "");
}

} // namespace
