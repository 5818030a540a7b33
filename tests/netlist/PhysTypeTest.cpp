#include "kvsupport/netlist/PhysType.h"

#include <gtest/gtest.h>

namespace {

TEST(PhysTypeTest, NameLookUpTriesUnitThenNameInTableOrder) {
  struct Case {
    const char *text;
    bool found;
    PhysType type;
  } cases[] = {
      {"v", true, PT_VOLT},         {"VOLTAGE", true, PT_VOLT},  {"?", true, PT_UNKNOWN},
      {"", true, PT_NONE},          {"v^2/hz", true, PT_VOLT2T}, {"Default", true, PT_DEFAULT},
      {"volts", false, PT_CELSIUS},
  };
  for (const auto &c : cases) {
    PhysType type = PT_CELSIUS;
    EXPECT_EQ(sp_GetPhysTypeFromName(YString(c.text), &type), c.found) << c.text;
    EXPECT_EQ(type, c.type) << c.text;
  }
  // Identifiers read back in any case; values outside the table have no texts.
  EXPECT_EQ(sp_GetPhysTypeFromString(sp_GetPhysTypeString(PT_DEFAULT).tolower()), PT_DEFAULT);
  EXPECT_STREQ(sp_GetPhysTypeUnit(static_cast<PhysType>(PT_DEFAULT + 1)), "");
}

} // namespace
