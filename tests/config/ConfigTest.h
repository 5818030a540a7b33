// Shared by the configuration tests: levels with files of their own.
#pragma once

#include "kvsupport/config/ConfigManager.h"

#include "files/ProfileFile_p.h"

#include "common/ChildProcess.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace kvconfig {

inline void setLevel(int level) {
  while (cfgman_DecConfigLevel()) {
  }
  for (int i = 0; i < level; ++i)
    cfgman_IncConfigLevel();
}

// Gives levels 0 to count-1 a file each in a fresh directory; level 0 is
// current afterwards.
struct Levels {
  std::string dir = kvtest::makeTempDir("kvconfig");
  explicit Levels(int count = 1) {
    for (int level = 0; level < count; ++level)
      use(level, file(level));
    setLevel(0);
  }
  ~Levels() {
    for (int level = 4; level >= 0; --level)
      use(level, "");
    kv::files::closeInifile();
    kvtest::removeTree(dir);
  }
  std::string file(int level) const { return dir + "/level" + std::to_string(level) + ".ini"; }
  // Makes `level` current, stored in `path` (nowhere when empty).
  static void use(int level, const std::string &path) {
    setLevel(level);
    cfgman_SetConfigLocation(path.empty() ? ConfigLocation()
                                          : ConfigLocation(YString(("PATH;" + path).c_str())));
  }
};

inline std::string setting(const char *section, const char *key, bool bySection = false) {
  YString value;
  return cfgman_GetConfigSetting(section, key, &value, bySection) ? value.tocs() : "<absent>";
}

} // namespace kvconfig
