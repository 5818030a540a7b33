#include "kvsupport/support/Options.h"

#include "kvsupport/hooks/AutoFunc.h"
#include "kvsupport/netlist/StandardLine.h"

#include "common/ConfigLevels.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

namespace {

using Config = kvtest::ConfigLevels;
using kvtest::setLevel;

int changes = 0;
void countChange(void *) { ++changes; }
const AutoFunc countChangeRegistration("OptionChange", countChange, "countChange");

const MakeOption testReal("OptionsTest", 1, "TestReal", 6, true);
const MakeOption testBool("OptionsTest", 2, "TestBool", true, false);
const MakeOption testText("OptionsTest", 3, "TestText", "Hello", false);
const MakeOption testFixed("OptionsTest", 4, "TestFixed", YString("always"), false, false, true);
const MakeOption testPath("OptionsTest", 5, "TestPath", YString("/opt/Tools"), false, true, false);
const MakeOption hiddenFirst("OptionsTest", 6, "TestHidden", 1, false);
const MakeOption hiddenSecond("OptionsTest", 7, "testhidden", 2, false);

// sp_ReadOptionsInfo's current value and default, as type letter, text and number.
std::string info(const char *name) {
  OptionValue current, defaultValue;
  sp_ReadOptionsInfo(name, &current, &defaultValue);
  std::ostringstream out;
  for (const OptionValue &value : {current, defaultValue})
    out << "SRBU"[value.getType() & 3] << value.getText().tocs()
        << value.getReal() + value.getBool() << ' ';
  return out.str();
}

// Each kind of read of stored texts and of defaults. The newer of two
// definitions of a name hides the older; a fixed option never reads what is
// stored as text; undefined options take the type their stored text reads as.
TEST(OptionsTest, TypedReadsOfStoredTextsAndDefaults) {
  Config config(2);
  const struct {
    const char *name, *stored; // stored: null for nothing
    const char *text;
    bool found; // defined or stored
    double real;
    bool realFound;
    int integer;
    bool boolean;
    const char *info;
  } cases[] = {
      {"TestStored", "2.5meg", "2.5meg", true, 2.5e6, true, 2500000, true, "R2.5e+06 R0 "},
      {"TestStored", "FaLsE", "FaLsE", true, 0, false, 0, false, "SFaLsE0 S0 "},
      {"TestStored", "", "", true, 0, false, 0, true, "B1 B0 "},
      {"TestStored", "1e99", "1e99", true, 1e99, true, INT_MAX, true, "R1e+99 R0 "},
      {"TestStored", "-1e99", "-1e99", true, -1e99, true, INT_MIN, true, "R-1e+99 R0 "},
      {"TestStored", "nan", "nan", true, 0, false, 0, true, "Snan0 S0 "},
      {"NoSuchOption", nullptr, "", false, 0, false, 0, false, "B0 B0 "},
      {"testreal", nullptr, "6", true, 6, true, 6, false, "R6 R6 "},
      {"TestReal", "4k", "4k", true, 4000, true, 4000, true, "R4000 R6 "},
      {"TestBool", nullptr, "TRUE", true, 0, true, 0, true, "B1 B1 "},
      {"TestHidden", nullptr, "2", true, 2, true, 2, false, "R2 R2 "},
      {"TestFixed", "stored", "always", true, 0, false, 0, true, "Sstored0 Salways0 "},
      {"UseLocalHelp", nullptr, "FALSE", true, 0, true, 0, false, "B0 B0 "},
      {nullptr, nullptr, "", false, 0, false, 0, false, "B0 B0 "},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.stored ? c.stored : c.text);
    if (c.stored)
      cfgman_WriteConfigSetting("Options", c.name, c.stored);
    bool found = !c.found;
    EXPECT_EQ(sp_GetStringOption(c.name, &found), c.text);
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(sp_OptionExists(c.name), c.found);
    EXPECT_DOUBLE_EQ(sp_GetDoubleOption(c.name, &found), c.real);
    EXPECT_EQ(found, c.realFound);
    EXPECT_EQ(sp_GetIntOption(c.name), c.integer);
    found = !c.found;
    EXPECT_EQ(sp_GetBoolOption(c.name, &found), c.boolean);
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(info(c.name), c.info);
  }
}

// A name is looked up by its text, whatever was at the same address before:
// one buffer holds each name and then texts one byte off it, at its first,
// middle and last place; only a case change still finds the definition, and
// a newer definition hides one found a moment ago.
TEST(OptionsTest, NamesAreMatchedByTheirTextWhereverTheyLie) {
  Config config(1);
  const char *const names[] = {"M7chars", "M8charss", "M9charsss", "Memo16chars_abcd",
                               "Memo17chars_abcde"};
  for (int i = 0; i < 5; ++i)
    MakeOption("OptionsTest", 10 + i, YString(names[i]), 100 + i, false);
  char buffer[32];
  for (int i = 0; i < 5; ++i) {
    const size_t n = std::strlen(names[i]);
    for (const size_t at : {size_t{0}, n / 2, n - 1}) {
      SCOPED_TRACE(std::string(names[i]) + " @" + std::to_string(at));
      std::strcpy(buffer, names[i]);
      EXPECT_EQ(sp_GetIntOption(buffer), 100 + i);
      buffer[at] = buffer[at] == '_' ? '-' : '_';
      bool found = true;
      EXPECT_EQ(sp_GetIntOption(buffer, &found), 0);
      EXPECT_FALSE(found);
      std::strcpy(buffer, names[i]);
      buffer[at] = static_cast<char>(std::isupper(buffer[at]) ? std::tolower(buffer[at])
                                                              : std::toupper(buffer[at]));
      EXPECT_EQ(sp_GetIntOption(buffer), 100 + i);
    }
  }
  std::strcpy(buffer, "M8charss");
  EXPECT_EQ(sp_GetIntOption(buffer), 101);
  MakeOption("OptionsTest", 20, YString("m8CHARSS"), 201, false);
  EXPECT_EQ(sp_GetIntOption(buffer), 201);
}

