// The configuration manager: five levels of settings over profile files.
// A registry key is kept in a profile file of its own under the user's
// folder (see ConfigLocation), so every level, whatever its kind, is read
// and written through the profile functions and shares their locking and
// change detection.
#include "kvsupport/config/ConfigManager.h"

#include "kvsupport/files/PathName.h"
#include "kvsupport/support/SystemSymbols.h"
#include "os/JFile_p.h"
#include "os/ProfileStore_p.h"
#include "os/SystemPaths_p.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kLevels = 5;
constexpr char kBaseLocation[] = "PATH;%KVAPPDATAPATH%/config/Base.kvprj";

struct Configuration {
  ConfigLocation slots[kLevels];
  int level = 0;
};

Configuration &configuration() {
  static Configuration *instance = new Configuration; // usable from static constructors
  return *instance;
}

// The profile file behind the registry key `key`; empty when the key cannot
// be used (a "." or ".." part, no parts, no user folder).
YString registryFile(const char *key) {
  std::vector<std::string> parts;
  std::string part;
  for (const char *c = key;; ++c) {
    if (*c == '\\' || *c == '/' || *c == '\0') {
      if (part == "." || part == "..")
        return YString();
      if (!part.empty())
        parts.push_back(part);
      part.clear();
      if (!*c)
        break;
    } else {
      part += *c >= 'A' && *c <= 'Z' ? static_cast<char>(*c + 32) : *c;
    }
  }
  YString appData;
  if (parts.empty() || sp_GetSystemPathSymbolValue("APPDATAPATH", &appData, false) == 0)
    return YString();
  std::string file = std::string(appData.tocs()) + "/kelvanta/registry";
  for (const std::string &p : parts)
    file += "/" + p;
  file += ".ini";
  return YString(file.c_str());
}

// Makes the directory of a registry file, so that its first write can land.
bool prepareRegistryFile(const YString &file) {
  return kv::os::createDirectories(sp_GetDirFromPath(file.tocs()).tocs()) == 0;
}

bool hasSection(const ConfigLocation &location, const char *section) {
  YList<YString> names;
  if (!cfgman_GetConfigSectionNames(location, &names))
    return false;
  for (const YString &name : names)
    if (sp_stricmp(name.tocs(), section) == 0)
      return true;
  return false;
}

// The level that decides a by-section look-up: the first from the current
// one down to 1 that has the section, else 0.
int decidingLevel(const char *section) {
  Configuration &c = configuration();
  for (int level = c.level; level >= 1; --level)
    if (hasSection(c.slots[level], section))
      return level;
  return 0;
}

bool writeAt(const ConfigLocation &location, const char *section, const char *key,
             const char *value) {
  const YString file = location.getFile();
  if (file.isEmpty())
    return false;
  if (!location.usesRegistry())
    return sp_WritePrivateProfileString(file.tocs(), section, key, value);
  if (!prepareRegistryFile(file))
    return false;
  sp_WritePrivateProfileString(file.tocs(), section, key, value);
  int error = 0;
  const ProfileWriteStatus status = sp_GetLastProfileWriteStatus(&error);
  return status == ProfileWritten || status == ProfileUnchanged;
}

} // namespace

ConfigLocation::ConfigLocation() : path_{}, registry_(false) {}

ConfigLocation::ConfigLocation(const YString &text) : ConfigLocation() { set(text.tocs()); }

void ConfigLocation::set(const char *text) {
  if (!text || !*text)
    return;
  const char *semicolon = std::strchr(text, ';');
  if (!semicolon)
    return;
  const std::string kind(text, semicolon);
  const char *path = semicolon + 1;
  bool registry;
  if (sp_stricmp(kind.c_str(), "reg") == 0)
    registry = true;
  else if (sp_stricmp(kind.c_str(), "path") == 0)
    registry = false;
  else
    return;
  std::string expanded = path;
  if (!registry && path[0] == '%') {
    const char *close = std::strchr(path + 1, '%');
    const std::string name = close ? std::string(path + 1, close) : std::string(path + 1);
    YString value;
    if (sp_GetSystemPathSymbolValue(name.c_str(), &value, false) > 0)
      expanded = std::string(value.tocs()) + (close ? close + 1 : "");
  }
  if (expanded.empty() || expanded.size() >= static_cast<size_t>(kPathSize))
    return;
  std::memcpy(path_, expanded.c_str(), expanded.size() + 1);
  registry_ = registry;
}

YString ConfigLocation::getString() const {
  YString text(registry_ ? "REG;" : "PATH;");
  text &= path_;
  return text;
}

