#include "kvsupport/support/LogicalPaths.h"

#include "support/LogicalPaths_p.h"

#include "kvsupport/support/Options.h"
#include "kvsupport/support/SystemSymbols.h"

#include "SupportTest.h"

#include <map>

namespace {

// The pure core over fixed tables: cycles stop, options expand without
// counting as expanded unless a location inside them does, and the result
// is cleaned.
TEST(LogicalPathsTest, ExpansionTable) {
  const std::map<std::string, YString> locations = {
      {"A", "%B%/a"}, {"B", "%A%/b"}, {"LIB", "/opt/lib"}};
  const std::map<std::string, YString> options = {
      {"O1", "$O2$/p"}, {"O2", "$O1$/q"}, {"O3", "%LIB%/x"}, {"PLAIN", "/plain"}};
  const struct {
    const char *path;
    const char *result;
    bool expanded;
  } cases[] = {
      {"%A%/x", "%A%/b/a/x", true},
      {"$O1$/x", "$O1$/q/p/x", false},
      {"%LIB", "/opt/lib", true},
      {"%NOBODY%/x", "%NOBODY%/x", false},
      {"$PLAIN$/f", "/plain/f", false},
      {"$O3$", "/opt/lib/x", true},
      {"$UNSET$/f", "$UNSET$/f", false},
      {"%LIB%/../y//z/.", "/opt/y/z", true},
  };
  for (const auto &c : cases) {
    kv::support::LogicalPathExpansion state;
    YString result;
    const bool expanded = kv::support::translateLogicalPath(
        c.path,
        [&](const YString &name) -> const YString * {
          auto it = locations.find(name.tocs());
          return it == locations.end() ? nullptr : &it->second;
        },
        [&](const YString &name) {
          auto it = options.find(name.tocs());
          return it == options.end() ? YString() : it->second;
        },
        state, false, &result);
    EXPECT_EQ(expanded, c.expanded) << c.path;
    EXPECT_EQ(result, c.result) << c.path;
  }
}

TEST(LogicalPathsTest, MakingTable) {
  const std::vector<kv::support::MakeCandidate> candidates = {
      {"DATA", "/srv/data"}, {"INNER", "/srv/data/inner"}, {"CASE", "/Srv/Case"},
      {"FIRST", "/same"},    {"SECOND", "/same"},          {"ROOT", "/"}};
  const struct {
    const char *path;
    const char *made; // null: nothing applies
  } cases[] = {
      {"/srv/data/f.lib", "%DATA%/f.lib"},
      {"/srv/data", "%DATA%"},
      {"/srv/dat", "%ROOT%/srv/dat"},
      {"/srv/datafile", "%ROOT%/srv/datafile"}, // a textual prefix only
      {"/srv/data/inner/x", "%INNER%/x"},       // the longest wins
      {"/srv/case/x", "%ROOT%/srv/case/x"},     // case counts in paths here
      {"/Srv/Case/x", "%CASE%/x"},
      {"/same/x", "%FIRST%/x"}, // ties keep the earlier
      {"relative/x", nullptr},
  };
  for (const auto &c : cases) {
    YString made("untouched");
    EXPECT_EQ(kv::support::makeLogicalPath(c.path, candidates, &made), c.made != nullptr) << c.path;
    EXPECT_EQ(made, c.made ? c.made : "untouched") << c.path;
  }
  EXPECT_FALSE(kv::support::isMakeCandidate("X", ""));
  EXPECT_FALSE(kv::support::isMakeCandidate("X", "%Y%/a"));
  EXPECT_FALSE(kv::support::isMakeCandidate("X%", "/a"));
  EXPECT_TRUE(kv::support::isMakeCandidate("X", "/a"));
}

std::string translated(const char *path, bool systemOnly = false, bool *expanded = nullptr) {
  YString result;
  const bool done = sp_TranslateLogicalPath(path, &result, systemOnly);
  if (expanded)
    *expanded = done;
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

TEST(LogicalPathsTest, LocationsSymbolsAndCaches) {
  kvsupporttest::Config config;
  YString temp, appData;
  sp_GetSystemPathSymbolValue("TEMPPATH", &temp, false);
  sp_GetSystemPathSymbolValue("KVAPPDATAPATH", &appData, false);
  const std::string data = config.dir + "/data";
  cfgman_WriteConfigSetting("Locations", "DATA", data.c_str());
  cfgman_WriteConfigSetting("Locations", "INNER", "%DATA%/inner");
  cfgman_WriteConfigSetting("Locations", "TEMPPATH", "/srv/s"); // hidden by the symbol

  bool expanded = false;
  EXPECT_EQ(translated("%DATA%/a"), data + "/a");
  EXPECT_EQ(translated("%DATA%/a", false, &expanded), data + "/a"); // cached
  EXPECT_TRUE(expanded);
  EXPECT_EQ(translated("%DATA%/a", true, &expanded), "%DATA%/a");
  EXPECT_FALSE(expanded);
  EXPECT_EQ(translated("%TEMPPATH%/a"), std::string(temp.tocs()) + "/a");

  EXPECT_EQ(made(data + "/inner/f"), "%INNER%/f");
  EXPECT_EQ(made(data + "/f", LogicalPathOptions(true, true)), data + "/f");
  EXPECT_EQ(made("/srv/s/a"), "/srv/s/a");
  EXPECT_EQ(made(std::string(temp.tocs()) + "/a"), "%TEMPPATH%/a");
  const std::string inAppData = std::string(appData.tocs()) + "/m.lib";
  EXPECT_EQ(made(inAppData, LogicalPathOptions(false, true)), inAppData);

  // Own writes are seen at once, within the same second too.
  cfgman_WriteConfigSetting("Locations", "DATA", "/elsewhere");
  EXPECT_EQ(translated("%INNER%/b"), "/elsewhere/inner/b");

  // Path-flagged option reads nested in a translation share its names in use.
  EXPECT_EQ(translated("$TestPathO1$/x"), "$TestPathO1$/q/p/x");
  EXPECT_EQ(sp_GetStringOption("TestPathO1"), "$TestPathO2$/p/q/p");

  // An option change drops the translations.
  sp_WriteOption("TestOptDir", YString("/first"));
  EXPECT_EQ(translated("$TestOptDir$/f"), "/first/f");
  sp_WriteOption("TestOptDir", YString("/second"));
  EXPECT_EQ(translated("$TestOptDir$/f"), "/second/f");
  sp_WriteOption(YString("TranslateWindowsPaths"), true);
  EXPECT_EQ(translated("/w\\x"), "/w/x");
  sp_WriteOption(YString("TranslateWindowsPaths"), false);

  bool found = false;
  EXPECT_EQ(sp_GetSystemValuePath("BASE_CONFIG_FILE", &found), "Base.kvprj");
  EXPECT_TRUE(found);
  sp_GetSystemValuePath("NoSuchValue", &found);
  EXPECT_FALSE(found);
}

} // namespace