// Case-only changes of a text are no change, of a path they are; undefined
// options store the value's text form; the ascii header asks for its option.
TEST(OptionsTest, WritesStoreOnlyChangesAndNotifyOnce) {
  Config config(2);
  const struct {
    int level;
    const char *name;
    OptionValue value;
    const char *stored; // afterwards at that level
    int notified;
  } cases[] = {
      {0, "TestReal", OptionValue(6.0), "<absent>", 0}, // the default: nothing to do
      {0, "TestReal", OptionValue(7.0), "7", 1},
      {0, "TestReal", OptionValue(7.0), "7", 0},        // unchanged
      {0, "TestReal", OptionValue(6.0), "<absent>", 1}, // the default removes the key at level 0
      {1, "TestReal", OptionValue(6.0), "<absent>", 0}, // level 1 reads 6 through level 0
      {1, "TestReal", OptionValue(1234567.0), "1234567", 1},
      {1, "TestReal", OptionValue(6.0), "6", 1}, // above level 0 the default is stored
      {1, "TestReal", OptionValue(1.23456789), "1.23457", 1},
      {1, "TestReal", OptionValue(), "1.23457", 0},
      {0, "TestText", OptionValue(YString("HELLO")), "<absent>", 0},
      {0, "TestText", OptionValue(YString("World")), "World", 1},
      {0, "TestText", OptionValue(YString("WORLD")), "World", 0},
      {0, "TestPath", OptionValue(YString("/opt/tools")), "/opt/tools", 1},
      {0, "TestPath", OptionValue(YString("/opt/Tools")), "<absent>", 1},
      {0, "TestUndefined", OptionValue(false), "FALSE", 1},
  };
  for (const auto &c : cases) {
    setLevel(c.level);
    changes = 0;
    sp_WriteOption(c.name, c.value);
    EXPECT_EQ(config.stored(c.name, c.level), c.stored) << c.name << " " << c.stored;
    EXPECT_EQ(changes, c.notified) << c.name << " " << c.stored;
  }
  setLevel(1);
  EXPECT_EQ(sp_DeleteOption("TestReal"), 1);
  EXPECT_EQ(sp_GetOptionLevel("TestReal"), -1);
  setLevel(0);

  // Bools by sp_WriteOption(bool).
  sp_WriteOption(YString("TestUndefined"), true);
  EXPECT_EQ(config.stored("TestUndefined"), "");
  sp_WriteOption(YString("TestUndefined"), false);
  EXPECT_EQ(config.stored("TestUndefined"), "<absent>");
  sp_WriteOption(YString("TestBool"), true); // the default at level 0
  EXPECT_EQ(config.stored("TestBool"), "<absent>");
  sp_WriteOption(YString("OmitAsciiRevision"), true);
  std::FILE *file = std::fopen((config.dir + "/header").c_str(), "wb");
  StandardLine::writeHeader(file, "Schematic", 8);
  std::fclose(file);
  EXPECT_EQ(kvtest::readFile(config.dir + "/header"), "KelvantaFile type=Schematic format=1.0\n");
}

TEST(OptionsTest, Colours) {
  Config config(2);
  sp_MakeColourOption("OptionsTest", 10, "TestColourC", "#0000ff");
  sp_MakeColourOption("OptionsTest", 11, "testColourB", "TestColourC");
  sp_MakeColourOption("OptionsTest", 12, "TestColourA", "testColourB");
  sp_MakeColourOption("OptionsTest", 13, "TestColourA", "testColourB"); // listed once
  MakeOption("OptionsTest", 14, "TestChain1", "TestChain2", false);
  MakeOption("OptionsTest", 15, "TestChain2", "TestColourA", false);
  const struct {
    const char *spec;
    int rgb;
  } cases[] = {
      {"#ff0000", 255},         {"", 7}, {"65280", 65280}, {"99999999999999", INT_MAX},
      {"TestChain2", 0xFF0000}, // four names deep
      {"TestChain1", 7},        // five
  };
  for (const auto &c : cases)
    EXPECT_EQ(sp_GetColourOption(c.spec, 7), c.rgb) << c.spec;
  EXPECT_EQ(sp_ConvertRGBcolourToHTML(0xFF8001), "#0180ff");
  EXPECT_EQ(sp_ConvertHTMLcolourToRGB("red"), 0);
  YArray<YString> names;
  names.add("Aaa");
  sp_GetColourOptions(&names);
  EXPECT_EQ(names.size(), 4);
  EXPECT_EQ(names[1], "TestColourA");
}

} // namespace
