#include "kvsupport/support/Options.h"

#include "hooks/ExitRank_p.h"
#include "os/VirtualMemory_p.h"
#include "support/LogicalPaths_p.h"
#include "support/Options_p.h"

#include "kvsupport/config/ConfigManager.h"
#include "kvsupport/hooks/AutoFunc.h"
#include "kvsupport/netlist/EngineeringNumbers.h"
#include "kvsupport/streams/kvfstream.h"
#include "kvsupport/support/LogicalPaths.h"

#include <QColor>
#include <QString>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr char kSection[] = "Options";
constexpr uint32_t kBuckets = 101;

// The chain's links and the name's hash lead, so that a walk past a node
// reads one cache line of it.
struct OptionNode {
  OptionNode *next;
  uint32_t hash;   // of the name: most nodes of a chain fail on it or
  uint32_t length; // the name's length alone
  OptionDefinition definition;
};

// The option table: 101 fixed chains, newest first. Made on first use so
// that static MakeOption objects of any module work while the library loads.
//
// Readers ask for the same name text time and again, mostly a literal at
// each call site; a memo by the text's address skips hashing for them. A
// memo entry answers only a text that spells its node's name exactly, and
// every definition added empties the memo (it may hide a remembered node).
struct OptionTable {
  static constexpr size_t kMemoSlots = 256;
  OptionNode *buckets[kBuckets] = {};
  const OptionNode *memo[kMemoSlots] = {};
  const OptionNode *&memoFor(const char *name) {
    return memo[(reinterpret_cast<uintptr_t>(name) * 0x9E3779B97F4A7C15ull) >> 56];
  }
  ~OptionTable() {
    for (OptionNode *&head : buckets)
      while (OptionNode *node = head) {
        head = node->next;
        delete node;
      }
  }
};

struct OptionsState {
  OptionTable *table = nullptr;
  std::vector<YString> colourOptions;
  std::vector<std::pair<YString, YString>> programPaths; // newest first
};

OptionsState &state() {
  static OptionsState *s = new OptionsState; // outlives every static user
  return *s;
}

inline char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

inline uint32_t upperCode(char c) { return static_cast<uint32_t>(static_cast<int>(upper(c))); }

// YString::hashValue of the `n` characters at `name`. Eight at a time:
// h * M^8 + c0 * M^7 + ... + c7 is the same sum with one multiply in the
// chain instead of eight; then four at a time once.
uint32_t hashName(const char *name, size_t n) {
  constexpr uint32_t M1 = 0x1003Fu, M2 = M1 * M1, M3 = M2 * M1, M4 = M3 * M1, M5 = M4 * M1,
                     M6 = M5 * M1, M7 = M6 * M1, M8 = M7 * M1;
  const char *c = name;
  uint32_t h = 0;
  size_t i = 0;
  for (; i + 8 <= n; i += 8, c += 8)
    h = h * M8 + (upperCode(c[0]) * M7 + upperCode(c[1]) * M6) +
        (upperCode(c[2]) * M5 + upperCode(c[3]) * M4) +
        (upperCode(c[4]) * M3 + upperCode(c[5]) * M2) + (upperCode(c[6]) * M1 + upperCode(c[7]));
  if (i + 4 <= n) {
    h = h * M4 + (upperCode(c[0]) * M3 + upperCode(c[1]) * M2) +
        (upperCode(c[2]) * M1 + upperCode(c[3]));
    i += 4, c += 4;
  }
  for (; i < n; ++i, ++c)
    h = h * M1 + upperCode(*c);
  return h & 0x7FFFFFFFu;
}

const OptionDefinition *findDefinition(const char *name) {
  OptionTable *table = state().table;
  if (!table || !name)
    return nullptr;
  const size_t length = std::strlen(name);
  const OptionNode *&memo = table->memoFor(name);
  if (memo && memo->length == length &&
      std::memcmp(memo->definition.name.tocs(), name, length) == 0)
    return &memo->definition;
  const uint32_t hash = hashName(name, length);
  for (OptionNode *node = table->buckets[hash % kBuckets]; node; node = node->next) {
    if (node->hash != hash || node->length != length)
      continue;
    // Names are mostly spelled as defined; the exact compare is the quick one.
    const char *defined = node->definition.name.tocs();
    if (std::memcmp(defined, name, length) == 0) {
      memo = node;
      return &node->definition;
    }
    if (sp_stricmp(defined, name) == 0)
      return &node->definition;
  }
  return nullptr;
}

