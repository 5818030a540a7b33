#include "kvsupport/config/LibraryManager.h"

#include "hooks/ExitRank_p.h"

#include "kvsupport/config/ConfigManager.h"
#include "kvsupport/files/PathName.h"
#include "kvsupport/files/ProfileFile.h"
#include "kvsupport/hooks/AutoFunc.h"
#include "kvsupport/support/LogicalPaths.h"
#include "kvsupport/threads/YSystemMutex.h"

#include <algorithm>
#include <climits>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kLockTimeoutMs = 1000;
constexpr long long kFirstKey = 101;

struct ListsState {
  std::map<std::string, YList<YString>> cache; // upper-cased section + flag
  ConfigTimeStamp stamp;
  bool haveStamp = false;
};

ListsState &lists() {
  static ListsState *s = new ListsState;
  return *s;
}

std::string cacheKey(const YString &section, bool translate) {
  std::string key = YString(section).toupper().tocs();
  key += translate ? '1' : '0';
  return key;
}

// The value of a numeric key, saturated; -1 for a key that is no number.
long long keyNumber(const YString &key) {
  const char *c = key.tocs();
  if (!*c)
    return -1;
  long long value = 0;
  for (; *c; ++c) {
    if (*c < '0' || *c > '9')
      return -1;
    value = std::min<long long>(value * 10 + (*c - '0'), static_cast<long long>(INT_MAX) + 1);
  }
  return value;
}

// Numbers by value (so "1000" after "999"), then the rest by text.
std::vector<YString> sortedKeys(const YString &section) {
  YList<YString> names;
  cfgman_GetConfigKeyNames(section, &names, true);
  std::vector<YString> keys(names.begin(), names.end());
  std::stable_sort(keys.begin(), keys.end(), [](const YString &a, const YString &b) {
    const long long x = keyNumber(a), y = keyNumber(b);
    if ((x < 0) != (y < 0))
      return y < 0;
    if (x >= 0 && x != y)
      return x < y;
    return sp_stricmp(a.tocs(), b.tocs()) < 0;
  });
  return keys;
}

YString storedValue(const YString &section, const YString &key) {
  YString value;
  cfgman_GetConfigSetting(section.tocs(), key.tocs(), &value, true);
  return value;
}

YString translated(const YString &path) {
  YString result;
  sp_TranslateLogicalPath(path, &result, false);
  return result;
}

YString logical(const YString &path) {
  YString result;
  sp_MakeLogicalPath(path, &result, LogicalPathOptions());
  return result;
}

// Holds the list's mutex from the read to the write of one change. The
// name follows the file of the current level and the section, so two
// processes changing one list take turns, also before the file exists.
class ListLock {
public:
  explicit ListLock(const YString &section) : mutex_(name(section)) {
    owned_ = mutex_.wait(kLockTimeoutMs);
  }
  ~ListLock() {
    if (owned_)
      mutex_.release();
  }
  bool owned() const { return owned_; }

private:
  static YString name(const YString &section) {
    const ConfigLocation *location = nullptr;
    cfgman_GetConfigLocation(&location);
    const unsigned hash = YString(location ? location->getPath() : "").hashValue();
    YString text;
    text.sprintf("kv_mutex_liblist_%u|%s", hash, section.tocs());
    return text;
  }
  YSystemMutex mutex_;
  bool owned_ = false;
};

void dropCache() { lists().cache.clear(); }

bool contains(const std::vector<YString> &set, const YString &path) {
  for (const YString &member : set)
    if (member.pathEqual(path))
      return true;
  return false;
}

} // namespace

int libman_AddFiles(const YList<YString> &files, const YString &section, bool asLogicalPaths,
                    bool literal) {
  ListLock lock(section);
  if (!lock.owned() || files.isEmpty())
    return 0;
  const bool asLogical = asLogicalPaths && !literal;
  long long largest = kFirstKey - 1;
  std::vector<YString> listed;
  for (const YString &key : sortedKeys(section)) {
    largest = std::max(largest, keyNumber(key));
    const YString value = storedValue(section, key);
    listed.push_back(asLogical ? sp_ConvertUnixToLocal(translated(value)) : value);
  }
  long long next = largest + 1;
  YList<NameValuePair> pairs;
  int count = 0;
  for (const YString &file : files) {
    const long long key = next++;
    if (key > INT_MAX)
      return 0; // no key to give: nothing is written
    const YString local = literal ? file : sp_ConvertUnixToLocal(file);
    if (contains(listed, local))
      continue;
    ++count;
    NameValuePair pair;
    pair.key = YString(key);
    pair.value = asLogical ? logical(local) : local;
    pairs.append(pair);
  }
  if (pairs.isEmpty())
    return 0;
  const bool written = cfgman_WriteConfigSettings(section, pairs);
  dropCache();
  return written ? count : 0;
}

int libman_RemoveFiles(const YList<YString> &files, const YString &section, bool translate) {
  ListLock lock(section);
  if (!lock.owned())
    return 0;
  std::vector<std::pair<YString, YString>> listed; // value, key
  for (const YString &key : sortedKeys(section)) {
    const YString value = storedValue(section, key);
    listed.emplace_back(translate ? translated(value) : value, key);
  }
  int count = 0;
  for (const YString &file : files)
    for (auto &entry : listed)
      if (!entry.second.isEmpty() && entry.first.pathEqual(file)) {
        cfgman_WriteConfigSetting(section.tocs(), entry.second.tocs(), nullptr);
        YString left;
        if (!cfgman_GetConfigSetting(section.tocs(), entry.second.tocs(), &left, true))
          ++count;
        entry.second = YString(); // deleted: not counted twice
      }
  dropCache();
  return count;
}

bool libman_EditFile(const YString &oldFile, const YString &newFile, const YString &section) {
  ListLock lock(section);
  if (!lock.owned())
    return false;
  const std::vector<YString> keys = sortedKeys(section);
  for (auto key = keys.rbegin(); key != keys.rend(); ++key)
    if (translated(storedValue(section, *key)).pathEqual(oldFile)) {
      const bool written =
          cfgman_WriteConfigSetting(section.tocs(), key->tocs(), logical(newFile).tocs());
      dropCache();
      return written;
    }
  return false;
}

void libman_GetFiles(YList<YString> *files, const YString &section, bool translate) {
  if (!files)
    return;
  ListsState &s = lists();
  if (!s.haveStamp || !cfgman_CompareTimeStamp(s.stamp)) {
    cfgman_GetTimeStamp(&s.stamp);
    s.haveStamp = true;
    s.cache.clear();
  }
  const std::string key = cacheKey(section, translate);
  auto it = s.cache.find(key);
  if (it == s.cache.end()) {
    YList<YString> list;
    for (const YString &name : sortedKeys(section)) {
      YString value;
      if (cfgman_GetConfigSetting(section.tocs(), name.tocs(), &value, true))
        list.append(translate ? translated(value) : value);
    }
    it = s.cache.emplace(key, std::move(list)).first;
  }
  for (const YString &file : it->second)
    files->append(file);
}

namespace {

void closeLibraryManager(void *) {
  dropCache();
  lists().haveStamp = false;
}

const AutoFunc closeLibraryManagerRegistration("Exit", closeLibraryManager, "closeLibraryManager",
                                               kv::detail::ExitRank::CloseLibraryManager);

} // namespace
