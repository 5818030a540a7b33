// System path symbols. Values come from Qt's standard locations where Qt
// knows the folder, and from the platform layer otherwise. The two caches
// (full list and portable list) fill independently, each value once per
// process; a symbol whose value depends on another asks the full cache.
//
// A symbol may depend on the start-up profile, whose own path is a symbol
// (EXEPATH); a value there that names a symbol still being computed would
// recurse, so such a value is ignored.
#include "kvsupport/support/SystemSymbols.h"

#include "kvsupport/files/PathName.h"
#include "kvsupport/files/ProfileFile.h"
#include "kvsupport/support/SystemValues.h"
#include "os/PathName_p.h"
#include "os/ProfileStore_p.h"
#include "os/SystemPaths_p.h"
#include "support/SystemSymbols_p.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

const char *kv::support::startupProfileForTests = nullptr;

namespace {

enum Symbol {
  DocsPath,
  Windows,
  WinSystem,
  ExePath,
  StartPath,
  AppDataPath,
  TempPath,
  LibPath,
  SharePath,
  CwdPath,
  StartupAppDataPath,
  KvAppDataPath,
  OldKvAppDataPath,
  KvDocsPath,
  CommonAppDataPath,
  KvAppDataPathAscii,
  SymbolCount
};

constexpr const char *kNames[SymbolCount] = {"DOCSPATH",
                                             "WINDOWS",
                                             "WINSYSTEM",
                                             "EXEPATH",
                                             "STARTPATH",
                                             "APPDATAPATH",
                                             "TEMPPATH",
                                             "LIBPATH",
                                             "SHAREPATH",
                                             "CWDPATH",
                                             "STARTUP_APPDATAPATH",
                                             "KVAPPDATAPATH",
                                             "OLDKVAPPDATAPATH",
                                             "KVDOCSPATH",
                                             "COMMON_APPDATAPATH",
                                             "KVAPPDATAPATH_ASCII"};

constexpr bool kPortable[SymbolCount] = {true, false, false, true,  false, true,  true, true,
                                         true, false, false, false, false, false, true, false};

constexpr char kFullList[] =
    "DOCSPATH;WINDOWS;WINSYSTEM;EXEPATH;STARTPATH;APPDATAPATH;TEMPPATH;LIBPATH;SHAREPATH;"
    "CWDPATH;STARTUP_APPDATAPATH;KVAPPDATAPATH;OLDKVAPPDATAPATH;KVDOCSPATH;COMMON_APPDATAPATH;"
    "KVAPPDATAPATH_ASCII";
constexpr char kPortableList[] =
    "DOCSPATH;EXEPATH;APPDATAPATH;TEMPPATH;LIBPATH;SHAREPATH;COMMON_APPDATAPATH";

constexpr char kVendorFolder[] = "kelvanta";
constexpr char kFormerVendorFolder[] = "kelvanta-systems";
constexpr char kProductFolder[] = "Kelvanta";
constexpr size_t kStartPathLimit = 260;

struct Cache {
  YString values[SymbolCount];
  bool known[SymbolCount] = {};
};

struct State {
  Cache full;
  Cache portable;
  bool computing[SymbolCount] = {};
  YString startPath = kv::os::currentDirectory();
  bool startupRead = false;
  YString kvAppDataOverride;
  bool cycle = false; // a symbol was asked for while being computed
};

State &state() {
  static State *instance = new State; // usable from static constructors
  return *instance;
}

// The working directory is taken when the library is loaded, before a host
// has had the chance to change it.
[[maybe_unused]] const bool kStartPathTaken = (state(), true);

YString fromQt(const QString &text) { return YString(text.toUtf8().constData()); }

YString joined(const YString &a, const char *b) {
  YString result = a;
  result &= b;
  return result;
}

YString versionTag() {
  const int major = std::atoi(sp_GetSystemValue(YString("MAJOR_VERSION"), nullptr).tocs());
  const int minor = std::atoi(sp_GetSystemValue(YString("MINOR_VERSION"), nullptr).tocs());
  char tag[32];
  std::snprintf(tag, sizeof tag, "%d%02d", major, minor);
  return YString(tag);
}

bool printableAscii(const YString &text) {
  for (const char *c = text.tocs(); *c; ++c)
    if (static_cast<unsigned char>(*c) < 32 || static_cast<unsigned char>(*c) > 126)
      return false;
  return true;
}

int findSymbol(const char *name, bool portable) {
  for (int i = 0; i < SymbolCount; ++i)
    if ((!portable || kPortable[i]) && sp_stricmp(kNames[i], name) == 0)
      return i;
  return -1;
}

YString value(int symbol);

// The leading "%NAME%" of `text`, as a symbol index; -1 when there is none.
int leadingSymbol(const char *text) {
  if (!text || text[0] != '%')
    return -1;
  const char *close = std::strchr(text + 1, '%');
  const std::string name = close ? std::string(text + 1, close) : std::string(text + 1);
  return findSymbol(name.c_str(), false);
}

// Reads the start-up profile's override of KVAPPDATAPATH, once.
void readStartupOverrides() {
  State &s = state();
  if (s.startupRead)
    return;
  s.startupRead = true;
  YString profile;
  if (kv::support::startupProfileForTests)
    profile = kv::support::startupProfileForTests;
  else
    sp_TranslateSystemPath("%EXEPATH%/startup.ini", &profile);
  YString text;
  if (!sp_GetPrivateProfileString("SysDirs", "KvAppData", profile.tocs(), &text) || text.isEmpty())
    return;
  // The value may lead back to the symbol being computed, directly or
  // through another symbol: then it is ignored.
  const bool outer = s.cycle;
  s.cycle = false;
  YString translated;
  sp_TranslateSystemPath(text.tocs(), &translated);
  const int named = leadingSymbol(text.tocs());
  if (!s.cycle && !(named >= 0 && s.computing[named]))
    s.kvAppDataOverride = translated;
  s.cycle = outer;
}

YString canonicalOrAsIs(const YString &path) {
  const QString canonical = QFileInfo(QString::fromUtf8(path.tocs())).canonicalFilePath();
  return canonical.isEmpty() ? path : fromQt(canonical);
}

// The user's folder below `base`: "<base>/<vendor>/Kelvanta<tag>".
YString productFolder(const YString &base, const char *vendor, bool withTag) {
  YString path = joined(joined(joined(base, "/"), vendor), "/");
  path &= kProductFolder;
  if (withTag)
    path &= versionTag();
  return path;
}

YString applicationData(const char *vendor, bool withTag) {
  const YString appData = value(AppDataPath);
  YString path = appData.isEmpty() ? joined(value(ExePath), "/AppData")
                                   : productFolder(appData, vendor, withTag);
  return canonicalOrAsIs(path);
}

YString compute(int symbol) {
  State &s = state();
  switch (symbol) {
  case DocsPath: {
    const YString docs =
        fromQt(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    return docs.isEmpty() ? value(ExePath) : docs;
  }
  case Windows:
  case WinSystem:
    return YString();
  case ExePath:
    return kv::os::executableDirectory();
  case StartPath:
    return s.startPath;
  case AppDataPath:
    // Without a home there is no user folder: Qt would offer a guess.
    if (qEnvironmentVariableIsEmpty("HOME") && qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME"))
      return YString();
    return fromQt(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
  case TempPath:
    return fromQt(QDir::tempPath());
  case LibPath:
    readStartupOverrides();
    return sp_GetFullPath(joined(value(ExePath), "/../plugins"));
  case SharePath:
    readStartupOverrides();
    return sp_GetFullPath(joined(value(ExePath), "/../support"));
  case CwdPath:
    return kv::os::currentDirectory();
  case StartupAppDataPath: {
    const YString appData = value(AppDataPath);
    return appData.isEmpty() ? YString() : productFolder(appData, kVendorFolder, true);
  }
  case KvAppDataPath:
    readStartupOverrides();
    if (!s.kvAppDataOverride.isEmpty())
      return canonicalOrAsIs(s.kvAppDataOverride);
    return applicationData(kVendorFolder, true);
  case OldKvAppDataPath:
    return applicationData(kFormerVendorFolder, false);
  case KvDocsPath:
    return joined(value(DocsPath), "/Kelvanta");
  case CommonAppDataPath: {
    const QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
    for (const QString &dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
      return fromQt(dir);
    return YString("/etc/xdg");
  }
  case KvAppDataPathAscii: {
    const YString own = value(KvAppDataPath);
    if (printableAscii(own))
      return own;
    const YString common = value(CommonAppDataPath);
    if (!common.isEmpty()) {
      const YString shared = sp_CleanPath(productFolder(common, kVendorFolder, true));
      if (printableAscii(shared) && kv::os::createDirectories(shared.tocs()) == 0)
        return shared;
    }
    return own;
  }
  }
  return YString();
}

YString cached(Cache &cache, int symbol) {
  State &s = state();
  if (cache.known[symbol])
    return cache.values[symbol];
  if (s.computing[symbol]) {
    s.cycle = true;
    return YString(); // asked for while being computed: no value
  }
  const bool outer = s.cycle;
  s.cycle = false;
  s.computing[symbol] = true;
  YString computed = compute(symbol);
  s.computing[symbol] = false;
  if (!computed.isEmpty())
    computed = sp_CleanPath(computed);
  // A value computed while a cycle was cut short is not the real one.
  if (!s.cycle) {
    cache.values[symbol] = computed;
    cache.known[symbol] = true;
  }
  s.cycle = outer || s.cycle;
  return computed;
}

YString value(int symbol) { return cached(state().full, symbol); }

} // namespace

int sp_GetSystemPathSymbolValue(const char *name, YString *value, bool portable) {
  YString result;
  if (!name) {
    result = portable ? kPortableList : kFullList;
  } else {
    const int symbol = findSymbol(name, portable);
    if (symbol >= 0)
      result = cached(portable ? state().portable : state().full, symbol);
  }
  if (value)
    *value = result;
  return result.length();
}

void sp_OverrideStartupPath(const char *path) {
  if (!path || !*path || std::strlen(path) > kStartPathLimit)
    return;
  state().startPath = path;
}

void sp_TranslateSystemPath(const char *path, YString *result) {
  if (!result)
    return;
  if (!path) {
    *result = YString();
    return;
  }
  YString text(path);
  if (path[0] == '%') {
    const char *close = std::strchr(path + 1, '%');
    const std::string name = close ? std::string(path + 1, close) : std::string(path + 1);
    YString symbolValue;
    if (sp_GetSystemPathSymbolValue(name.c_str(), &symbolValue, false) > 0)
      text = joined(symbolValue, close ? close + 1 : "");
  }
  *result = sp_ConvertUnixToLocal(sp_CleanPath(text));
}

void kv::support::clearSystemPathSymbolCaches() {
  State &s = state();
  s.full = Cache();
  s.portable = Cache();
  s.startupRead = false;
  s.kvAppDataOverride = YString();
}
