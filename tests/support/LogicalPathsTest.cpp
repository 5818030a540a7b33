#include "kvsupport/support/LogicalPaths.h"

#include "support/LogicalPaths_p.h"

#include "kvsupport/files/PathName.h"
#include "kvsupport/support/Options.h"
#include "kvsupport/support/SystemSymbols.h"

#include "SupportTest.h"

#include <map>
#include <random>

namespace {

using kv::support::LogicalPathExpansion;

struct Tables {
  std::map<std::string, YString> locations; // names upper-cased
  std::map<std::string, YString> options;
  static std::string key(const YString &name) { return YString(name).toupper().tocs(); }
  kv::support::FindLocation find() const {
    return [this](const YString &name) -> const YString * {
      auto it = locations.find(key(name));
      return it == locations.end() ? nullptr : &it->second;
    };
  }
  kv::support::ReadOption read() const {
    return [this](const YString &name) {
      auto it = options.find(key(name));
      return it == options.end() ? YString() : it->second;
    };
  }
  bool translate(const YString &path, YString *result, int *depth = nullptr) const {
    LogicalPathExpansion state;
    const bool done = kv::support::translateLogicalPath(path, find(), read(), state, false, result);
    if (depth)
      *depth = state.maxDepth;
    return done;
  }
};

TEST(LogicalPathsTest, ExpansionTable) {
  Tables t;
  t.locations = {{"A", "%B%/a"}, {"B", "%A%/b"},    {"SELF", "%SELF%/s"}, {"LIB", "/opt/lib"},
                 {"EMPTY", ""},  {"OPT", "$O3$/l"}, {"ROOT", "/"}};
  t.options = {{"O1", "$O2$/p"}, {"O2", "$O1$/q"}, {"O3", "%LIB%/x"}, {"PLAIN", "/plain"}};
  const struct {
    const char *path;
    const char *result;
    bool expanded;
  } cases[] = {
      {"%A%/x", "%A%/b/a/x", true},
      {"$O1$/x", "$O1$/q/p/x", false},
      {"%SELF%/y", "%SELF%/s/y", true},
      {"%lib%/m.lib", "/opt/lib/m.lib", true},
      {"%LIB%", "/opt/lib", true},
      {"%LIB", "/opt/lib", true},
      {"%EMPTY%/x", "/x", true},
      {"%NOBODY%/x", "%NOBODY%/x", false},
      {"$PLAIN$/f", "/plain/f", false},
      {"$O3$", "/opt/lib/x", true}, // a "%" expanded inside an option's value counts
      {"%OPT%/f", "/opt/lib/x/l/f", true},
      {"$UNSET$/f", "$UNSET$/f", false},
      {"/a/%LIB%", "/a/%LIB%", false},
      {"%ROOT%/a", "/a", true},
      {"%%", "%%", false},
      {"", "", false},
      {"%LIB%/../y//z/.", "/opt/y/z", true},
  };
  for (const auto &c : cases) {
    YString result;
    int depth = 0;
    EXPECT_EQ(t.translate(c.path, &result, &depth), c.expanded) << c.path;
    EXPECT_EQ(result, c.result) << c.path;
    EXPECT_LE(depth, 12) << c.path;
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

// Random definitions over a small alphabet, cycles included: every
// translation ends within the names' depth, and making then translating
// gives the cleaned path back.
TEST(LogicalPathsTest, RandomTablesEndAndRoundTrip) {
  std::mt19937 random(19);
  const char *parts[] = {"/", "a", "b", "..", ".", "%A%", "%B%", "$O$", "$P$", "//", "c"};
  auto randomText = [&](int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
      text += parts[random() % (sizeof parts / sizeof *parts)];
    return text;
  };
  for (int round = 0; round < 2000; ++round) {
    Tables t;
    for (const char *name : {"A", "B", "C"})
      t.locations[name] = YString(randomText(1 + random() % 4).c_str());
    for (const char *name : {"O", "P"})
      t.options[name] = YString(randomText(random() % 4).c_str());
    const YString path(randomText(1 + random() % 6).c_str());
    YString result;
    int depth = 0;
    t.translate(path, &result, &depth);
    EXPECT_LE(depth, 6) << path.tocs();

    std::vector<kv::support::MakeCandidate> candidates;
    for (const auto &location : t.locations) {
      YString translated;
      t.translate(YString(("%" + location.first + "%").c_str()), &translated);
      if (kv::support::isMakeCandidate(location.first.c_str(), translated))
        candidates.emplace_back(location.first.c_str(), translated);
    }
    const YString cleaned = sp_CleanPath(YString(("/" + randomText(1 + random() % 5)).c_str()));
    YString made;
    if (!kv::support::makeLogicalPath(cleaned, candidates, &made))
      continue;
    YString back;
    EXPECT_TRUE(t.translate(made, &back)) << made.tocs();
    EXPECT_EQ(back, cleaned) << made.tocs();
  }
}

using kvsupporttest::Config;

std::string translated(const char *path, bool systemOnly = false, bool *expanded = nullptr) {
  YString result;
  const bool done = sp_TranslateLogicalPath(path, &result, systemOnly);
  if (expanded)
    *expanded = done;
  return result.tocs();
}

std::string made(const char *path, const LogicalPathOptions &options = LogicalPathOptions()) {
  YString result;
  sp_MakeLogicalPath(path, &result, options);
  return result.tocs();
}

const MakeOption pathOption1("LogicalPathsTest", 1, "TestPathO1", YString("$TestPathO2$/p"), false,
                             true, false);
const MakeOption pathOption2("LogicalPathsTest", 2, "TestPathO2", YString("$TestPathO1$/q"), false,
                             true, false);

TEST(LogicalPathsTest, LocationsSymbolsAndCaches) {
  Config config;
  YString temp, appData;
  sp_GetSystemPathSymbolValue("TEMPPATH", &temp, false);
  sp_GetSystemPathSymbolValue("KVAPPDATAPATH", &appData, false);
  const std::string data = config.dir + "/data";
  cfgman_WriteConfigSetting("Locations", "DATA", data.c_str());
  cfgman_WriteConfigSetting("Locations", "INNER", "%DATA%/inner");
  cfgman_WriteConfigSetting("Locations", "TEMPPATH", "/srv/s"); // hidden by the symbol
  cfgman_WriteConfigSetting("Locations", "LOOP", "%LOOP%/x");

  bool expanded = false;
  EXPECT_EQ(translated("%DATA%/a", false, &expanded), data + "/a");
  EXPECT_TRUE(expanded);
  EXPECT_EQ(translated("%DATA%/a", false, &expanded), data + "/a"); // cached
  EXPECT_TRUE(expanded);
  EXPECT_EQ(translated("%DATA%/a", true, &expanded), "%DATA%/a");
  EXPECT_FALSE(expanded);
  EXPECT_EQ(translated("%TEMPPATH%/a"), std::string(temp.tocs()) + "/a");
  EXPECT_EQ(translated("%WINDOWS%/x"), "/x");

  EXPECT_EQ(made((data + "/inner/f").c_str()), "%INNER%/f");
  EXPECT_EQ(made((data + "file").c_str(), LogicalPathOptions(false, true)), data + "file");
  EXPECT_EQ(made((data + "/f").c_str(), LogicalPathOptions(true, true)), data + "/f");
  EXPECT_EQ(made("/srv/s/a"), "/srv/s/a");
  EXPECT_EQ(made((std::string(temp.tocs()) + "/a").c_str()), "%TEMPPATH%/a");
  EXPECT_EQ(made((std::string(appData.tocs()) + "/m.lib").c_str(), LogicalPathOptions(false, true)),
            std::string(appData.tocs()) + "/m.lib");

  // Own writes are seen at once, within the same second too.
  cfgman_WriteConfigSetting("Locations", "DATA", "/elsewhere");
  EXPECT_EQ(translated("%DATA%/a"), "/elsewhere/a");
  EXPECT_EQ(translated("%INNER%/b"), "/elsewhere/inner/b");

  // Path-flagged option reads nested in a translation share its names in use.
  EXPECT_EQ(translated("$TestPathO1$/x", false, &expanded), "$TestPathO1$/q/p/x");
  EXPECT_FALSE(expanded);
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
