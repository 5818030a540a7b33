// Test support: configuration levels, each stored in a file of its own in a
// fresh directory that goes with the object.
#pragma once

#include "kvsupport/config/ConfigManager.h"
#include "kvsupport/files/ProfileFile.h"

#include "files/ProfileFile_p.h"

#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <string>

namespace kvtest {

/// Makes `level` the current configuration level.
inline void setLevel(int level) {
  while (cfgman_DecConfigLevel()) {
  }
  for (int i = 0; i < level; ++i)
    cfgman_IncConfigLevel();
}

/// Levels 0 to count-1 get a file each; level 0 is current afterwards.
struct ConfigLevels {
  std::string dir = makeTempDir("kvconfig");
  explicit ConfigLevels(int count) {
    for (int level = count - 1; level >= 0; --level)
      use(level, file(level));
  }
  ~ConfigLevels() {
    for (int level = 4; level >= 0; --level)
      use(level, "");
    kv::files::closeInifile();
    removeTree(dir);
  }
  std::string file(int level) const { return dir + "/level" + std::to_string(level) + ".ini"; }
  /// Makes `level` current, stored in `path` (nowhere when empty).
  static void use(int level, const std::string &path) {
    setLevel(level);
    cfgman_SetConfigLocation(path.empty() ? ConfigLocation()
                                          : ConfigLocation(YString(("PATH;" + path).c_str())));
  }
  /// What `level`'s file holds under Options/`key`.
  std::string stored(const char *key, int level = 0) const {
    YString value;
    return sp_GetPrivateProfileString("Options", key, file(level).c_str(), &value) ? value.tocs()
                                                                                   : "<absent>";
  }
};

} // namespace kvtest