void ConfigLocation::getString(char *buffer, int size) const {
  const YString text = getString();
  if (buffer && size > text.length() + 1)
    std::memcpy(buffer, text.tocs(), static_cast<size_t>(text.length()) + 1);
}

YString ConfigLocation::getFile() const {
  if (!path_[0])
    return YString();
  return registry_ ? registryFile(path_) : YString(path_);
}

long long ConfigLocation::getTimeStamp() const {
  if (registry_ || !path_[0])
    return registry_ ? 0 : -1;
  return sp_GetProfileVersion(YString(path_));
}

void ConfigLocation::verify(ConfigStatus *status, bool checkOnly) const {
  ConfigStatus result = ConfigFailed;
  const YString file = getFile();
  if (file.isEmpty()) {
    result = ConfigFailed;
  } else if (registry_) {
    YList<YString> sections;
    if (sp_GetProfileSectionNames(file, &sections) && !sections.isEmpty())
      result = ConfigExists;
    else if (checkOnly)
      result = ConfigCreated;
    else if (prepareRegistryFile(file)) {
      const int error = kv::os::createFileExclusive(file.tocs());
      result = error == 0 || error == EEXIST ? ConfigCreated : ConfigFailed;
    }
  } else {
    FILE *stream =
        kv::os::isDirectory(file.tocs()) ? nullptr : kv::os::openFileStream(file.tocs(), "r");
    if (stream) {
      std::fclose(stream);
      result = ConfigExists;
    } else if (checkOnly) {
      result = ConfigCreated;
    } else if (kv::os::createDirectories(sp_GetDirFromPath(file.tocs()).tocs()) == 0 &&
               kv::os::createFileExclusive(file.tocs()) == 0) {
      result = ConfigCreated;
    }
  }
  if (status)
    *status = result;
}

void ConfigLocation::initialiseConfig(bool) {
  for (ConfigLocation &slot : configuration().slots) {
    slot = ConfigLocation();
    slot.set(kBaseLocation);
  }
}

bool cfgman_IncConfigLevel() {
  Configuration &c = configuration();
  if (c.level >= kLevels - 1)
    return false;
  ++c.level;
  return true;
}

bool cfgman_DecConfigLevel() {
  Configuration &c = configuration();
  if (c.level <= 0)
    return false;
  --c.level;
  return true;
}

int cfgman_GetConfigLevel() { return configuration().level; }

void cfgman_SetConfigLocation(const ConfigLocation &location) {
  Configuration &c = configuration();
  c.slots[c.level] = location;
}

void cfgman_GetConfigLocation(const ConfigLocation **out) {
  if (out)
    *out = &configuration().slots[configuration().level];
}

void cfgman_GetBaseConfigLocation(const ConfigLocation **out) {
  if (out)
    *out = &configuration().slots[0];
}

int cfgman_GetConfigSetting(const ConfigLocation &location, const char *section, const char *key,
                            YString *value) {
  const YString file = location.getFile();
  YString found;
  const bool ok = !file.isEmpty() && sp_GetPrivateProfileString(section, key, file.tocs(), &found);
  if (value)
    *value = found;
  return ok ? 1 : 0;
}

int cfgman_GetConfigSetting(const char *section, const char *key, YString *value, bool bySection) {
  Configuration &c = configuration();
  if (value)
    *value = YString();
  if (!section || !key)
    return 0;
  if (bySection)
    return cfgman_GetConfigSetting(c.slots[decidingLevel(section)], section, key, value);
  for (int level = c.level; level >= 0; --level)
    if (cfgman_GetConfigSetting(c.slots[level], section, key, value))
      return 1;
  return 0;
}

int cfgman_FindConfigSetting(const char *section, const char *key, YString *value) {
  Configuration &c = configuration();
  for (int level = section && key ? c.level : -1; level >= 0; --level) {
    const ConfigLocation &location = c.slots[level];
    // A file location names its profile file directly: no copy of the path
    // on this path, which every option read takes.
    if (!location.usesRegistry()) {
      if (location.getPath()[0] &&
          sp_GetPrivateProfileString(section, key, location.getPath(), value))
        return level;
    } else if (cfgman_GetConfigSetting(location, section, key, value)) {
      return level;
    }
  }
  if (value)
    *value = YString();
  return -1;
}