void addDefinition(OptionDefinition definition) {
  OptionsState &s = state();
  if (!s.table)
    s.table = new OptionTable;
  const uint32_t hash = definition.name.hashValue();
  const auto length = static_cast<uint32_t>(definition.name.length());
  OptionNode *&head = s.table->buckets[hash % kBuckets];
  head = new OptionNode{head, hash, length, std::move(definition)};
  std::fill(std::begin(s.table->memo), std::end(s.table->memo), nullptr);
  kv::support::dropLogicalPathTranslations();
}

OptionDefinition baseDefinition(const char *module, int line, const YString &name, OptionType type,
                                bool migrateable) {
  OptionDefinition d;
  d.type = type;
  d.name = name;
  d.module = module;
  d.line = line;
  d.migrateable = migrateable;
  return d;
}

// Whether a stored text exists; `*text` receives it.
bool readStored(const char *name, YString *text) {
  return name && cfgman_FindConfigSetting(kSection, name, text) >= 0;
}

// Reals in the text a write stores: integral values below 2^53 whole (so
// that 1234567 reads back as itself), others with six significant digits.
YString formatWrittenReal(double value) {
  char buffer[64];
  if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 9007199254740992.0)
    std::snprintf(buffer, sizeof buffer, "%.0f", value == 0 ? 0.0 : value);
  else
    std::snprintf(buffer, sizeof buffer, "%g", value);
  return YString(buffer);
}

YString boolText(bool value) { return YString(value ? "TRUE" : "FALSE"); }

// The default as a write compares against it.
YString writtenDefaultText(const OptionDefinition &d) {
  switch (d.type) {
  case OptionString:
    return d.defaultText;
  case OptionReal:
    return formatWrittenReal(d.defaultReal);
  case OptionBool:
    return boolText(d.defaultBool);
  case OptionUnknown:
    break;
  }
  return YString();
}

bool isFalseText(const YString &text) { return sp_stricmp(text.tocs(), "FALSE") == 0; }

int saturateToInt(double value) {
  if (std::isnan(value))
    return 0;
  if (value >= static_cast<double>(INT_MAX))
    return INT_MAX;
  if (value <= static_cast<double>(INT_MIN))
    return INT_MIN;
  return static_cast<int>(value);
}

void notifyChange(const YString &name) {
  kv::support::dropLogicalPathTranslations();
  executeAutoFunction("OptionChange", const_cast<YString *>(&name));
}

YString expandedPath(const YString &text) {
  YString result;
  sp_TranslateLogicalPath(text, &result, false);
  return result;
}

} // namespace

MakeOption::MakeOption(const char *module, int line, const YString &name, const char *defaultText,
                       bool migrateable) {
  OptionDefinition d = baseDefinition(module, line, name, OptionString, migrateable);
  d.defaultText = defaultText;
  addDefinition(std::move(d));
}

MakeOption::MakeOption(const char *module, int line, const YString &name,
                       const YString &defaultText, bool migrateable, bool isPath, bool fixed) {
  OptionDefinition d = baseDefinition(module, line, name, OptionString, migrateable);
  d.defaultText = defaultText;
  d.isPath = isPath;
  d.fixed = fixed;
  addDefinition(std::move(d));
}

MakeOption::MakeOption(const char *module, int line, const YString &name, int defaultValue,
                       bool migrateable)
    : MakeOption(module, line, name, static_cast<double>(defaultValue), migrateable) {}

MakeOption::MakeOption(const char *module, int line, const YString &name, double defaultValue,
                       bool migrateable) {
  OptionDefinition d = baseDefinition(module, line, name, OptionReal, migrateable);
  d.defaultReal = defaultValue;
  addDefinition(std::move(d));
}

MakeOption::MakeOption(const char *module, int line, const YString &name, bool defaultValue,
                       bool migrateable) {
  OptionDefinition d = baseDefinition(module, line, name, OptionBool, migrateable);
  d.defaultBool = defaultValue;
  addDefinition(std::move(d));
}

