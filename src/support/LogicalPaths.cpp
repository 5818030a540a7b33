#include "kvsupport/support/LogicalPaths.h"

#include "hooks/ExitRank_p.h"
#include "support/LogicalPaths_p.h"
#include "support/SystemSymbols_p.h"

#include "kvsupport/config/ConfigManager.h"
#include "kvsupport/containers/YHashTable.h"
#include "kvsupport/files/PathName.h"
#include "kvsupport/hooks/AutoFunc.h"
#include "kvsupport/support/Options.h"
#include "kvsupport/support/SystemSymbols.h"
#include "kvsupport/support/SystemValues.h"

#include <memory>

namespace kv::support {
namespace {

bool inUse(const std::vector<YString> &names, const YString &name) {
  for (const YString &n : names)
    if (sp_stricmp(n.tocs(), name.tocs()) == 0)
      return true;
  return false;
}

// The name between the leading `mark` and the next one (or the end), and
// the rest after the closing mark (empty when there is none).
void cutReference(const YString &path, char mark, YString *name, YString *rest) {
  const char *text = path.tocs() + 1;
  const char *close = text;
  while (*close && *close != mark)
    ++close;
  *name = YString(text, static_cast<int>(close - text));
  *rest = *close ? YString(close + 1) : YString();
}

struct DepthGuard {
  explicit DepthGuard(LogicalPathExpansion &s) : state(s) {
    if (++state.depth > state.maxDepth)
      state.maxDepth = state.depth;
  }
  ~DepthGuard() { --state.depth; }
  LogicalPathExpansion &state;
};

} // namespace

bool expandLogicalPath(const YString &path, const FindLocation &find, const ReadOption &readOption,
                       LogicalPathExpansion &state, YString *result) {
  DepthGuard guard(state);
  const int before = state.locationsExpanded;
  const char lead = path.tocs()[0];
  if (lead != '%' && lead != '$') {
    *result = path;
    return false;
  }
  YString name, rest;
  cutReference(path, lead, &name, &rest);
  if (lead == '%') {
    const YString *definition = find ? find(name) : nullptr;
    if (!definition || inUse(state.locationsInUse, name)) {
      *result = path;
      return false;
    }
    // In use for the rest of the translation: a definition that refers to
    // itself, directly or through others, is expanded once.
    state.locationsInUse.push_back(name);
    ++state.locationsExpanded;
    const YString own = *definition; // the reader below may change the table
    YString expanded;
    expandLogicalPath(own, find, readOption, state, &expanded);
    *result = YString(expanded.concat(rest.tocs()));
    return true;
  }
  if (inUse(state.optionsInUse, name)) {
    *result = path;
    return false;
  }
  state.optionsInUse.push_back(name);
  const YString value = readOption ? readOption(name) : YString();
  if (value.isEmpty()) {
    *result = path;
    return state.locationsExpanded != before;
  }
  YString expanded;
  expandLogicalPath(value, find, readOption, state, &expanded);
  *result = YString(expanded.concat(rest.tocs()));
  return state.locationsExpanded != before;
}

bool translateLogicalPath(const YString &path, const FindLocation &find,
                          const ReadOption &readOption, LogicalPathExpansion &state,
                          bool windowsPaths, YString *result) {
  YString expanded;
  const bool done = expandLogicalPath(path, find, readOption, state, &expanded);
  YString cleaned = sp_CleanPath(expanded);
  if (windowsPaths)
    for (int i = 0; cleaned.tocs()[i]; ++i)
      if (cleaned.tocs()[i] == '\\')
        cleaned[i] = '/';
  *result = cleaned;
  return done;
}

bool isMakeCandidate(const YString &name, const YString &translated) {
  return !name.isEmpty() && name.first('%') == name.length() && !translated.isEmpty() &&
         translated.first('%') == translated.length();
}

bool makeLogicalPath(const YString &cleanedPath, const std::vector<MakeCandidate> &candidates,
                     YString *result) {
  const int length = cleanedPath.length();
  int best = 0;
  const MakeCandidate *chosen = nullptr;
  for (const MakeCandidate &candidate : candidates) {
    const int n = candidate.second.length();
    if (n <= best || n > length)
      continue;
    const char after = cleanedPath.tocs()[n];
    // A root path ("/") already ends in the separator.
    const bool boundary = after == '\0' || after == '/' || candidate.second.tocs()[n - 1] == '/';
    if (boundary && YString(cleanedPath.tocs(), n).pathEqual(candidate.second)) {
      best = n;
      chosen = &candidate;
    }
  }
  if (!chosen)
    return false;
  YString made("%");
  made &= chosen->first;
  made &= "%";
  if (chosen->second.tocs()[best - 1] == '/' && cleanedPath.tocs()[best] != '\0')
    made &= "/";
  made &= cleanedPath.tocs() + best;
  *result = made;
  return true;
}

namespace {

struct TranslationKey {
  YString path;
  bool systemOnly;
};

struct TranslationKeyTraits {
  static uint32_t hash(const TranslationKey &k) {
    return k.path.pathHashValue() * 2 + k.systemOnly;
  }
  static bool equal(const TranslationKey &a, const TranslationKey &b) {
    return a.systemOnly == b.systemOnly && a.path.pathEqual(b.path);
  }
};

struct Translation {
  YString result;
  bool expanded = false;
};

using NameTable = YHashTable<YString, YString>;

struct PathsState {
  std::unique_ptr<YHashTable<TranslationKey, Translation, TranslationKeyTraits>> cache;
  // System symbols first: a symbol hides a user location of its name.
  std::unique_ptr<NameTable> systemTable;             // the system symbols alone
  std::unique_ptr<NameTable> fullTable;               // symbols, then user locations
  std::vector<std::pair<YString, YString>> locations; // in key order
  ConfigTimeStamp stamp;
  bool haveStamp = false;
  bool windowsPathsKnown = false;
  bool windowsPaths = false;
  LogicalPathExpansion *active = nullptr; // the translation under way
};

PathsState &paths() {
  static PathsState *s = new PathsState;
  return *s;
}

YList<YString> symbolNames(bool portable) {
  YString joined;
  sp_GetSystemPathSymbolValue(nullptr, &joined, portable);
  YList<YString> names;
  YString::tokenize(&joined, ';', &names);
  return names;
}

void loadTables(PathsState &s) {
  s.systemTable = std::make_unique<NameTable>(101, 0.0);
  for (const YString &name : symbolNames(false)) {
    YString value;
    sp_GetSystemPathSymbolValue(name.tocs(), &value, false);
    if (!s.systemTable->contains(name))
      s.systemTable->insert(name, value);
  }
  s.locations.clear();
  YList<YString> keys;
  cfgman_GetConfigKeyNames(YString("Locations"), &keys, false);
  for (const YString &key : keys) {
    YString value;
    if (cfgman_GetConfigSetting("Locations", key.tocs(), &value, false))
      s.locations.emplace_back(key, value);
  }
  s.fullTable = std::make_unique<NameTable>(101, 0.0);
  s.systemTable->forEach([&](const YString &k, const YString &v) { s.fullTable->insert(k, v); });
  for (const auto &location : s.locations)
    if (!s.fullTable->contains(location.first))
      s.fullTable->insert(location.first, location.second);
}

// Follows the configuration: a change of any level drops the translations
// and the user locations.
void refresh(PathsState &s) {
  if (s.haveStamp && s.cache && cfgman_CompareTimeStamp(s.stamp))
    return;
  cfgman_GetTimeStamp(&s.stamp);
  s.haveStamp = true;
  s.cache = std::make_unique<YHashTable<TranslationKey, Translation, TranslationKeyTraits>>(101);
  s.windowsPathsKnown = false;
  loadTables(s);
}

YString readOptionForPath(const YString &name) { return sp_GetStringOption(name.tocs()); }

} // namespace

void dropLogicalPathTranslations() {
  PathsState &s = paths();
  if (s.cache)
    s.cache->clear();
  s.windowsPathsKnown = false;
}

} // namespace kv::support

