// Shared by the support tests: a configuration of two levels with files of
// their own.
#pragma once

#include "kvsupport/config/ConfigManager.h"

#include "files/ProfileFile_p.h"

#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace kvsupporttest {

inline void setLevel(int level) {
  while (cfgman_DecConfigLevel()) {
  }
  for (int i = 0; i < level; ++i)
    cfgman_IncConfigLevel();
}

// Levels 0 and 1 each get a file in a fresh directory; level 0 is current.
struct Config {
  std::string dir = kvtest::makeTempDir("kvsupport");
  Config() {
    for (int level : {1, 0}) {
      setLevel(level);
      cfgman_SetConfigLocation(ConfigLocation(YString(("PATH;" + file(level)).c_str())));
    }
  }
  ~Config() {
    for (int level : {1, 0}) {
      setLevel(level);
      cfgman_SetConfigLocation(ConfigLocation());
    }
    kv::files::closeInifile();
    kvtest::removeTree(dir);
  }
  std::string file(int level) const { return dir + "/level" + std::to_string(level) + ".ini"; }
  // What `level`'s file holds under Options/`key`.
  std::string stored(const char *key, int level = 0) const {
    YString value;
    return sp_GetPrivateProfileString("Options", key, file(level).c_str(), &value) ? value.tocs()
                                                                                   : "<absent>";
  }
};

} // namespace kvsupporttest
