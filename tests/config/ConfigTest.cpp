// Configuration levels, library lists and file-type extensions, each level
// with a file of its own.
#include "kvsupport/config/ConfigManager.h"
#include "kvsupport/config/Extensions.h"
#include "kvsupport/config/LibraryManager.h"

#include "kvsupport/hooks/AutoFunc.h"
#include "kvsupport/support/Options.h"
#include "kvsupport/support/SystemSymbols.h"
#include "kvsupport/threads/YSystemMutex.h"

#include "common/ChildProcess.h"
#include "common/ConfigLevels.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Files = std::vector<std::string>;

using kvtest::setLevel;
using Levels = kvtest::ConfigLevels;

std::string setting(const char *section, const char *key, bool bySection = false) {
  YString value;
  return cfgman_GetConfigSetting(section, key, &value, bySection) ? value.tocs() : "<absent>";
}

std::string symbol(const char *name) {
  YString value;
  sp_GetSystemPathSymbolValue(name, &value, false);
  return value.tocs();
}

TEST(ConfigManagerTest, LocationTexts) {
  const std::string longText = "PATH;" + std::string(300, 'x');
  const struct {
    const char *text;
    const char *expected; // getString afterwards; the location starts as "PATH;/before"
  } cases[] = {{"PATH;/a/b.ini", "PATH;/a/b.ini"},
               {"path;rel;with;semicolons", "PATH;rel;with;semicolons"},
               {"Reg;Software\\Kelvanta", "REG;Software\\Kelvanta"},
               {"REG;%KVAPPDATAPATH%", "REG;%KVAPPDATAPATH%"}, // registry paths are not expanded
               {"FILE;/x", "PATH;/before"},
               {"PATH;", "PATH;/before"},
               {nullptr, "PATH;/before"},
               {longText.c_str(), "PATH;/before"}};
  for (const auto &c : cases) {
    ConfigLocation location(YString("PATH;/before"));
    location.set(c.text);
    EXPECT_STREQ(location.getString().tocs(), c.expected) << (c.text ? c.text : "null");
  }
  ConfigLocation expanded(YString("PATH;%KVAPPDATAPATH%/x"));
  EXPECT_EQ(std::string(expanded.getPath()), symbol("KVAPPDATAPATH") + "/x");
  const ConfigLocation small(YString("PATH;/a"));
  char buffer[16] = "untouched";
  small.getString(buffer, 8); // "PATH;/a" and its terminator: exactly 8
  EXPECT_STREQ(buffer, "untouched");
  small.getString(buffer, 9);
  EXPECT_STREQ(buffer, "PATH;/a");
}

TEST(ConfigManagerTest, LevelsFallThroughCopyFromBaseAndAreVerified) {
  Levels levels(2);
  ASSERT_TRUE(cfgman_WriteConfigSetting("Options", "A", "zero", nullptr, 0));
  ASSERT_TRUE(cfgman_WriteConfigSetting("Options", "B", "zero-b", nullptr, 0));
  ASSERT_TRUE(cfgman_WriteConfigSetting("Options", "A", "one", nullptr, 1));
  setLevel(1);
  EXPECT_EQ(setting("Options", "A"), "one");
  EXPECT_EQ(setting("options", "b"), "zero-b");
  EXPECT_EQ(setting("Options", "B", true), "<absent>"); // level 1 has the section

  YList<YString> names;
  EXPECT_TRUE(cfgman_GetConfigKeyNames(YString("OPTIONS"), &names, false));
  EXPECT_EQ(names.count(), 2);

  char buffer[4];
  EXPECT_EQ(cfgman_GetConfigSetting("Options", "B", buffer, sizeof buffer, false), 1);
  EXPECT_STREQ(buffer, "zer");
  const std::string longValue(5000, 'v');
  ASSERT_TRUE(cfgman_WriteConfigSetting("Options", "Long", longValue.c_str()));
  EXPECT_EQ(setting("Options", "Long"), longValue); // whole, not cut at 999

  // A default is stored at a higher level, but not at the base.
  EXPECT_TRUE(cfgman_WriteConfigSetting("Options", "D", "Same", "same", 1));
  EXPECT_NE(kvtest::readFile(levels.file(1)).find("D=Same"), std::string::npos);
  EXPECT_TRUE(cfgman_WriteConfigSetting("Options", "B", "SAME", "same", 0));
  EXPECT_EQ(kvtest::readFile(levels.file(0)).find("B="), std::string::npos);

  setLevel(4); // levels 0..4: a write past the last is refused
  EXPECT_FALSE(cfgman_WriteConfigSetting("Options", "B", "x", nullptr, 5));
  EXPECT_FALSE(cfgman_IncConfigLevel());
  setLevel(0);

  // Copies from the base, and time stamps telling whether a level changed.
  ASSERT_TRUE(cfgman_WriteConfigSetting("Lib", "a", "1", nullptr, 0));
  ASSERT_TRUE(cfgman_WriteConfigSetting("Lib", "b", "2", nullptr, 0));
  EXPECT_FALSE(cfgman_CopySectionFromBase("Lib"));
  setLevel(1);
  EXPECT_TRUE(cfgman_CopySectionFromBase("Lib"));
  EXPECT_NE(kvtest::readFile(levels.file(1)).find("[Lib]\nb=2\na=1\n"), std::string::npos);
  ConfigTimeStamp before;
  cfgman_GetTimeStamp(&before);
  EXPECT_TRUE(cfgman_CompareTimeStamp(before));
  ASSERT_TRUE(cfgman_WriteConfigSetting("Lib", "a", "3", nullptr, 0));
  EXPECT_FALSE(cfgman_CompareTimeStamp(before));
  cfgman_GetTimeStamp(&before);
  cfgman_DecConfigLevel();
  EXPECT_FALSE(cfgman_CompareTimeStamp(before)); // another level

  // A location is verified, and made only where it is missing.
  const std::string file = levels.dir + "/new/sub/Base.kvprj";
  const ConfigLocation location(YString(("PATH;" + file).c_str()));
  ConfigStatus status = ConfigExists;
  location.verify(&status, true);
  EXPECT_EQ(status, ConfigCreated);
  EXPECT_FALSE(kvtest::fileExists(file));
  location.verify(&status, false);
  EXPECT_EQ(status, ConfigCreated);
  location.verify(&status, false);
  EXPECT_EQ(status, ConfigExists);
  const ConfigLocation directory(YString(("PATH;" + levels.dir).c_str()));
  directory.verify(&status, false);
  EXPECT_EQ(status, ConfigFailed);
}