int cfgman_GetConfigSetting(const char *section, const char *key, char *buffer, int size,
                            bool bySection) {
  YString value;
  const int found = cfgman_GetConfigSetting(section, key, &value, bySection);
  if (buffer && size > 0) {
    const size_t length =
        std::min(static_cast<size_t>(value.length()), static_cast<size_t>(size - 1));
    std::memcpy(buffer, value.tocs(), length);
    buffer[length] = '\0';
  }
  return found;
}

bool cfgman_WriteConfigSetting(const char *section, const char *key, const char *value,
                               const char *defaultValue, int level) {
  Configuration &c = configuration();
  if (level < 0)
    level = c.level;
  if (level >= kLevels)
    return false;
  if (level == 0 && value && defaultValue && sp_stricmp(value, defaultValue) == 0)
    value = nullptr;
  return writeAt(c.slots[level], section, key, value);
}

bool cfgman_WriteConfigSetting(const char *section, const char *key, const char *value) {
  return cfgman_WriteConfigSetting(section, key, value, nullptr, -1);
}

bool cfgman_WriteConfigSettings(const YString &section, const YList<NameValuePair> &pairs) {
  const ConfigLocation &location = configuration().slots[configuration().level];
  if (location.usesRegistry() || !location.getPath()[0])
    return false;
  return sp_WritePrivateProfileStrings(YString(location.getPath()), section, pairs);
}

int cfgman_DeleteConfigSection(const YString &section) {
  const ConfigLocation &location = configuration().slots[configuration().level];
  if (location.usesRegistry() || !location.getPath()[0])
    return 0;
  return sp_DeletePrivateProfileSection(YString(location.getPath()), section);
}

bool cfgman_GetConfigKeyNames(const ConfigLocation &location, const YString &section,
                              YList<YString> *names) {
  const YString file = location.getFile();
  if (file.isEmpty() || !names)
    return false;
  if (names->isEmpty())
    return sp_GetProfileKeyNames(file, section, names);
  YList<YString> found;
  if (!sp_GetProfileKeyNames(file, section, &found))
    return false;
  for (const YString &name : found) {
    bool present = false;
    for (const YString &have : *names)
      present = present || sp_stricmp(have.tocs(), name.tocs()) == 0;
    if (!present)
      names->prepend(name);
  }
  return true;
}

bool cfgman_GetConfigKeyNames(const YString &section, YList<YString> *names, bool bySection) {
  Configuration &c = configuration();
  if (bySection)
    return cfgman_GetConfigKeyNames(c.slots[decidingLevel(section.tocs())], section, names);
  bool any = false;
  for (int level = c.level; level >= 0; --level)
    any = cfgman_GetConfigKeyNames(c.slots[level], section, names) || any;
  return any;
}

bool cfgman_GetConfigSectionNames(const ConfigLocation &location, YList<YString> *names) {
  const YString file = location.getFile();
  return !file.isEmpty() && sp_GetProfileSectionNames(file, names);
}

bool cfgman_CopySectionFromBase(const char *section) {
  Configuration &c = configuration();
  if (c.level == 0 || !section)
    return false;
  const ConfigLocation &below = c.slots[c.level - 1];
  YList<YString> keys;
  cfgman_GetConfigKeyNames(below, YString(section), &keys);
  for (const YString &key : keys) {
    YString value;
    if (cfgman_GetConfigSetting(below, section, key.tocs(), &value))
      writeAt(c.slots[c.level], section, key.tocs(), value.tocs());
  }
  return true;
}

void cfgman_GetTimeStamp(ConfigTimeStamp *stamp) {
  if (!stamp)
    return;
  Configuration &c = configuration();
  *stamp = ConfigTimeStamp();
  stamp->level = c.level;
  for (int level = 0; level <= c.level; ++level)
    stamp->stamps[level] = c.slots[level].getTimeStamp();
}

bool cfgman_CompareTimeStamp(const ConfigTimeStamp &saved) {
  ConfigTimeStamp fresh;
  cfgman_GetTimeStamp(&fresh);
  if (fresh.level != saved.level)
    return false;
  for (int level = fresh.level; level >= 0; --level)
    if (fresh.stamps[level] != saved.stamps[level] || fresh.stamps[level] < 1)
      return false;
  return true;
}

void cfgman_VerifyAndInitialiseConfiguration(ConfigStatus *status) {
  configuration().slots[0].verify(status, false);
}

bool cfgman_GetStartupSetting(const char *section, const char *key, YString *value) {
  YString file;
  sp_TranslateSystemPath("%EXEPATH%/startup.ini", &file);
  return sp_GetPrivateProfileString(section, key, file.tocs(), value);
}
