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
}

// Every type's identifier reads back in either case; values outside the
// table have no texts.
TEST(PhysTypeTest, IdentifiersRoundTrip) {
  for (int value = PT_UNKNOWN - 1; value <= PT_DEFAULT + 1; ++value) {
    PhysType type = static_cast<PhysType>(value);
    YString identifier = sp_GetPhysTypeString(type);
    if (value < PT_UNKNOWN || value > PT_DEFAULT) {
      EXPECT_TRUE(identifier.isEmpty() && !*sp_GetPhysTypeName(type) && !*sp_GetPhysTypeUnit(type));
      continue;
    }
    EXPECT_EQ(sp_GetPhysTypeFromString(identifier), type);
    EXPECT_EQ(sp_GetPhysTypeFromString(identifier.tolower()), type);
  }
  EXPECT_EQ(sp_GetPhysTypeFromString(YString("PT_NOTHING")), PT_UNKNOWN);
}

} // namespace
