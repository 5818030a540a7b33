#include "kvsupport/support/Options.h"

#include "kvsupport/hooks/AutoFunc.h"
#include "kvsupport/netlist/StandardLine.h"
#include "kvsupport/streams/kvfbuf.h"
#include "kvsupport/streams/kvfstream.h"
#include "kvsupport/support/LogicalPaths.h"

#include "SupportTest.h"

#include <climits>
#include <cstdio>

namespace {

using kvsupporttest::Config;
using kvsupporttest::setLevel;

int changes = 0;
std::string lastChanged;
void countChange(void *data) {
  ++changes;
  lastChanged = static_cast<const YString *>(data)->tocs();
}
const AutoFunc countChangeRegistration("OptionChange", countChange, "countChange");

const MakeOption testReal("OptionsTest", 1, "TestReal", 6, true);
const MakeOption testBool("OptionsTest", 2, "TestBool", true, false);
const MakeOption testText("OptionsTest", 3, "TestText", "Hello", false);
const MakeOption testFixed("OptionsTest", 4, "TestFixed", YString("always"), false, false, true);
const MakeOption testPath("OptionsTest", 5, "TestPath", YString("/opt/Tools"), false, true, false);
const MakeOption hiddenFirst("OptionsTest", 6, "TestHidden", 1, false);
const MakeOption hiddenSecond("OptionsTest", 7, "testhidden", 2, false);

TEST(OptionsTest, TypedReadsOfStoredTexts) {
  Config config;
  const struct {
    const char *stored;
    double real;
    int integer;
    bool realFound;
    bool boolean;
  } cases[] = {
      {"10k", 10000, 10000, true, true},
      {"2.5meg", 2.5e6, 2500000, true, true},
      {"-3.9", -3.9, -3, true, true},
      {"false", 0, 0, false, false},
      {"FaLsE", 0, 0, false, false},
      {"0", 0, 0, true, true},
      {"no", 0, 0, false, true},
      {"", 0, 0, false, true},
      {"1e99", 1e99, INT_MAX, true, true},
      {"-1e99", -1e99, INT_MIN, true, true},
      {"3000000000", 3e9, INT_MAX, true, true},
  };
  for (const auto &c : cases) {
    cfgman_WriteConfigSetting("Options", "TestStored", c.stored);
    bool found = false;
    EXPECT_DOUBLE_EQ(sp_GetDoubleOption("TestStored", &found), c.real) << c.stored;
    EXPECT_EQ(found, c.realFound) << c.stored;
    EXPECT_EQ(sp_GetIntOption("TestStored"), c.integer) << c.stored;
    EXPECT_EQ(sp_GetBoolOption("TestStored", &found), c.boolean) << c.stored;
    EXPECT_TRUE(found);
    EXPECT_EQ(sp_GetStringOption("TestStored"), c.stored);
  }
  cfgman_WriteConfigSetting("Options", "TestStored", "nan");
  EXPECT_EQ(sp_GetDoubleOption("TestStored"), 0.0);
  EXPECT_EQ(sp_GetIntOption("TestStored"), 0);
  // Long texts come back whole.
  const std::string longText(3000, 'x');
  cfgman_WriteConfigSetting("Options", "TestStored", longText.c_str());
  EXPECT_EQ(sp_GetStringOption("TestStored").tocs(), longText);
}

TEST(OptionsTest, DefaultsUnknownsAndHiddenDefinitions) {
  Config config;
  cfgman_WriteConfigSetting("Options", "TestFixed", "stored");
  // The newer of two definitions of a name hides the older; a fixed option
  // never reads what is stored.
  const struct {
    const char *name, *text;
    bool found;
  } cases[] = {{"TestReal", "6", true},     {"TestBool", "TRUE", true},
               {"TestHidden", "2", true},   {"TestFixed", "always", true},
               {"NoSuchOption", "", false}, {"UseLocalHelp", "FALSE", true},
               {nullptr, "", false}};
  for (const auto &c : cases) {
    bool found = !c.found;
    EXPECT_EQ(sp_GetStringOption(c.name, &found), c.text) << c.text;
    EXPECT_EQ(found, c.found) << c.text;
    EXPECT_EQ(sp_OptionExists(c.name), c.found) << c.text;
    found = !c.found;
    sp_GetBoolOption(c.name, &found); // defined or stored is found, of any type
    EXPECT_EQ(found, c.found) << c.text;
  }
  bool found = false;
  EXPECT_EQ(sp_GetIntOption("testreal", &found), 6);
  EXPECT_TRUE(found);
  EXPECT_TRUE(sp_GetBoolOption("TestBool", nullptr));
  EXPECT_EQ(sp_GetDoubleOption("TestText", &found), 0);
  EXPECT_TRUE(found);
  EXPECT_EQ(sp_GetIntOption("NoSuchOption", &found), 0);
  EXPECT_FALSE(found);
  EXPECT_FALSE(sp_GetBoolOption(nullptr, &found));
  EXPECT_FALSE(found);
  EXPECT_TRUE(sp_IsOptionMigrateable("TestReal"));
  EXPECT_FALSE(sp_IsOptionMigrateable("TestBool"));
}

TEST(OptionsTest, WritesStoreOnlyChangesAndNotifyOnce) {
  Config config;
  const struct {
    int level;
    OptionValue value;
    const char *stored; // afterwards at that level
    int notified;
  } cases[] = {
      {0, OptionValue(6.0), "<absent>", 0}, // the default: nothing to do
      {0, OptionValue(7.0), "7", 1},
      {0, OptionValue(7.0), "7", 0},        // unchanged
      {0, OptionValue(6.0), "<absent>", 1}, // the default removes the key at level 0
      {1, OptionValue(6.0), "<absent>", 0}, // level 1 reads 6 through level 0: unchanged
      {1, OptionValue(1234567.0), "1234567", 1},
      {1, OptionValue(6.0), "6", 1}, // above level 0 the default is stored
      {1, OptionValue(1.23456789), "1.23457", 1},
      {1, OptionValue(1e300), "1e+300", 1},
      {1, OptionValue(), "1e+300", 0},
  };
  for (const auto &c : cases) {
    setLevel(c.level);
    changes = 0;
    sp_WriteOption("TestReal", c.value);
    EXPECT_EQ(config.stored("TestReal", c.level), c.stored) << c.value.getReal();
    EXPECT_EQ(changes, c.notified) << c.value.getReal();
  }
  EXPECT_EQ(lastChanged, "TestReal");
  setLevel(1);
  EXPECT_EQ(sp_GetOptionLevel("TestReal"), 1);
  EXPECT_EQ(sp_DeleteOption("TestReal"), 1);
  EXPECT_EQ(sp_GetOptionLevel("TestReal"), -1);
  EXPECT_EQ(sp_GetOptionLevel(nullptr), -1);
  setLevel(0);

  // Case-only changes of a text are no change; of a path they are.
  changes = 0;
  sp_WriteOption("TestText", YString("HELLO"));
  EXPECT_EQ(changes, 0);
  sp_WriteOption("TestText", YString("World"));
  sp_WriteOption("TestText", YString("WORLD"));
  EXPECT_EQ(config.stored("TestText"), "World");
  sp_WriteOption("TestPath", YString("/opt/tools"));
  EXPECT_EQ(config.stored("TestPath"), "/opt/tools");
  sp_WriteOption("TestPath", YString("/opt/Tools"));
  EXPECT_EQ(config.stored("TestPath"), "<absent>");
  EXPECT_EQ(changes, 3);

  // Undefined options store the value's text form; bools by sp_WriteOption(bool).
  sp_WriteOption("TestUndefined", OptionValue(2.5));
  EXPECT_EQ(config.stored("TestUndefined"), "2.5");
  sp_WriteOption("TestUndefined", OptionValue(false));
  EXPECT_EQ(config.stored("TestUndefined"), "FALSE");
  sp_WriteOption(YString("TestUndefined"), true);
  EXPECT_EQ(config.stored("TestUndefined"), "");
  sp_WriteOption(YString("TestUndefined"), false);
  EXPECT_EQ(config.stored("TestUndefined"), "<absent>");
  changes = 0;
  sp_WriteOption(YString("TestBool"), true); // the default at level 0
  EXPECT_EQ(config.stored("TestBool"), "<absent>");
  EXPECT_EQ(changes, 1);
}

TEST(OptionsTest, Colours) {
  Config config;
  sp_MakeColourOption("OptionsTest", 10, "TestColourC", "#0000ff");
  sp_MakeColourOption("OptionsTest", 11, "testColourB", "TestColourC");
  sp_MakeColourOption("OptionsTest", 12, "TestColourA", "testColourB");
  sp_MakeColourOption("OptionsTest", 13, "TestColourA", "testColourB"); // listed once
  MakeOption("OptionsTest", 14, "TestChain1", "TestChain2", false);
  MakeOption("OptionsTest", 15, "TestChain2", "TestChain3", false);
  MakeOption("OptionsTest", 16, "TestChain3", "TestChain4", false);
  MakeOption("OptionsTest", 17, "TestChain4", "TestChain5", false);
  MakeOption("OptionsTest", 18, "TestChain5", "#00ff00", false);
  const struct {
    const char *spec;
    int rgb;
  } cases[] = {
      {"#ff0000", 255},
      {"#F00", 255},
      {"#80ff0000", 255}, // alpha dropped
      {"#12345", 0},
      {"", 7},
      {"#", 0},
      {"65280", 65280},
      {"99999999999999", INT_MAX},
      {"TestColourA", 0xFF0000},
      {"TestChain2", 0x00FF00},
      {"TestChain1", 7}, // five names deep
      {"NoSuchColour", 7},
  };
  for (const auto &c : cases)
    EXPECT_EQ(sp_GetColourOption(c.spec, 7), c.rgb) << c.spec;
  EXPECT_EQ(sp_ConvertRGBcolourToHTML(0xFF8001), "#0180ff");
  EXPECT_EQ(sp_ConvertHTMLcolourToRGB(sp_ConvertRGBcolourToHTML(0x123456)), 0x123456);
  EXPECT_EQ(sp_ConvertHTMLcolourToRGB("red"), 0);
  EXPECT_TRUE(sp_IsColourOption("testcolourc"));
  YArray<YString> names;
  names.add("zzz");
  names.add("Aaa");
  sp_GetColourOptions(&names);
  ASSERT_EQ(names.size(), 5);
  EXPECT_EQ(names[0], "Aaa");
  EXPECT_EQ(names[1], "TestColourA");
  EXPECT_EQ(names[2], "testColourB");
  EXPECT_EQ(names[4], "zzz");
}

TEST(OptionsTest, ReadOptionsInfoInfersUndefinedTypes) {
  Config config;
  const struct {
    const char *stored; // null: nothing stored
    OptionType type;    // of the value and of its default
    double current;
    const char *text;
  } cases[] = {{"2.5", OptionReal, 2.5, ""},
               {"", OptionBool, 1, ""},
               {"abc", OptionString, 0, "abc"},
               {nullptr, OptionBool, 0, ""}};
  for (const auto &c : cases) {
    cfgman_WriteConfigSetting("Options", "TestInfo", c.stored);
    OptionValue current, defaultValue;
    sp_ReadOptionsInfo("TestInfo", &current, &defaultValue);
    EXPECT_EQ(current.getType(), c.type);
    EXPECT_EQ(defaultValue.getType(), c.type);
    EXPECT_EQ(current.getReal() + (current.getBool() ? 1 : 0), c.current);
    EXPECT_EQ(current.getText(), c.text);
    EXPECT_EQ(defaultValue.getReal(), 0);
    EXPECT_FALSE(defaultValue.getBool());
  }
  cfgman_WriteConfigSetting("Options", "TestReal", "4k");
  OptionValue current, defaultValue;
  sp_ReadOptionsInfo("TestReal", &current, &defaultValue);
  EXPECT_DOUBLE_EQ(current.getReal(), 4000);
  EXPECT_EQ(defaultValue.getReal(), 6);
  sp_ReadOptionsInfo("TestReal", nullptr, nullptr);
}

TEST(OptionsTest, ListingAndAsciiHeader) {
  Config config;
  const std::string listing = config.dir + "/listing.txt";
  {
    kvfstream out(listing.c_str(), kvWrite);
    sp_PrintAllOptions(out);
  }
  const std::string text = kvtest::readFile(listing);
  EXPECT_NE(text.find("TestText,string,Hello,OptionsTest,3\n"), std::string::npos);
  EXPECT_NE(text.find("OmitAsciiRevision,bool,FALSE,Support\\StandardLine,38\n"),
            std::string::npos);
  // The newer of two definitions of a name comes first in its chain.
  EXPECT_LT(text.find("testhidden,"), text.find("TestHidden,"));

  const std::string header = config.dir + "/header.txt";
  for (bool omit : {false, true}) {
    sp_WriteOption(YString("OmitAsciiRevision"), omit);
    std::FILE *file = std::fopen(header.c_str(), "wb");
    StandardLine::writeHeader(file, "Schematic", 8);
    std::fclose(file);
    EXPECT_EQ(kvtest::readFile(header),
              omit ? "KelvantaFile type=Schematic format=1.0\n"
                   : "KelvantaFile type=Schematic format=1.0 revision=8\n");
  }
}

} // namespace