// In a child whose HOME is KV_ROOT/home: registry keys live in files there.
void checkRegistry() {
  const std::string root = kvtest::env("KV_ROOT");
  const ConfigLocation key(YString("REG;Software\\\\Kelvanta/Test\\"));
  const std::string file = root + "/home/.config/kelvanta/registry/software/kelvanta/test.ini";
  EXPECT_EQ(std::string(key.getFile().tocs()), file);
  ConfigStatus status = ConfigExists;
  key.verify(&status, true);
  EXPECT_EQ(status, ConfigCreated);
  for (int again = 0; again < 2; ++again) { // made, then found empty
    key.verify(&status, false);
    EXPECT_EQ(status, ConfigCreated);
  }
  EXPECT_TRUE(kvtest::fileExists(file));

  setLevel(1);
  cfgman_SetConfigLocation(key);
  EXPECT_TRUE(cfgman_WriteConfigSetting("Options", "A", "reg"));
  EXPECT_TRUE(cfgman_WriteConfigSetting("Options", "A", "reg")) << "unchanged";
  key.verify(&status, true);
  EXPECT_EQ(status, ConfigExists); // it has a sub-key now
  ConfigTimeStamp stamp;
  cfgman_GetTimeStamp(&stamp);
  EXPECT_FALSE(cfgman_CompareTimeStamp(stamp)); // a registry stamp is never trusted

  for (const char *bad : {"REG;Software\\..\\x", "REG;./x", "REG;\\\\"}) {
    const ConfigLocation unusable(YString{bad});
    EXPECT_TRUE(unusable.getFile().isEmpty()) << bad;
    unusable.verify(&status, false);
    EXPECT_EQ(status, ConfigFailed) << bad;
    cfgman_SetConfigLocation(unusable);
    EXPECT_FALSE(cfgman_WriteConfigSetting("Options", "A", "x"));
  }
  setLevel(0);
}

TEST(ConfigManagerTest, RegistryKeysMapToFilesUnderTheUsersFolder) {
  if (kvtest::childRole() == "registry")
    return checkRegistry();
  const std::string root = kvtest::makeTempDir("kvregistry");
  EXPECT_EQ(
      kvtest::runChild(
          kvtest::currentTest(), "registry",
          {{"KV_ROOT", root}, {"HOME", root + "/home"}, {"XDG_CONFIG_HOME", ""}, {"TMPDIR", root}}),
      0);
  kvtest::removeTree(root);
}

YList<YString> listOf(const Files &files) {
  YList<YString> list;
  for (const std::string &file : files)
    list.append(YString(file.c_str()));
  return list;
}

Files filesOf(const char *section, bool translate) {
  YList<YString> list;
  libman_GetFiles(&list, section, translate);
  Files out;
  for (const YString &file : list)
    out.push_back(file.tocs());
  return out;
}

std::string key(const char *section, const char *name) { return setting(section, name, true); }

