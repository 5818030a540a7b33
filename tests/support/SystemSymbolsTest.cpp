#include "kvsupport/support/SystemSymbols.h"
#include "kvsupport/support/SystemValues.h"

#include "files/ProfileFile_p.h"
#include "support/SystemSymbols_p.h"

#include "common/ChildProcess.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

namespace {

std::string symbol(const char *name, bool portable = false) {
  YString value;
  sp_GetSystemPathSymbolValue(name, &value, portable);
  return value.tocs();
}

std::string exeDir() { return QCoreApplication::applicationDirPath().toStdString(); }

// The folders of a child started in `role` with HOME, XDG and TMPDIR under
// KV_ROOT. A home that is not ASCII gets a private shared folder for the
// ASCII form; without a home, the application data sit beside the executable.
void checkUserFolders(const std::string &role) {
  const std::string root = kvtest::env("KV_ROOT"), appData = kvtest::env("HOME") + "/.config";
  const std::string own = appData + "/kelvanta/Kelvanta800";
  const std::string shared = root + "/xdg-a/kelvanta/Kelvanta800";
  const std::string up = exeDir().substr(0, exeDir().rfind('/'));
  const struct {
    const char *role, *name;
    std::string value;
  } expected[] = {
      {"folders", "kvappdatapath", own},
      {"folders", "STARTUP_APPDATAPATH", own},
      {"folders", "OLDKVAPPDATAPATH", appData + "/kelvanta-systems/Kelvanta"},
      {"folders", "KVAPPDATAPATH_ASCII", own},
      {"folders", "KVDOCSPATH", kvtest::env("HOME") + "/Documents/Kelvanta"},
      {"folders", "LIBPATH", up + "/plugins"},
      {"nonascii", "KVAPPDATAPATH", own},
      {"nonascii", "KVAPPDATAPATH_ASCII", shared},
      {"nohome", "APPDATAPATH", ""},
      {"nohome", "STARTUP_APPDATAPATH", ""},
      {"nohome", "KVAPPDATAPATH", exeDir() + "/AppData"},
  };
  for (const auto &row : expected) {
    if (role == row.role) {
      EXPECT_EQ(symbol(row.name), row.value) << row.name;
    }
  }
  struct stat info;
  if (role == "nonascii") {
    ASSERT_EQ(::stat(shared.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
  }
}

TEST(SystemSymbolsTest, FoldersFollowTheUsersEnvironment) {
  if (!kvtest::childRole().empty())
    return checkUserFolders(kvtest::childRole());
  const std::string root = kvtest::makeTempDir("kvsymbols");
  const std::pair<const char *, std::string> runs[] = {
      {"folders", root + "/home"}, {"nonascii", root + "/h\xC3\xB6me"}, {"nohome", ""}};
  for (const auto &run : runs)
    EXPECT_EQ(kvtest::runChild(kvtest::currentTest(), run.first,
                               {{"KV_ROOT", root},
                                {"HOME", run.second},
                                {"XDG_CONFIG_HOME", ""},
                                {"XDG_CONFIG_DIRS", root + "/xdg-a:" + root + "/xdg-b"}}),
              0)
        << run.first;
  kvtest::removeTree(root);
}

TEST(SystemSymbolsTest, StartupProfileOverridesUserFolder) {
  const std::string dir = kvtest::makeTempDir("kvstartup");
  const std::string profile = dir + "/startup.ini";
  kv::support::startupProfileForTests = profile.c_str();
  // The setting is a system path: only a leading symbol is replaced.
  const struct {
    const char *setting;
    std::string expected;
  } cases[] = {
      {"%TEMPPATH%/elsewhere", symbol("TEMPPATH") + "/elsewhere"},
      {"%TEMPPATH", symbol("TEMPPATH")},
      {"%WINDOWS%/x", "%WINDOWS%/x"}, // a symbol without a value stays
      {"x/%TEMPPATH%/./y", "x/%TEMPPATH%/y"},
      {"%KVAPPDATAPATH%/loop", ""},       // names itself: ignored
      {"%KVAPPDATAPATH_ASCII%/loop", ""}, // leads back to itself: ignored
  };
  kv::support::clearSystemPathSymbolCaches();
  const std::string standard = symbol("KVAPPDATAPATH");
  for (const auto &c : cases) {
    kv::files::closeInifile();
    kvtest::writeFile(profile, std::string("[SysDirs]\nKvAppData=") + c.setting + "\n");
    kv::support::clearSystemPathSymbolCaches();
    EXPECT_EQ(symbol("KVAPPDATAPATH"), c.expected.empty() ? standard : c.expected) << c.setting;
  }
  kv::support::startupProfileForTests = nullptr;
  kv::support::clearSystemPathSymbolCaches();
  kvtest::removeTree(dir);
}

TEST(SystemSymbolsTest, StartPathOverrideAndLists) {
  kv::support::clearSystemPathSymbolCaches();
  const std::string start = symbol("STARTPATH");
  const std::string longest = "/" + std::string(259, 'x'); // 260: the longest taken
  sp_OverrideStartupPath(longest.c_str());
  EXPECT_EQ(symbol("STARTPATH"), start);           // a cached value keeps what it saw
  sp_OverrideStartupPath((longest + "x").c_str()); // too long: ignored
  sp_OverrideStartupPath("");
  kv::support::clearSystemPathSymbolCaches();
  EXPECT_EQ(symbol("STARTPATH"), longest);
  sp_OverrideStartupPath(start.c_str());

  // A portable symbol has its value asked for portably too; the others none.
  const std::string all = symbol(nullptr), portable = ";" + symbol(nullptr, true) + ";";
  for (size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
    end = all.find(';', at);
    const std::string name = all.substr(at, end - at);
    const bool listed = portable.find(";" + name + ";") != std::string::npos;
    EXPECT_EQ(symbol(name.c_str(), true), listed ? symbol(name.c_str()) : "") << name;
  }
  for (const bool portableOnly : {false, true}) // an unknown name has no value
    EXPECT_EQ(sp_GetSystemPathSymbolValue("NOSUCHSYMBOL", nullptr, portableOnly), 0);
}

TEST(SystemSymbolsTest, SystemValuesLaterRowWinsIgnoringCase) {
  bool found = false;
  EXPECT_STREQ(sp_GetSystemValue(YString("max_dig_bus_size"), &found).tocs(), "48");
  EXPECT_TRUE(found);
  sp_GetSystemValue(YString("NoSuchValue"), &found);
  EXPECT_FALSE(found);
  int rows = 0;
  YString name, value;
  bool isPath = false;
  while (sp_GetSystemValueRow(rows, &name, &value, &isPath)) {
    ++rows;
    // A path template begins with a symbol, of the system or of the user,
    // and names one path: a list, or a "$$" vector name, is no path.
    const std::string text = value.tocs();
    const bool symbolFirst = text[0] == '%' || (text[0] == '$' && text[1] != '$');
    EXPECT_EQ(isPath, symbolFirst && text.find(';') == std::string::npos) << text;
  }
  EXPECT_FALSE(sp_GetSystemValueRow(-1, &name, nullptr, nullptr));
}

} // namespace