void sp_MakeColourOption(const char *module, int line, const YString &name,
                         const char *defaultText) {
  MakeOption(module, line, name, defaultText, true);
  if (!sp_IsColourOption(name))
    state().colourOptions.push_back(name);
}

void sp_ChangeOptionDefaultValue(const YString &name, const YString &defaultText) {
  auto *d = const_cast<OptionDefinition *>(findDefinition(name.tocs()));
  if (!d || d->type != OptionString)
    return;
  d->defaultText = defaultText;
  kv::support::dropLogicalPathTranslations();
}

YString sp_GetOptionDefaultText(const OptionDefinition &d) {
  if (d.type == OptionReal) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.12g", d.defaultReal);
    return YString(buffer);
  }
  return writtenDefaultText(d);
}

YString sp_GetStringOption(const char *name) { return sp_GetStringOption(name, nullptr); }

YString sp_GetStringOption(const char *name, bool *found) {
  YString text;
  const bool stored = readStored(name, &text);
  const OptionDefinition *d = findDefinition(name);
  if (found)
    *found = stored || d;
  if (d && d->fixed)
    text = sp_GetOptionDefaultText(*d);
  else if (!stored)
    text = d ? sp_GetOptionDefaultText(*d) : YString();
  if (d && d->isPath)
    text = expandedPath(text);
  return text;
}

double sp_GetDoubleOption(const char *name) { return sp_GetDoubleOption(name, nullptr); }

double sp_GetDoubleOption(const char *name, bool *found) {
  YString text;
  double value = 0;
  bool ok = false;
  if (readStored(name, &text)) {
    char *cursor = const_cast<char *>(text.tocs());
    bool failed = true;
    value = sp_GetEngToken(&cursor, &failed);
    ok = !failed;
    if (failed)
      value = 0;
  } else if (const OptionDefinition *d = findDefinition(name)) {
    value = d->type == OptionReal ? d->defaultReal : 0;
    ok = true;
  }
  if (found)
    *found = ok;
  return std::isnan(value) ? 0 : value;
}

int sp_GetIntOption(const char *name) { return sp_GetIntOption(name, nullptr); }

int sp_GetIntOption(const char *name, bool *found) {
  return saturateToInt(sp_GetDoubleOption(name, found));
}

bool sp_GetBoolOption(const char *name, bool *found) {
  YString text;
  bool value = false;
  bool ok = false;
  if (readStored(name, &text)) {
    value = !isFalseText(text);
    ok = true;
  } else if (const OptionDefinition *d = findDefinition(name)) {
    value = d->type == OptionBool && d->defaultBool;
    ok = true;
  }
  if (found)
    *found = ok;
  return value;
}

int sp_GetOptionLevel(const char *name) {
  YString text;
  return name ? cfgman_FindConfigSetting(kSection, name, &text) : -1;
}

int sp_ConvertHTMLcolourToRGB(const YString &html) {
  if (html.tocs()[0] != '#')
    return 0;
  QColor colour;
  colour.setNamedColor(QString::fromUtf8(html.tocs()));
  if (!colour.isValid())
    return 0;
  return colour.red() | colour.green() << 8 | colour.blue() << 16;
}

YString sp_ConvertRGBcolourToHTML(int rgb) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", rgb & 0xFF, (rgb >> 8) & 0xFF,
                (rgb >> 16) & 0xFF);
  return YString(buffer);
}

namespace {

int colourOf(const char *spec, int defaultColour, int budget) {
  if (!spec)
    return defaultColour;
  if (spec[0] == '#')
    return sp_ConvertHTMLcolourToRGB(YString(spec));
  if (spec[0] >= '0' && spec[0] <= '9') {
    long long value = 0;
    for (const char *c = spec; *c >= '0' && *c <= '9'; ++c)
      value = std::min<long long>(value * 10 + (*c - '0'), INT_MAX);
    return static_cast<int>(value);
  }
  if (budget-- < 0)
    return defaultColour;
  bool found = false;
  const YString value = sp_GetStringOption(spec, &found);
  return found ? colourOf(value.tocs(), defaultColour, budget) : defaultColour;
}

} // namespace

int sp_GetColourOption(const char *spec, int defaultColour) {
  return colourOf(spec, defaultColour, 3);
}

