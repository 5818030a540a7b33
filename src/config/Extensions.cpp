#include "kvsupport/config/Extensions.h"

#include "kvsupport/containers/YArray.h"
#include "kvsupport/files/PathName.h"
#include "kvsupport/netlist/Tokenizer.h"
#include "kvsupport/streams/MessageReporting.h"
#include "kvsupport/strings/PrintfArg.h"
#include "kvsupport/support/Options.h"

#include <vector>

namespace {

struct FileType {
  const char *type;
  const char *option; // null: no option, no extensions
  const char *defaults;
};

const FileType kFileTypes[] = {
    {"Schematic", "SchematicExtension", "kvsch;kvcmp;wxsch"},
    {"Data", "DataExtension", "kvdat;dat"},
    {"Text", "TextExtension", "txt;log"},
    {"Symbol", "SymbolExtension", "kvslb;slb"},
    {"LogicDef", "LogicDefExtension", "ldf"},
    {"Script", "ScriptExtension", "kvscr"},
    {"Model", "ModelExtension", "lb;lib;mod;cir;spi;fam;mdl;sp;sp2;model;pkg;prm;sub;sio;ckt"},
    {"Catalog", "CatalogExtension", "cat"},
    {"Graph", "GraphExtension", "kvgph"},
    {"Component", "ComponentExtension", "kvcmp"},
    {"Snapshot", "SnapshotExtension", "kvsnp"},
    {"Project", "ProjectExtension", "kvprj"},
    {"Netlist", "NetlistExtension", "net;cir;deck;out;init"},
    {"VerilogA", "VerilogAExtension", "va;vams"},
    {"VerilogHDL", "VerilogHDLExtension", "v"},
    {"AsciiFileEditor", "AsciiFileEditorExtension", "kvsch;kvslb;kvcmp"},
    {"Init", "QUORVINInitExtension", "init"},
    {"Any", nullptr, ""},
};

struct DefineExtensionOptions {
  DefineExtensionOptions() {
    for (const FileType &row : kFileTypes)
      if (row.option)
        MakeOption("Config\\Extensions", 0, row.option, row.defaults, false);
  }
};
const DefineExtensionOptions defineExtensionOptions;

const FileType *findType(const YString &name) {
  for (const FileType &row : kFileTypes)
    if (sp_stricmp(row.type, name.tocs()) == 0)
      return &row;
  return nullptr;
}

// The extensions of the types in order; whether any type was recognised.
bool collect(const char *types, std::vector<YString> *out) {
  if (!types)
    return false;
  bool any = false;
  const YString all(types);
  YList<YString> parts;
  YString::tokenize(&all, YString("&"), &parts);
  for (YString part : parts) {
    part.stripLeading(" \t");
    part.stripTrailing(" \t");
    const FileType *row = findType(part);
    if (!row)
      continue;
    any = true;
    if (!row->option)
      continue;
    bool found = false;
    YString list = sp_GetStringOption(row->option, &found);
    if (!found)
      list = row->defaults;
    YArray<YString> words;
    sp_ScanLine(list.tocs(), ";.*", &words, -1);
    for (int64_t i = 0; i < words.size(); ++i)
      if (!words[i].isEmpty())
        out->push_back(words[i]);
  }
  return any;
}

} // namespace

bool sp_GetKelvantaFileExtension(const char *types, YList<YString> *extensions) {
  std::vector<YString> found;
  const bool any = collect(types, &found);
  if (extensions)
    for (auto it = found.rbegin(); it != found.rend(); ++it)
      extensions->prepend(*it);
  return any && extensions;
}

YString sp_GetKelvantaDefaultExtension(const char *types) {
  std::vector<YString> found;
  if (!collect(types, &found)) {
    internal_error("Error found in module %s, line %d", "Config\\Extensions", 195);
    return YString();
  }
  return found.empty() ? YString() : found.front();
}

YString sp_GetKelvantaDefaultParamExtension(const char *parameter) {
  if (!parameter || sp_stricmp(parameter, "d_logic_block#file") != 0)
    return YString();
  return sp_GetKelvantaDefaultExtension("LogicDef");
}

YString sp_ForceKelvantaExtension(const char *types, const YString &path) {
  std::vector<YString> extensions;
  collect(types, &extensions);
  const int length = path.length();
  if (extensions.empty() || length == 0 || path.tocs()[length - 1] == '/')
    return path;
  PathName parts;
  sp_SplitPath(path, &parts);
  YString extension = parts.extension;
  if (parts.baseName.isEmpty() && extension.isEmpty() && parts.directory.isEmpty()) {
    // Parts too long to split: the extension is what follows the last '.'
    // of the last component.
    for (int i = length - 1; i >= 0 && path.tocs()[i] != '/' && path.tocs()[i] != '\\'; --i)
      if (path.tocs()[i] == '.') {
        extension = YString(path.tocs() + i);
        break;
      }
  }
  const YString stem(path.tocs(), length - extension.length());
  // Any of the types' extensions is kept: a model library "m.lib" stays.
  if (extension.length() > 1)
    for (const YString &known : extensions)
      if (sp_stricmp(extension.tocs() + 1, known.tocs()) == 0)
        return path;
  YString forced(stem);
  forced &= ".";
  forced &= extensions.front();
  return forced;
}
