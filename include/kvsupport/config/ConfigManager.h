#pragma once

#include "kvsupport/containers/YList.h"
#include "kvsupport/files/ProfileFile.h"
#include "kvsupport/strings/YString.h"

#include <cstdint>

/// The outcome of `ConfigLocation::verify`.
enum ConfigStatus {
  ConfigExists = 0,  ///< the file exists and can be opened, or the registry key has sub-keys
  ConfigCreated = 1, ///< it did not exist and was created (or, only checking, would have to be)
  ConfigFailed = 2   ///< it did not exist and could not be created, or cannot be used at all
};

/// The configuration's time stamp: its level, then one stamp per level
/// 0 to level (later entries 0).
struct ConfigTimeStamp {
  int32_t level = 0;
  int64_t stamps[5] = {};
};

/// Where one configuration level is stored: a profile file, or a registry
/// key below the current user's root. On this platform a registry key P is
/// the profile file "<APPDATAPATH>/kelvanta/registry/<P>.ini" (P's parts,
/// split at '\' and '/', empty parts dropped, ASCII lower-cased); its
/// sub-keys are the file's sections and its values their keys. A key with
/// a "." or ".." part, or without a user folder, cannot be used: nothing
/// is read from or written to it.
class ConfigLocation {
public:
  static constexpr int kPathSize = 260;

  /// An empty file location.
  ConfigLocation();
  /// `set(text)`.
  explicit ConfigLocation(const YString &text);

  /// Takes a location text, "PATH;" + file path or "REG;" + key path (the
  /// kind without regard to case; the path is all after the first ';'). A
  /// file path that begins with a system path symbol ("%NAME%...") has it
  /// expanded, keeping all after the closing '%'. Changes nothing for a
  /// null or empty text, an unknown kind, an empty path, or a path of more
  /// than 259 bytes (after expansion).
  void set(const char *text);

  /// The path: the file, or the key below the user's root.
  const char *getPath() const { return path_; }
  bool usesRegistry() const { return registry_; }

  /// Writes "REG;" or "PATH;" and the path into `buffer`, but only when
  /// `size` exceeds the length of that text with its terminator; writes
  /// nothing otherwise.
  void getString(char *buffer, int size) const;
  /// The same text, whole.
  YString getString() const;

  /// For a file, a number for the version of it this process holds (at
  /// least 1, changing with every version seen, -1 when it is missing);
  /// for a registry key, 0.
  long long getTimeStamp() const;

  /// Checks that the location exists and, unless `checkOnly`, creates it
  /// (a file with its missing directories, mode 0700, created exclusively).
  void verify(ConfigStatus *status, bool checkOnly) const;

  /// The profile file behind the location: the path itself for a file, the
  /// mapped file for a registry key; empty when the location is empty or
  /// cannot be used.
  YString getFile() const;

  /// Sets all five levels to "PATH;%KVAPPDATAPATH%/config/Base.kvprj". The
  /// argument is not used.
  static void initialiseConfig(bool unused);

private:
  char path_[kPathSize];
  bool registry_;
};

// The configuration: five levels, each a ConfigLocation, and the current
// level (0 at start). Reads fall through from the current level down to 0;
// writes go to one level. Not thread-safe; usable from static constructors.

/// Raises the level by one when below 4; false otherwise.
bool cfgman_IncConfigLevel();
/// Lowers the level by one when above 0; false otherwise.
bool cfgman_DecConfigLevel();
int cfgman_GetConfigLevel();

/// Copies `location` into the slot of the current level.
void cfgman_SetConfigLocation(const ConfigLocation &location);
/// The slot of the current level, of level 0.
void cfgman_GetConfigLocation(const ConfigLocation **out);
void cfgman_GetBaseConfigLocation(const ConfigLocation **out);

/// Looks the key up from the current level down (with `bySection`, the
/// first level above 0 that has the section decides, else level 0). 1 when
/// found, else 0; `buffer` (when `size` > 0) always receives the value,
/// empty when not found, cut to `size` - 1 bytes.
int cfgman_GetConfigSetting(const char *section, const char *key, char *buffer, int size,
                            bool bySection);
/// The same into a YString, whole.
int cfgman_GetConfigSetting(const char *section, const char *key, YString *value, bool bySection);
/// Looks the key up from the current level down, as the key-by-key read
/// does; the level that has it, -1 when none has (or for a null section or
/// key). `*value` (when not null) receives the value, empty when not found.
int cfgman_FindConfigSetting(const char *section, const char *key, YString *value);
/// Looks the key up at one location only.
int cfgman_GetConfigSetting(const ConfigLocation &location, const char *section, const char *key,
                            YString *value);

/// Writes the key at `level` (negative: the current level; 0 to 4); a null
/// `value` deletes it. At level 0 a value equal to `defaultValue` (without
/// regard to case) deletes the key, so that the base level holds only what
/// differs from the defaults. For a file, whether it exists afterwards; for
/// a registry key, whether the value was written.
bool cfgman_WriteConfigSetting(const char *section, const char *key, const char *value,
                               const char *defaultValue, int level);
bool cfgman_WriteConfigSetting(const char *section, const char *key, const char *value);
/// Every pair into one section at the current level; false for a registry key.
bool cfgman_WriteConfigSettings(const YString &section, const YList<NameValuePair> &pairs);
/// Removes the section at the current level; the lines removed, 0 for a registry key.
int cfgman_DeleteConfigSection(const YString &section);

/// The key names of the section at `location`: into an empty `*names`, or
/// added at its front, each only when not already there (without regard to
/// case). Whether the section could be listed.
bool cfgman_GetConfigKeyNames(const ConfigLocation &location, const YString &section,
                              YList<YString> *names);
/// Over the levels from the current one down: all of them merged, or with
/// `bySection` those of the first level above 0 that has the section (else
/// level 0's).
bool cfgman_GetConfigKeyNames(const YString &section, YList<YString> *names, bool bySection);
/// The section names at `location` (the sub-keys of a registry key).
bool cfgman_GetConfigSectionNames(const ConfigLocation &location, YList<YString> *names);

/// Copies every key of the section from the level below into the current
/// one; false at level 0.
bool cfgman_CopySectionFromBase(const char *section);

/// Records the level and the stamp of each level 0 to current.
void cfgman_GetTimeStamp(ConfigTimeStamp *stamp);
/// True when a fresh stamp has the same level and, at every level, the same
/// stamp and one of at least 1.
bool cfgman_CompareTimeStamp(const ConfigTimeStamp &stamp);

/// `verify(status, false)` on the level-0 location.
void cfgman_VerifyAndInitialiseConfiguration(ConfigStatus *status);

/// Reads the start-up profile "startup.ini" beside the executable.
bool cfgman_GetStartupSetting(const char *section, const char *key, YString *value);