void sp_GetColourOptions(YArray<YString> *names) {
  if (!names)
    return;
  for (const YString &name : state().colourOptions)
    names->add(name);
  std::vector<YString> all;
  for (int64_t i = 0; i < names->size(); ++i)
    all.push_back((*names)[i]);
  std::stable_sort(all.begin(), all.end(), [](const YString &a, const YString &b) {
    return sp_stricmp(a.tocs(), b.tocs()) < 0;
  });
  names->clear();
  for (const YString &name : all)
    names->add(name);
}

bool sp_IsColourOption(const YString &name) {
  for (const YString &colour : state().colourOptions)
    if (sp_stricmp(colour.tocs(), name.tocs()) == 0)
      return true;
  return false;
}

bool sp_IsOptionMigrateable(const YString &name) {
  const OptionDefinition *d = findDefinition(name.tocs());
  return d && d->migrateable;
}

bool sp_OptionExists(const YString &name) {
  YString text;
  return findDefinition(name.tocs()) || readStored(name.tocs(), &text);
}

void sp_ReadOptionsInfo(const char *name, OptionValue *current, OptionValue *defaultValue) {
  OptionValue cur, def(false);
  const OptionDefinition *d = findDefinition(name);
  if (d) {
    switch (d->type) {
    case OptionString:
      def = OptionValue(d->isPath ? expandedPath(d->defaultText) : d->defaultText);
      break;
    case OptionReal:
      def = OptionValue(d->defaultReal);
      break;
    case OptionBool:
      def = OptionValue(d->defaultBool);
      break;
    case OptionUnknown:
      def = OptionValue();
      break;
    }
  }
  YString text;
  if (!readStored(name, &text)) {
    cur = def;
  } else if (d) {
    switch (d->type) {
    case OptionString:
      cur = OptionValue(d->isPath ? expandedPath(text) : text);
      break;
    case OptionReal: {
      const double value = sp_ConvertEngToReal(text.tocs(), nullptr);
      cur = OptionValue(std::isnan(value) ? 0.0 : value);
      break;
    }
    case OptionBool:
      cur = OptionValue(!isFalseText(text));
      break;
    case OptionUnknown:
      cur = OptionValue();
      break;
    }
  } else if (text.isEmpty()) {
    cur = OptionValue(true);
    def = OptionValue(false);
  } else {
    char *end = nullptr;
    const double value = sp_ConvertEngToReal(text.tocs(), &end);
    if (end && end != text.tocs()) {
      cur = OptionValue(std::isnan(value) ? 0.0 : value);
      def = OptionValue(0.0);
    } else {
      cur = OptionValue(text);
      def = OptionValue(YString());
    }
  }
  if (current)
    *current = cur;
  if (defaultValue)
    *defaultValue = def;
}

YString sp_GetProgramPath(const YString &name) {
  for (const auto &entry : state().programPaths)
    if (sp_stricmp(entry.first.tocs(), name.tocs()) == 0)
      return entry.second;
  return YString();
}

void sp_WriteOption(const YString &name, const OptionValue &value) {
  if (value.getType() == OptionUnknown)
    return;
  YString newText;
  switch (value.getType()) {
  case OptionString:
    newText = value.getText();
    break;
  case OptionReal:
    newText = formatWrittenReal(value.getReal());
    break;
  default:
    newText = boolText(value.getBool());
    break;
  }
  const OptionDefinition *d = findDefinition(name.tocs());
  if (!d) {
    cfgman_WriteConfigSetting(kSection, name.tocs(), newText.tocs(), nullptr, -1);
    notifyChange(name);
    return;
  }
  if (d->type == OptionUnknown)
    return;
  const YString defaultText = writtenDefaultText(*d);
  const bool isPath = d->isPath && value.getType() == OptionString;
  if (isPath)
    sp_MakeLogicalPath(value.getText(), &newText, LogicalPathOptions());
  YString current;
  if (!readStored(name.tocs(), &current))
    current = defaultText;
  if (isPath ? current.pathEqual(newText) : sp_stricmp(current.tocs(), newText.tocs()) == 0)
    return;
  if (isPath) {
    // Paths differ by case here: the level-0 removal compares as paths too.
    const bool isDefault = cfgman_GetConfigLevel() == 0 && newText.pathEqual(defaultText);
    cfgman_WriteConfigSetting(kSection, name.tocs(), isDefault ? nullptr : newText.tocs(), nullptr,
                              -1);
  } else {
    cfgman_WriteConfigSetting(kSection, name.tocs(), newText.tocs(), defaultText.tocs(), -1);
  }
  notifyChange(name);
}