TEST(LibraryManagerTest, AddRemoveEditAndOrder) {
  Levels config(1);
  const std::string inApp = symbol("KVAPPDATAPATH") + "/lib/m.lib";
  EXPECT_EQ(libman_AddFiles(listOf({"/a.lib", inApp, "/b.lib"}), "Models", true, false), 3);
  const std::string stored = key("Models", "102"); // a portable symbol's form
  EXPECT_EQ(stored.substr(0, 1), "%");
  EXPECT_EQ(filesOf("Models", true), (Files{"/a.lib", inApp, "/b.lib"}));
  EXPECT_EQ(filesOf("Models", false)[1], stored); // cached apart

  // Listed files, by their real path, are skipped but use up their number;
  // case counts in paths here.
  EXPECT_EQ(libman_AddFiles(listOf({inApp, "/c.lib", "/A.lib", "/c.lib"}), "Models", true, false),
            3);
  EXPECT_EQ(key("Models", "105"), "/c.lib");

  // Keys sort as numbers, other keys after them.
  cfgman_WriteConfigSetting("Models", "99", "/early.lib");
  cfgman_WriteConfigSetting("Models", "1000", "/late.lib");
  cfgman_WriteConfigSetting("Models", "x", "/named.lib");
  EXPECT_EQ(filesOf("Models", true), (Files{"/early.lib", "/a.lib", inApp, "/b.lib", "/c.lib",
                                            "/A.lib", "/c.lib", "/late.lib", "/named.lib"}));

  EXPECT_TRUE(libman_EditFile("/c.lib", "/d.lib", "Models")); // the higher key
  EXPECT_EQ(key("Models", "107"), "/d.lib");

  EXPECT_EQ(libman_RemoveFiles(listOf({inApp, "/nothing"}), "Models", true), 1);
  EXPECT_EQ(libman_RemoveFiles(listOf({stored}), "Models", false), 0);
  cfgman_WriteConfigSetting("Models", "200", "/c.lib");
  EXPECT_EQ(libman_RemoveFiles(listOf({"/c.lib", "/c.lib"}), "Models", false), 2);

  // Literal texts are stored as given, not in a portable form; the next key
  // follows the largest.
  EXPECT_EQ(libman_AddFiles(listOf({inApp}), "Models", true, true), 1);
  EXPECT_EQ(key("Models", "1001"), inApp);
  cfgman_WriteConfigSetting("Models", "2147483647", "/max.lib");
  EXPECT_EQ(libman_AddFiles(listOf({"/past.lib"}), "Models", false, false), 0);
  EXPECT_EQ(libman_AddFiles(listOf({"/new.lib"}), "Empty", false, false), 1);
  EXPECT_EQ(key("Empty", "101"), "/new.lib");

  // After "Exit" the lists still work.
  executeAutoFunction("Exit", nullptr);
  Levels::use(0, config.file(0));
  EXPECT_EQ(filesOf("Empty", false), (Files{"/new.lib"}));
}

// Above level 0 the list is what the current level's section holds, a file
// removed there is gone though a lower level lists it too, and numbering
// goes by that section alone.
TEST(LibraryManagerTest, TheCurrentLevelListsAlone) {
  Levels levels(2);
  cfgman_WriteConfigSetting("Models", "101", "/x.lib", nullptr, 0);
  cfgman_WriteConfigSetting("Models", "103", "/low.lib", nullptr, 0);
  setLevel(1);
  cfgman_WriteConfigSetting("Models", "101", "/x.lib");
  cfgman_WriteConfigSetting("Models", "102", "/y.lib");
  EXPECT_EQ(libman_RemoveFiles(listOf({"/x.lib"}), "Models", false), 1);
  EXPECT_EQ(filesOf("Models", false), Files{"/y.lib"});
  // The next key follows the largest of this level's, not of a lower one's.
  EXPECT_EQ(libman_AddFiles(listOf({"/z.lib"}), "Models", false, false), 1);
  EXPECT_EQ(key("Models", "103"), "/z.lib");
}

void addFifty(const std::string &file, const std::string &tag, const std::string &go) {
  Levels::use(0, file);
  kvtest::waitUntil([&] { return kvtest::fileExists(go); });
  for (int i = 0; i < 50; ++i) {
    const std::string one = "/" + tag + "/" + std::to_string(i) + ".lib";
    ASSERT_EQ(libman_AddFiles(listOf({one}), "Models", false, false), 1) << one;
  }
}

