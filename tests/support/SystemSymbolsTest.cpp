#include "kvsupport/support/SystemSymbols.h"
#include "kvsupport/support/SystemValues.h"

#include "files/ProfileFile_p.h"
#include "support/SystemSymbols_p.h"

#include "common/ChildProcess.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <sys/stat.h>

namespace {

std::string symbol(const char *name, bool portable = false) {
  YString value;
  const int length = sp_GetSystemPathSymbolValue(name, &value, portable);
  EXPECT_EQ(length, value.length());
  return value.tocs();
}

std::string translated(const char *path) {
  YString result;
  sp_TranslateSystemPath(path, &result);
  return result.tocs();
}

std::string exeDir() { return QCoreApplication::applicationDirPath().toStdString(); }

// The folders of a child started with HOME, XDG and TMPDIR under KV_ROOT.
void checkUserFolders() {
  const std::string root = kvtest::env("KV_ROOT");
  const std::string appData = root + "/home/.config";
  const std::string own = appData + "/kelvanta/Kelvanta800";
  const struct {
    const char *name;
    std::string value;
  } expected[] = {
      {"APPDATAPATH", appData},
      {"KVAPPDATAPATH", own},
      {"kvappdatapath", own},
      {"STARTUP_APPDATAPATH", own},
      {"OLDKVAPPDATAPATH", appData + "/kelvanta-systems/Kelvanta"},
      {"KVAPPDATAPATH_ASCII", own},
      {"COMMON_APPDATAPATH", root + "/xdg-a"},
      {"TEMPPATH", root + "/tmp"},
      {"DOCSPATH", root + "/home/Documents"},
      {"KVDOCSPATH", root + "/home/Documents/Kelvanta"},
      {"EXEPATH", exeDir()},
      {"LIBPATH", exeDir().substr(0, exeDir().rfind('/')) + "/plugins"},
      {"WINDOWS", ""},
      {"NOSUCH", ""},
  };
  for (const auto &row : expected)
    EXPECT_EQ(symbol(row.name), row.value) << row.name;
  EXPECT_EQ(symbol("DOCSPATH", true), root + "/home/Documents");
  EXPECT_EQ(symbol("KVAPPDATAPATH", true), ""); // not portable

  const struct {
    const char *path;
    std::string result;
  } paths[] = {
      {"%EXEPATH%/../support/x.txt", exeDir().substr(0, exeDir().rfind('/')) + "/support/x.txt"},
      {"%kvappdatapath%/devdb/user/%SIMULATOR%_%TYPE%.cat",
       own + "/devdb/user/%SIMULATOR%_%TYPE%.cat"},
      {"%TEMPPATH%%x%/y", root + "/tmp%x%/y"},
      {"%TEMPPATH", root + "/tmp"},
      {"%NOSUCH%/a/../b", "%NOSUCH%/b"},
      {"%WINDOWS%/x", "%WINDOWS%/x"},
      {"a//b/./c/", "a/b/c"},
      {"x/%TEMPPATH%", "x/%TEMPPATH%"},
      {"", ""},
      {nullptr, ""},
  };
  for (const auto &row : paths)
    EXPECT_EQ(translated(row.path), row.result) << (row.path ? row.path : "null");
}

kvtest::EnvList userEnvironment(const std::string &root, const std::string &home) {
  return {{"KV_ROOT", root},
          {"HOME", home},
          {"XDG_CONFIG_HOME", ""},
          {"XDG_CONFIG_DIRS", root + "/xdg-a:" + root + "/xdg-b"},
          {"TMPDIR", root + "/tmp"}};
}

TEST(SystemSymbolsTest, FoldersFollowTheUsersEnvironment) {
  if (kvtest::childRole() == "folders")
    return checkUserFolders();
  const std::string root = kvtest::makeTempDir("kvsymbols");
  ::mkdir((root + "/tmp").c_str(), 0700);
  EXPECT_EQ(kvtest::runChild("SystemSymbolsTest.FoldersFollowTheUsersEnvironment", "folders",
                             userEnvironment(root, root + "/home")),
            0);
  kvtest::removeTree(root);
}

void checkNonAsciiHome() {
  const std::string root = kvtest::env("KV_ROOT");
  const std::string shared = root + "/xdg-a/kelvanta/Kelvanta800";
  EXPECT_EQ(symbol("KVAPPDATAPATH"), root + "/h\xC3\xB6me/.config/kelvanta/Kelvanta800");
  EXPECT_EQ(symbol("KVAPPDATAPATH_ASCII"), shared);
  struct stat info;
  ASSERT_EQ(::stat(shared.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

void checkNoHome() {
  EXPECT_EQ(symbol("APPDATAPATH"), "");
  EXPECT_EQ(symbol("STARTUP_APPDATAPATH"), "");
  EXPECT_EQ(symbol("KVAPPDATAPATH"), exeDir() + "/AppData");
}

TEST(SystemSymbolsTest, FallBacksWithoutUsableHome) {
  const std::string role = kvtest::childRole();
  if (role == "nonascii")
    return checkNonAsciiHome();
  if (role == "nohome")
    return checkNoHome();
  const std::string root = kvtest::makeTempDir("kvsymbols");
  const std::string test = "SystemSymbolsTest.FallBacksWithoutUsableHome";
  EXPECT_EQ(kvtest::runChild(test, "nonascii", userEnvironment(root, root + "/h\xC3\xB6me")), 0);
  EXPECT_EQ(kvtest::runChild(test, "nohome", userEnvironment(root, "")), 0);
  kvtest::removeTree(root);
}

TEST(SystemSymbolsTest, StartupProfileOverridesUserFolder) {
  const std::string dir = kvtest::makeTempDir("kvstartup");
  const std::string profile = dir + "/startup.ini";
  kv::support::startupProfileForTests = profile.c_str();
  const struct {
    const char *setting;
    std::string expected;
  } cases[] = {
      {"%TEMPPATH%/elsewhere", symbol("TEMPPATH") + "/elsewhere"},
      {"/abs//own/", "/abs/own"},
      {"%KVAPPDATAPATH%/loop", ""},       // names itself: ignored
      {"%KVAPPDATAPATH_ASCII%/loop", ""}, // leads back to itself: ignored
  };
  kv::support::clearSystemPathSymbolCaches();
  const std::string standard = symbol("KVAPPDATAPATH");
  for (const auto &c : cases) {
    SCOPED_TRACE(c.setting);
    kv::files::closeInifile();
    kvtest::writeFile(profile, std::string("[SysDirs]\nKvAppData=") + c.setting + "\n");
    kv::support::clearSystemPathSymbolCaches();
    EXPECT_EQ(symbol("KVAPPDATAPATH"), c.expected.empty() ? standard : c.expected);
  }
  kv::support::startupProfileForTests = nullptr;
  kv::support::clearSystemPathSymbolCaches();
  kvtest::removeTree(dir);
}

TEST(SystemSymbolsTest, StartPathOverrideAndLists) {
  kv::support::clearSystemPathSymbolCaches();
  const std::string start = symbol("STARTPATH");
  EXPECT_FALSE(start.empty());
  sp_OverrideStartupPath("/somewhere/else");
  EXPECT_EQ(symbol("STARTPATH"), start); // a cached value keeps what it saw
  kv::support::clearSystemPathSymbolCaches();
  EXPECT_EQ(symbol("STARTPATH"), "/somewhere/else");
  sp_OverrideStartupPath(("/" + std::string(260, 'x')).c_str()); // too long: ignored
  sp_OverrideStartupPath("");
  kv::support::clearSystemPathSymbolCaches();
  EXPECT_EQ(symbol("STARTPATH"), "/somewhere/else");
  const std::string longest = "/" + std::string(259, 'x'); // 260: the longest taken
  sp_OverrideStartupPath(longest.c_str());
  kv::support::clearSystemPathSymbolCaches();
  EXPECT_EQ(symbol("STARTPATH"), longest);
  sp_OverrideStartupPath(start.c_str());

  EXPECT_EQ(symbol(nullptr, true),
            "DOCSPATH;EXEPATH;APPDATAPATH;TEMPPATH;LIBPATH;SHAREPATH;COMMON_APPDATAPATH");
  const std::string all = symbol(nullptr), portable = ";" + symbol(nullptr, true) + ";";
  EXPECT_EQ(std::count(all.begin(), all.end(), ';'), 15);
  // A portable symbol has its value asked for portably too; the others none.
  for (size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
    end = all.find(';', at);
    const std::string name = all.substr(at, end - at);
    const bool listed = portable.find(";" + name + ";") != std::string::npos;
    EXPECT_EQ(symbol(name.c_str(), true), listed ? symbol(name.c_str()) : "") << name;
  }
}

TEST(SystemSymbolsTest, SystemValuesLaterRowWinsIgnoringCase) {
  bool found = false;
  EXPECT_STREQ(sp_GetSystemValue(YString("max_dig_bus_size"), &found).tocs(), "48");
  EXPECT_TRUE(found);
  EXPECT_STREQ(sp_GetSystemValue(YString("NoSuchValue"), &found).tocs(), "");
  EXPECT_FALSE(found);
  int rows = 0, busRows = 0;
  YString name, value;
  bool isPath = false;
  while (sp_GetSystemValueRow(rows, &name, &value, &isPath)) {
    ++rows;
    busRows += name == "MAX_DIG_BUS_SIZE";
    // A path template begins with a symbol, of the system or of the user,
    // and names one path: a list, or a "$$" vector name, is no path.
    const std::string text = value.tocs();
    const bool symbolFirst = text[0] == '%' || (text[0] == '$' && text[1] != '$');
    EXPECT_EQ(isPath, symbolFirst && text.find(';') == std::string::npos) << text;
  }
  EXPECT_EQ(rows, sp_GetSystemValueCount());
  EXPECT_EQ(rows, 115);
  EXPECT_EQ(busRows, 2);
  EXPECT_FALSE(sp_GetSystemValueRow(-1, &name, nullptr, nullptr));
}

} // namespace