void sp_WriteOption(const YString &name, const YString &text) {
  sp_WriteOption(name, OptionValue(text));
}

void sp_WriteOption(const YString &name, bool value) {
  if (const OptionDefinition *d = findDefinition(name.tocs()))
    cfgman_WriteConfigSetting(kSection, name.tocs(), boolText(value).tocs(),
                              boolText(d->defaultBool).tocs(), -1);
  else
    cfgman_WriteConfigSetting(kSection, name.tocs(), value ? "" : nullptr, nullptr, -1);
  notifyChange(name);
}

int sp_DeleteOption(const YString &name) {
  const bool done = cfgman_WriteConfigSetting(kSection, name.tocs(), nullptr, nullptr, -1);
  notifyChange(name);
  return done ? 1 : 0;
}

bool kv::support::addOptionDefinitionIfUndefined(const OptionDefinition &definition) {
  if (findDefinition(definition.name.tocs()))
    return false;
  addDefinition(definition);
  return true;
}

void sp_ForEachOptionDefinition(void (*visit)(const OptionDefinition &, void *), void *data) {
  OptionTable *table = state().table;
  if (!table || !visit)
    return;
  for (OptionNode *head : table->buckets)
    for (OptionNode *node = head; node; node = node->next)
      visit(node->definition, data);
}

void sp_PrintAllOptions(kvfstream &out) {
  static const char *const kTypeWords[] = {"string", "real", "bool", "unknown"};
  sp_ForEachOptionDefinition(
      [](const OptionDefinition &d, void *data) {
        YString line;
        line.sprintf("%s,%s,%s,%s,%d\n", d.name.tocs(), kTypeWords[d.type & 3],
                     sp_GetOptionDefaultText(d).tocs(), d.module.tocs(), d.line);
        static_cast<kvfstream *>(data)->write(line.tocs(), static_cast<size_t>(line.length()));
      },
      &out);
}

namespace {

void initialisePaths(void *) {
  OptionsState &s = state();
  sp_ForEachOptionDefinition(
      [](const OptionDefinition &d, void *data) {
        if (!d.isPath)
          return;
        YString text;
        if (!readStored(d.name.tocs(), &text))
          text = d.defaultText;
        auto *paths = static_cast<std::vector<std::pair<YString, YString>> *>(data);
        paths->insert(paths->begin(), {d.name, expandedPath(text)});
      },
      &s.programPaths);
}

void closeOptions(void *) {
  OptionsState &s = state();
  s.programPaths.clear();
  s.colourOptions.clear();
  delete s.table;
  s.table = nullptr;
  kv::support::dropLogicalPathTranslations();
}

unsigned long long vectorBufferDefault() {
  const unsigned long long tenth = kv::os::physicalMemoryBytes() / 10;
  return tenth < 16777216ULL ? 16777216ULL : tenth;
}

const AutoFunc initialisePathsRegistration("InitCli", initialisePaths, "initialisePaths");
const AutoFunc closeOptionsRegistration("Exit", closeOptions, "closeOptions",
                                        kv::detail::ExitRank::CloseOptions);

const MakeOption mruSize("Support\\Options", 118, "MRUSize", 6, true);
const MakeOption biasAnnoPrecision("Support\\Options", 119, "BiasAnnoPrecision", 6, true);
const MakeOption legacyVersion("Support\\Options", 122, "LegacyVersion", 99999, false);
const MakeOption maxVectorBufferSize("Support\\Support", 77, "MaxVectorBufferSize", 32760, true);
const MakeOption totalVectorBufferSize("Support\\Support", 78, "TotalVectorBufferSize",
                                       static_cast<double>(vectorBufferDefault()), true);
const MakeOption useLocalHelp("Os\\Win32\\runHelp", 59, "UseLocalHelp", false, true);
const MakeOption translateWindowsPaths("Support\\LogicalPaths", 88, "TranslateWindowsPaths", false,
                                       false);
const MakeOption omitAsciiRevision("Support\\StandardLine", 38, "OmitAsciiRevision", false, false);

} // namespace