using namespace kv::support;

bool sp_TranslateLogicalPath(YString path, YString *result, bool systemOnly) {
  return sp_BaseTranslateLogicalPath(path, result, systemOnly, false);
}

bool sp_BaseTranslateLogicalPath(YString path, YString *result, bool systemOnly, bool) {
  PathsState &s = paths();
  YString translated;
  bool expanded = false;
  if (s.active) {
    // Nested in another translation (a path-flagged option read): the names
    // in use there count here, and the result depends on them, so the cache
    // is neither read nor filled.
    NameTable *table = systemOnly ? s.systemTable.get() : s.fullTable.get();
    expanded = translateLogicalPath(
        path, [table](const YString &n) { return table ? table->find(n) : nullptr; },
        readOptionForPath, *s.active, s.windowsPaths, &translated);
    if (result)
      *result = translated;
    return expanded;
  }
  refresh(s);
  const TranslationKey key{path, systemOnly};
  if (const Translation *cached = s.cache->find(key)) {
    if (result)
      *result = cached->result;
    return cached->expanded;
  }
  if (!s.windowsPathsKnown) {
    s.windowsPaths = sp_GetBoolOption("TranslateWindowsPaths", nullptr);
    s.windowsPathsKnown = true;
  }
  LogicalPathExpansion state;
  s.active = &state;
  NameTable *table = systemOnly ? s.systemTable.get() : s.fullTable.get();
  expanded = translateLogicalPath(
      path, [table](const YString &n) { return table->find(n); }, readOptionForPath, state,
      s.windowsPaths, &translated);
  s.active = nullptr;
  s.cache->insert(key, Translation{translated, expanded});
  if (result)
    *result = translated;
  return expanded;
}

