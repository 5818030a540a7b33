#include "kvsupport/support/LogicalPaths.h"

#include "support/LogicalPaths_p.h"

#include "kvsupport/support/Options.h"
#include "kvsupport/support/SystemSymbols.h"

#include "common/ConfigLevels.h"

#include <gtest/gtest.h>

namespace {

TEST(LogicalPathsTest, MakingTable) {
  const std::vector<kv::support::MakeCandidate> candidates = {{"DATA", "/srv/data"},
                                                              {"INNER", "/srv/data/inner"},
                                                              {"FIRST", "/same"},
                                                              {"SECOND", "/same"},
                                                              {"ROOT", "/"}};
  const struct {
    const char *path;
    const char *made; // null: nothing applies
  } cases[] = {
      {"/srv/data", "%DATA%"},
      {"/srv/datafile", "%ROOT%/srv/datafile"}, // a textual prefix only
      {"/srv/data/inner/x", "%INNER%/x"},       // the longest wins
      {"/same/x", "%FIRST%/x"},                 // ties keep the earlier
      {"relative/x", nullptr},
  };
  for (const auto &c : cases) {
    YString made("untouched");
    EXPECT_EQ(kv::support::makeLogicalPath(c.path, candidates, &made), c.made != nullptr) << c.path;
    EXPECT_EQ(made, c.made ? c.made : "untouched") << c.path;
  }
  EXPECT_FALSE(kv::support::isMakeCandidate("X", "%Y%/a"));
  EXPECT_FALSE(kv::support::isMakeCandidate("X%", "/a"));
}

std::string translated(const char *path, bool systemOnly, bool *expanded) {
  YString result;
  *expanded = sp_TranslateLogicalPath(path, &result, systemOnly);
  return result.tocs();
}

std::string made(const std::string &path,
                 const LogicalPathOptions &options = LogicalPathOptions()) {
  YString result;
  sp_MakeLogicalPath(path.c_str(), &result, options);
  return result.tocs();
}

const MakeOption pathOption1("LogicalPathsTest", 1, "TestPathO1", YString("$TestPathO2$/p"), false,
                             true, false);
const MakeOption pathOption2("LogicalPathsTest", 2, "TestPathO2", YString("$TestPathO1$/q"), false,
                             true, false);

// Cycles stop; options expand without counting as expanded unless a
// location inside them does; the result is cleaned and cached.
TEST(LogicalPathsTest, LocationsSymbolsAndCaches) {
  kvtest::ConfigLevels config(2);
  YString temp, appData;
  sp_GetSystemPathSymbolValue("TEMPPATH", &temp, false);
  sp_GetSystemPathSymbolValue("KVAPPDATAPATH", &appData, false);
  const std::string data = config.dir + "/data";
  cfgman_WriteConfigSetting("Locations", "DATA", data.c_str());
  cfgman_WriteConfigSetting("Locations", "INNER", "%DATA%/inner");
  cfgman_WriteConfigSetting("Locations", "TEMPPATH", "/srv/s"); // hidden by the symbol
  cfgman_WriteConfigSetting("Locations", "A", "%B%/a");
  cfgman_WriteConfigSetting("Locations", "B", "%A%/b");
  sp_WriteOption("TestOptDir", YString("%DATA%/o"));
  const struct {
    const char *path;
    std::string result;
    bool expanded;
  } cases[] = {
      {"%DATA%/a", data + "/a", true},
      {"%DATA%/a", data + "/a", true}, // cached
      {"%DATA", data, true},
      {"%TEMPPATH%/a", std::string(temp.tocs()) + "/a", true},
      {"%KVAPPDATAPATH%/a", std::string(appData.tocs()) + "/a", true}, // not portable
      {"%A%/x", "%A%/b/a/x", true},
      {"%NOBODY%/x", "%NOBODY%/x", false},
      {"$UNSET$/f", "$UNSET$/f", false},
      {"$TestPathO1$/x", "$TestPathO1$/q/p/x", false},
      {"$TestOptDir$/f", data + "/o/f", true},
      {"/a/%DATA%/../y//z/.", "/a/y/z", false},
  };
  for (const auto &c : cases) {
    bool expanded = !c.expanded;
    EXPECT_EQ(translated(c.path, false, &expanded), c.result) << c.path;
    EXPECT_EQ(expanded, c.expanded) << c.path;
  }
  bool expanded = true;
  EXPECT_EQ(translated("%DATA%/a", true, &expanded), "%DATA%/a");
  EXPECT_FALSE(expanded);
  // Path-flagged option reads nested in a translation share its names in use.
  EXPECT_EQ(sp_GetStringOption("TestPathO1"), "$TestPathO2$/p/q/p");

  EXPECT_EQ(made(data + "/inner/f"), "%INNER%/f");
  EXPECT_EQ(made(data + "/f", LogicalPathOptions(true, true)), data + "/f");
  EXPECT_EQ(made("/srv/s/a"), "/srv/s/a");
  EXPECT_EQ(made(std::string(temp.tocs()) + "/a"), "%TEMPPATH%/a");
  const std::string inAppData = std::string(appData.tocs()) + "/m.lib";
  EXPECT_EQ(made(inAppData, LogicalPathOptions(false, true)), inAppData);

  // Own writes are seen at once, within the same second too.
  cfgman_WriteConfigSetting("Locations", "DATA", "/elsewhere");
  EXPECT_EQ(translated("%INNER%/b", false, &expanded), "/elsewhere/inner/b");

  // An option change drops the translations.
  sp_WriteOption("TestOptDir", YString("/first"));
  EXPECT_EQ(translated("$TestOptDir$/f", false, &expanded), "/first/f");
  sp_WriteOption(YString("TranslateWindowsPaths"), true);
  EXPECT_EQ(translated("/w\\x", false, &expanded), "/w/x");
  sp_WriteOption(YString("TranslateWindowsPaths"), false);

  bool found = false;
  EXPECT_EQ(sp_GetSystemValuePath("BASE_CONFIG_FILE", &found), "Base.kvprj");
  EXPECT_TRUE(found);
}

} // namespace
