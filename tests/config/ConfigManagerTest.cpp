#include "kvsupport/support/SystemSymbols.h"

#include "ConfigTest.h"

#include <sys/stat.h>

namespace {

using kvconfig::Levels;
using kvconfig::setLevel;
using kvconfig::setting;

std::string symbol(const char *name) {
  YString value;
  sp_GetSystemPathSymbolValue(name, &value, false);
  return value.tocs();
}

TEST(ConfigManagerTest, LocationTexts) {
  const std::string appData = symbol("KVAPPDATAPATH");
  const std::string longText = "PATH;" + std::string(300, 'x');
  const struct {
    const char *text;
    const char *expected; // getString afterwards; the location starts as "PATH;/before"
  } cases[] = {{"PATH;/a/b.ini", "PATH;/a/b.ini"},
               {"path;rel;with;semicolons", "PATH;rel;with;semicolons"},
               {"Reg;Software\\Kelvanta", "REG;Software\\Kelvanta"},
               {"REG;%KVAPPDATAPATH%", "REG;%KVAPPDATAPATH%"}, // registry paths are not expanded
               {"PATH;%NOSUCH%/x", "PATH;%NOSUCH%/x"},
               {"FILE;/x", "PATH;/before"},
               {"no separator", "PATH;/before"},
               {"PATH;", "PATH;/before"},
               {"", "PATH;/before"},
               {nullptr, "PATH;/before"},
               {longText.c_str(), "PATH;/before"}};
  for (const auto &c : cases) {
    ConfigLocation location(YString("PATH;/before"));
    location.set(c.text);
    EXPECT_STREQ(location.getString().tocs(), c.expected) << (c.text ? c.text : "null");
  }
  ConfigLocation expanded(YString("PATH;%KVAPPDATAPATH%/config/%x%.ini"));
  EXPECT_EQ(std::string(expanded.getPath()), appData + "/config/%x%.ini");

  ConfigLocation::initialiseConfig(false);
  const ConfigLocation *base = nullptr;
  cfgman_GetBaseConfigLocation(&base);
  EXPECT_EQ(std::string(base->getPath()), appData + "/config/Base.kvprj");
  EXPECT_FALSE(base->usesRegistry());

  const ConfigLocation small(YString("PATH;/a"));
  char buffer[16] = "untouched";
  small.getString(buffer, 8); // "PATH;/a" and its terminator: exactly 8
  EXPECT_STREQ(buffer, "untouched");
  small.getString(buffer, 9);
  EXPECT_STREQ(buffer, "PATH;/a");
}

TEST(ConfigManagerTest, LevelsFallThroughKeyByKeyOrBySection) {
  Levels levels(2);
  ASSERT_TRUE(cfgman_WriteConfigSetting("Options", "A", "zero", nullptr, 0));
  ASSERT_TRUE(cfgman_WriteConfigSetting("Options", "B", "zero-b", nullptr, 0));
  ASSERT_TRUE(cfgman_WriteConfigSetting("Options", "A", "one", nullptr, 1));
  setLevel(1);
  EXPECT_EQ(setting("Options", "A"), "one");
  EXPECT_EQ(setting("options", "b"), "zero-b");
  EXPECT_EQ(setting("Options", "B", true), "<absent>"); // level 1 has the section
  EXPECT_EQ(setting("Other", "A", true), "<absent>");

  YList<YString> names;
  EXPECT_TRUE(cfgman_GetConfigKeyNames(YString("OPTIONS"), &names, false));
  EXPECT_EQ(names.count(), 2);
  names.clear();
  EXPECT_TRUE(cfgman_GetConfigKeyNames(YString("Options"), &names, true));
  EXPECT_EQ(names.count(), 1);

  char buffer[4];
  EXPECT_EQ(cfgman_GetConfigSetting("Options", "B", buffer, sizeof buffer, false), 1);
  EXPECT_STREQ(buffer, "zer");
  EXPECT_EQ(cfgman_GetConfigSetting("Options", "none", buffer, sizeof buffer, false), 0);
  EXPECT_STREQ(buffer, "");
  const std::string longValue(5000, 'v');
  ASSERT_TRUE(cfgman_WriteConfigSetting("Options", "Long", longValue.c_str()));
  EXPECT_EQ(setting("Options", "Long"), longValue); // whole, not cut at 999

  // A default is stored at a higher level, but not at the base.
  EXPECT_TRUE(cfgman_WriteConfigSetting("Options", "D", "Same", "same", 1));
  EXPECT_EQ(kvtest::readFile(levels.file(1)).find("D=Same") != std::string::npos, true);
  EXPECT_TRUE(cfgman_WriteConfigSetting("Options", "B", "SAME", "same", 0));
  EXPECT_EQ(kvtest::readFile(levels.file(0)).find("B="), std::string::npos);

  setLevel(4); // levels 0..4: a write past the last is refused
  EXPECT_FALSE(cfgman_WriteConfigSetting("Options", "B", "x", nullptr, 5));
  EXPECT_FALSE(cfgman_IncConfigLevel());
  EXPECT_EQ(cfgman_GetConfigLevel(), 4);
  setLevel(0);
  EXPECT_FALSE(cfgman_DecConfigLevel());
}

TEST(ConfigManagerTest, CopyFromBaseAndTimeStamps) {
  Levels levels(2);
  ASSERT_TRUE(cfgman_WriteConfigSetting("Lib", "a", "1", nullptr, 0));
  ASSERT_TRUE(cfgman_WriteConfigSetting("Lib", "b", "2", nullptr, 0));
  setLevel(0);
  EXPECT_FALSE(cfgman_CopySectionFromBase("Lib"));
  setLevel(1);
  ConfigTimeStamp before;
  cfgman_GetTimeStamp(&before);
  EXPECT_FALSE(cfgman_CompareTimeStamp(before)); // level 1's file is missing
  EXPECT_TRUE(cfgman_CopySectionFromBase("Lib"));
  EXPECT_EQ(kvtest::readFile(levels.file(1)), "[Lib]\nb=2\na=1\n");
  cfgman_GetTimeStamp(&before);
  EXPECT_TRUE(cfgman_CompareTimeStamp(before));
  ASSERT_TRUE(cfgman_WriteConfigSetting("Lib", "a", "3", nullptr, 0));
  EXPECT_FALSE(cfgman_CompareTimeStamp(before));
  cfgman_GetTimeStamp(&before);
  cfgman_DecConfigLevel();
  EXPECT_FALSE(cfgman_CompareTimeStamp(before)); // another level
}

TEST(ConfigManagerTest, VerifyCreatesOnlyWhatIsMissing) {
  Levels levels;
  const std::string file = levels.dir + "/new/sub/Base.kvprj";
  const ConfigLocation location(YString(("PATH;" + file).c_str()));
  ConfigStatus status = ConfigExists;
  location.verify(&status, true);
  EXPECT_EQ(status, ConfigCreated);
  EXPECT_FALSE(kvtest::fileExists(file));
  location.verify(&status, false);
  EXPECT_EQ(status, ConfigCreated);
  EXPECT_EQ(kvtest::readFile(file), "");
  struct stat info;
  ASSERT_EQ(::stat((levels.dir + "/new").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
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
  EXPECT_EQ(key.getTimeStamp(), 0);

  setLevel(1);
  cfgman_SetConfigLocation(key);
  EXPECT_TRUE(cfgman_WriteConfigSetting("Options", "A", "reg"));
  EXPECT_EQ(setting("Options", "A"), "reg");
  key.verify(&status, true);
  EXPECT_EQ(status, ConfigExists); // it has a sub-key now
  YList<NameValuePair> pairs;
  pairs.append({YString("B"), YString("1")});
  EXPECT_FALSE(cfgman_WriteConfigSettings(YString("Options"), pairs));
  EXPECT_EQ(cfgman_DeleteConfigSection(YString("Options")), 0);
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
    EXPECT_EQ(setting("Options", "A"), "<absent>"); // level 0 is empty
  }
  setLevel(0);
}

TEST(ConfigManagerTest, RegistryKeysMapToFilesUnderTheUsersFolder) {
  if (kvtest::childRole() == "registry")
    return checkRegistry();
  const std::string root = kvtest::makeTempDir("kvregistry");
  EXPECT_EQ(
      kvtest::runChild(
          "ConfigManagerTest.RegistryKeysMapToFilesUnderTheUsersFolder", "registry",
          {{"KV_ROOT", root}, {"HOME", root + "/home"}, {"XDG_CONFIG_HOME", ""}, {"TMPDIR", root}}),
      0);
  kvtest::removeTree(root);
}

} // namespace
