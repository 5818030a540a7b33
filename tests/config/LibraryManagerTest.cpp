#include "kvsupport/config/LibraryManager.h"

#include "kvsupport/config/Extensions.h"
#include "kvsupport/hooks/AutoFunc.h"
#include "kvsupport/support/Options.h"
#include "kvsupport/support/SystemSymbols.h"
#include "kvsupport/threads/YSystemMutex.h"

#include "ConfigTest.h"

#include <QProcess>

#include <cstdlib>
#include <vector>

namespace {

using kvconfig::Levels;
using Files = std::vector<std::string>;

void useFile(const std::string &file) { Levels::use(0, file); }

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

std::string key(const char *section, const char *name) {
  return kvconfig::setting(section, name, true);
}

TEST(LibraryManagerTest, AddRemoveEditAndOrder) {
  Levels config;
  YString appData;
  sp_GetSystemPathSymbolValue("KVAPPDATAPATH", &appData, false);
  const std::string inApp = std::string(appData.tocs()) + "/lib/m.lib";
  EXPECT_EQ(libman_AddFiles(listOf({"/a.lib", inApp, "/b.lib"}), "Models", true, false), 3);
  EXPECT_EQ(key("Models", "101"), "/a.lib");
  const std::string stored = key("Models", "102"); // a portable symbol's form
  EXPECT_EQ(stored.substr(0, 1), "%");
  EXPECT_EQ(stored.substr(stored.size() - 10), "/lib/m.lib");
  EXPECT_EQ(key("Models", "103"), "/b.lib");
  EXPECT_EQ(filesOf("Models", true), (Files{"/a.lib", inApp, "/b.lib"}));
  EXPECT_EQ(filesOf("Models", false)[1], stored); // cached apart

  // Listed files, by their real path, are skipped but use up their number;
  // case counts in paths here.
  EXPECT_EQ(libman_AddFiles(listOf({inApp, "/c.lib", "/A.lib", "/c.lib"}), "Models", true, false),
            3);
  EXPECT_EQ(key("Models", "105"), "/c.lib");
  EXPECT_EQ(key("Models", "106"), "/A.lib");
  EXPECT_EQ(key("Models", "107"), "/c.lib");

  // Keys sort as numbers, other keys after them.
  cfgman_WriteConfigSetting("Models", "99", "/early.lib");
  cfgman_WriteConfigSetting("Models", "1000", "/late.lib");
  cfgman_WriteConfigSetting("Models", "x", "/named.lib");
  EXPECT_EQ(filesOf("Models", true), (Files{"/early.lib", "/a.lib", inApp, "/b.lib", "/c.lib",
                                            "/A.lib", "/c.lib", "/late.lib", "/named.lib"}));

  EXPECT_TRUE(libman_EditFile("/c.lib", "/d.lib", "Models")); // the higher key
  EXPECT_EQ(key("Models", "107"), "/d.lib");
  EXPECT_EQ(key("Models", "105"), "/c.lib");
  EXPECT_FALSE(libman_EditFile("/C.lib", "/e.lib", "Models"));

  EXPECT_EQ(libman_RemoveFiles(listOf({inApp, "/nothing"}), "Models", true), 1);
  EXPECT_EQ(libman_RemoveFiles(listOf({stored}), "Models", false), 0);
  cfgman_WriteConfigSetting("Models", "200", "/c.lib");
  EXPECT_EQ(libman_RemoveFiles(listOf({"/c.lib", "/c.lib"}), "Models", false), 2);
  EXPECT_EQ(key("Models", "200"), "<absent>");

  // Literal texts are stored as given; the next key follows the largest.
  EXPECT_EQ(libman_AddFiles(listOf({"$X$/lit.lib"}), "Models", true, true), 1);
  EXPECT_EQ(key("Models", "1001"), "$X$/lit.lib");
  cfgman_WriteConfigSetting("Models", "2147483647", "/max.lib");
  EXPECT_EQ(libman_AddFiles(listOf({"/past.lib"}), "Models", false, false), 0);
  EXPECT_EQ(libman_AddFiles(listOf({"/new.lib"}), "Empty", false, false), 1);
  EXPECT_EQ(key("Empty", "101"), "/new.lib");

  // After "Exit" the lists still work.
  executeAutoFunction("Exit", nullptr);
  useFile(config.file(0));
  EXPECT_EQ(filesOf("Empty", false), (Files{"/new.lib"}));
}

void addFifty(const std::string &file, const std::string &tag, const std::string &go) {
  useFile(file);
  kvtest::waitUntil([&] { return kvtest::fileExists(go); });
  for (int i = 0; i < 50; ++i) {
    const std::string one = "/" + tag + "/" + std::to_string(i) + ".lib";
    ASSERT_EQ(libman_AddFiles(listOf({one}), "Models", false, false), 1) << one;
  }
}

// Above level 0 the list is what the current level's section holds, a file
// removed there is gone though a lower level lists it too, and numbering
// goes by that section alone.
TEST(LibraryManagerTest, TheCurrentLevelListsAlone) {
  Levels levels(2);
  cfgman_WriteConfigSetting("Models", "101", "/x.lib", nullptr, 0);
  cfgman_WriteConfigSetting("Models", "103", "/low.lib", nullptr, 0);
  kvconfig::setLevel(1);
  cfgman_WriteConfigSetting("Models", "101", "/x.lib");
  cfgman_WriteConfigSetting("Models", "102", "/y.lib");
  EXPECT_EQ(filesOf("Models", false), (Files{"/x.lib", "/y.lib"}));
  EXPECT_EQ(libman_RemoveFiles(listOf({"/x.lib"}), "Models", false), 1);
  EXPECT_EQ(filesOf("Models", false), Files{"/y.lib"});
  // The next key follows the largest of this level's, not of a lower one's.
  EXPECT_EQ(libman_AddFiles(listOf({"/z.lib"}), "Models", false, false), 1);
  EXPECT_EQ(key("Models", "103"), "/z.lib");
}

TEST(LibraryManagerTest, TwoProcessesAddingLoseNothing) {
  if (kvtest::childRole() == "adder")
    return addFifty(kvtest::env("KV_LIST_FILE"), kvtest::env("KV_TAG"), kvtest::env("KV_GO"));
  Levels config;
  const std::string go = config.dir + "/go";
  auto adder = [&](const char *tag) {
    return kvtest::startChild("LibraryManagerTest.TwoProcessesAddingLoseNothing", "adder",
                              {{"KV_LIST_FILE", config.file(0)}, {"KV_TAG", tag}, {"KV_GO", go}});
  };
  auto first = adder("p"), second = adder("q");
  kvtest::touchFile(go);
  EXPECT_EQ(kvtest::waitChild(*first), 0);
  EXPECT_EQ(kvtest::waitChild(*second), 0);
  EXPECT_EQ(filesOf("Models", false).size(), 100u);
  // One process sees another's change at its next read.
  EXPECT_EQ(kvtest::waitChild(*adder("r")), 0);
  EXPECT_EQ(filesOf("Models", false).size(), 150u);
}

// Holds the list's lock until told to end, then ends without releasing it.
void holdListLock(const std::string &file, const std::string &held, const std::string &end) {
  useFile(file);
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

TEST(LibraryManagerTest, LockedListIsLeftAloneAndAnAbandonedLockIsTaken) {
  if (kvtest::childRole() == "holder")
    return holdListLock(kvtest::env("KV_LIST_FILE"), kvtest::env("KV_HELD"), kvtest::env("KV_END"));
  Levels config;
  const std::string file = config.file(0);
  const std::string held = config.dir + "/held", end = config.dir + "/end";
  EXPECT_EQ(libman_AddFiles(listOf({"/first.lib"}), "Models", false, false), 1);
  auto holder =
      kvtest::startChild("LibraryManagerTest.LockedListIsLeftAloneAndAnAbandonedLockIsTaken",
                         "holder", {{"KV_LIST_FILE", file}, {"KV_HELD", held}, {"KV_END", end}});
  ASSERT_TRUE(kvtest::waitUntil([&] { return kvtest::fileExists(held); }));
  EXPECT_EQ(libman_AddFiles(listOf({"/second.lib"}), "Models", false, false), 0);
  EXPECT_EQ(libman_RemoveFiles(listOf({"/first.lib"}), "Models", false), 0);
  EXPECT_FALSE(libman_EditFile("/first.lib", "/third.lib", "Models"));
  EXPECT_EQ(filesOf("Models", false), (Files{"/first.lib"}));
  kvtest::touchFile(end);
  EXPECT_EQ(kvtest::waitChild(*holder), 0);
  EXPECT_EQ(libman_AddFiles(listOf({"/second.lib"}), "Models", false, false), 1);
  EXPECT_EQ(filesOf("Models", false), (Files{"/first.lib", "/second.lib"}));
}

TEST(ExtensionsTest, TypesAndForcing) {
  Levels config;
  const struct {
    const char *types;
    const char *joined;
    bool known;
  } lists[] = {{"Schematic&Symbol", "kvsch;kvcmp;wxsch;kvslb;slb", true},
               {" project ", "kvprj", true},
               {"Any", "", true},
               {"Nothing", "", false},
               {"Nothing & Text", "txt;log", true}};
  for (const auto &c : lists) {
    YList<YString> found;
    found.append("kept");
    EXPECT_EQ(sp_GetKelvantaFileExtension(c.types, &found), c.known) << c.types;
    std::string joined;
    for (const YString &e : found)
      joined += (joined.empty() ? "" : ";") + std::string(e.tocs());
    EXPECT_EQ(joined, std::string(c.joined) + (*c.joined ? ";kept" : "kept")) << c.types;
  }
  EXPECT_FALSE(sp_GetKelvantaFileExtension(nullptr, nullptr));
  EXPECT_EQ(sp_GetKelvantaDefaultExtension("Project"), "kvprj");
  EXPECT_EQ(sp_GetKelvantaDefaultParamExtension("d_logic_block#file"), "ldf");
  EXPECT_EQ(sp_GetKelvantaDefaultParamExtension("other"), "");

  const std::string longName(300, 'n');
  const struct {
    const char *types;
    std::string path;
    std::string forced;
  } forcing[] = {{"Project", "x", "x.kvprj"},
                 {"Project", "/d.d/x.KVPRJ", "/d.d/x.KVPRJ"},
                 {"Project", "x.txt", "x.kvprj"},
                 {"Model", "m.lib", "m.lib"},
                 {"Model", "m.LIB", "m.LIB"},
                 {"Model", "m.x", "m.lb"},
                 {"Any", "x.txt", "x.txt"},
                 {"Project", "", ""},
                 {"Project", "/dir/", "/dir/"},
                 {"Project", "/d/" + longName + ".txt", "/d/" + longName + ".kvprj"},
                 {"Project", "/d.e/" + longName, "/d.e/" + longName + ".kvprj"}};
  for (const auto &c : forcing)
    EXPECT_EQ(sp_ForceKelvantaExtension(c.types, c.path.c_str()).tocs(), c.forced) << c.path;

  sp_WriteOption("DataExtension", YString("csv;txt"));
  YList<YString> data;
  sp_GetKelvantaFileExtension("Data", &data);
  ASSERT_EQ(data.count(), 2);
  EXPECT_EQ(data.first(), "csv");
  EXPECT_EQ(data.last(), "txt");
}

} // namespace