bool sp_MakeLogicalPath(YString path, YString *result, const LogicalPathOptions &options) {
  PathsState &s = paths();
  if (!s.active)
    refresh(s);
  std::vector<MakeCandidate> candidates;
  auto addCandidate = [&](const YString &name) {
    for (const MakeCandidate &c : candidates)
      if (sp_stricmp(c.first.tocs(), name.tocs()) == 0)
        return;
    YString translated;
    sp_BaseTranslateLogicalPath(YString("%").concat(name.tocs()).concat("%"), &translated, false,
                                false);
    translated = sp_ConvertLocalToUnix(translated);
    if (isMakeCandidate(name, translated))
      candidates.emplace_back(name, translated);
  };
  if (!options.noUserLocations) {
    const std::vector<std::pair<YString, YString>> locations = s.locations;
    for (const auto &location : locations)
      // A location named like a system symbol would be read back as the
      // symbol: leave the name to the symbol.
      if (!s.systemTable || !s.systemTable->contains(location.first))
        addCandidate(location.first);
  }
  if (!options.noSystemSymbols)
    for (const YString &name : symbolNames(true))
      addCandidate(name);
  const YString cleaned = sp_ConvertLocalToUnix(sp_CleanPath(path));
  YString made;
  if (!cleaned.isEmpty() && makeLogicalPath(cleaned, candidates, &made)) {
    if (result)
      *result = sp_ConvertUnixToLocal(made);
    return true;
  }
  if (result)
    *result = sp_ConvertUnixToLocal(path);
  return false;
}

YString sp_GetSystemValuePath(const YString &name, bool *found) {
  const int count = sp_GetSystemValueCount();
  for (int i = 0; i < count; ++i) {
    YString rowName, value;
    bool isPath = false;
    if (sp_GetSystemValueRow(i, &rowName, &value, &isPath) &&
        sp_stricmp(rowName.tocs(), name.tocs()) == 0) {
      if (found)
        *found = true;
      if (!isPath)
        return value;
      YString translated;
      sp_TranslateLogicalPath(value, &translated, true);
      return translated;
    }
  }
  if (found)
    *found = false;
  return YString();
}

namespace {

void closeLogicalPaths(void *) {
  PathsState &s = paths();
  s.cache.reset();
  s.systemTable.reset();
  s.fullTable.reset();
  s.locations.clear();
  s.haveStamp = false;
  s.windowsPathsKnown = false;
  kv::support::clearSystemPathSymbolCaches();
}

const AutoFunc closeLogicalPathsRegistration("Exit", closeLogicalPaths, "closeLogicalPaths",
                                             kv::detail::ExitRank::CloseLogicalPaths);

} // namespace