// Holds the list's lock until told to end, then ends without releasing it.
void holdListLock(const std::string &file, const std::string &held, const std::string &end) {
  Levels::use(0, file);
  const ConfigLocation *location = nullptr;
  cfgman_GetConfigLocation(&location);
  YString name;
  name.sprintf("kv_mutex_liblist_%u|Models", YString(location->getPath()).hashValue());
  YSystemMutex mutex(name);
  ASSERT_TRUE(mutex.wait(10000));
  kvtest::touchFile(held);
  kvtest::waitUntil([&] { return kvtest::fileExists(end); });
  std::_Exit(0);
}

// A list locked by another process is left alone; once that one died
// holding the lock, processes adding at once lose nothing, and each sees
// the others' changes at its next read.
TEST(LibraryManagerTest, LockedListIsLeftAloneAndProcessesAddingLoseNothing) {
  const std::string role = kvtest::childRole();
  if (role == "holder")
    return holdListLock(kvtest::env("KV_LIST_FILE"), kvtest::env("KV_HELD"), kvtest::env("KV_END"));
  if (role == "adder")
    return addFifty(kvtest::env("KV_LIST_FILE"), kvtest::env("KV_TAG"), kvtest::env("KV_GO"));
  Levels config(1);
  const std::string go = config.dir + "/go", held = config.dir + "/held", end = config.dir + "/end";
  auto start = [&](const char *childRole, const char *tag) {
    return kvtest::startChild(kvtest::currentTest(), childRole,
                              {{"KV_LIST_FILE", config.file(0)},
                               {"KV_TAG", tag},
                               {"KV_GO", go},
                               {"KV_HELD", held},
                               {"KV_END", end}});
  };
  EXPECT_EQ(libman_AddFiles(listOf({"/first.lib"}), "Models", false, false), 1);
  auto holder = start("holder", "");
  ASSERT_TRUE(kvtest::waitUntil([&] { return kvtest::fileExists(held); }));
  EXPECT_EQ(libman_AddFiles(listOf({"/second.lib"}), "Models", false, false), 0);
  EXPECT_EQ(libman_RemoveFiles(listOf({"/first.lib"}), "Models", false), 0);
  EXPECT_FALSE(libman_EditFile("/first.lib", "/third.lib", "Models"));
  kvtest::touchFile(end);
  EXPECT_EQ(kvtest::waitChild(*holder), 0);
  EXPECT_EQ(filesOf("Models", false), (Files{"/first.lib"}));

  auto first = start("adder", "p"), second = start("adder", "q");
  kvtest::touchFile(go);
  EXPECT_EQ(kvtest::waitChild(*first), 0);
  EXPECT_EQ(kvtest::waitChild(*second), 0);
  EXPECT_EQ(filesOf("Models", false).size(), 101u);
}

TEST(ExtensionsTest, TypesAndForcing) {
  Levels config(1);
  sp_WriteOption("DataExtension", YString("csv;txt"));
  auto listed = [](const char *types) { // appended to what the list held
    YList<YString> found;
    found.append("kept");
    std::string text = sp_GetKelvantaFileExtension(types, &found) ? "" : "unknown:";
    for (const YString &e : found)
      text += std::string(e.tocs()) + ";";
    return text;
  };
  const std::pair<const char *, const char *> lists[] = {
      {"Schematic&Symbol", "kvsch;kvcmp;wxsch;kvslb;slb;kept;"},
      {" project ", "kvprj;kept;"},
      {"Any", "kept;"},
      {"Nothing", "unknown:kept;"},
      {"Nothing & Text", "txt;log;kept;"},
      {"Data", "csv;txt;kept;"}};
  for (const auto &[types, expected] : lists)
    EXPECT_EQ(listed(types), expected) << types;
  EXPECT_FALSE(sp_GetKelvantaFileExtension(nullptr, nullptr));
  EXPECT_FALSE(sp_IsOptionMigrateable(YString("DataExtension")));
  EXPECT_EQ(sp_GetKelvantaDefaultParamExtension("d_logic_block#file"), "ldf");

  const std::string longName(300, 'n');
  const struct {
    const char *types;
    std::string path;
    std::string forced;
  } forcing[] = {{"Project", "x", "x.kvprj"},
                 {"Project", "/d.d/x.KVPRJ", "/d.d/x.KVPRJ"},
                 {"Project", "x.txt", "x.kvprj"},
                 {"Model", "m.lib", "m.lib"},
                 {"Model", "m.x", "m.lb"},
                 {"Any", "x.txt", "x.txt"},
                 {"Project", "", ""},
                 {"Project", "/dir/", "/dir/"},
                 {"Project", "/d/" + longName + ".txt", "/d/" + longName + ".kvprj"},
                 {"Project", "/d.e/" + longName, "/d.e/" + longName + ".kvprj"}};
  for (const auto &c : forcing)
    EXPECT_EQ(sp_ForceKelvantaExtension(c.types, c.path.c_str()).tocs(), c.forced) << c.path;
}

} // namespace
