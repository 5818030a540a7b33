// The system values table: named constants and path templates that the
// suite reads by name. A constant array, so it is complete before any
// static constructor can ask for it.
#include "kvsupport/support/SystemValues.h"

#include <iterator>

namespace {

struct Row {
  const char *name;
  const char *value;
  bool isPath;
};

constexpr Row kRows[] = {
    {"STARTUPINI", "startup.ini", false},
    {"SKELETON_FILE", "%EXEPATH%/../support/skeleton.kvprj", true},
    {"DEFINITFILE", "%KVAPPDATAPATH%/definitions.ini", true},
    {"SYSTEM_SYMBOL_LIB_LIST", "%EXEPATH%/../support/symbols/SystemSymbolLibs.txt", true},
    {"USER_SYSTEM_SYMBOLS_DIR", "%KVAPPDATAPATH%/SysSymbols", true},
    {"DEFAULT_SYMBOL_LIB", "%KVAPPDATAPATH%/SysSymbols/Default.sxslb", true},
    {"DEFLIBPATH", "%EXEPATH%/../plugins", true},
    {"DEFSHAREPATH", "%EXEPATH%/../support", true},
    {"PLUGINPATH", "%EXEPATH%/../plugins", true},
    {"USERDIALOGSPATH", "%KVAPPDATAPATH%/dialogs", true},
    {"STARTUPCFG", "%EXEPATH%/startup.ini", true},
    {"SKELETON_PATH", "%EXEPATH%/../support/skeletons", true},
    {"STARTUPDIR", "%KVAPPDATAPATH%/startup", true},
    {"SCRIPTDIR", "%KVAPPDATAPATH%/scripts", true},
    {"TEMPDATADIR", "%TEMPPATH%/KelvantaTempData", true},
    {"APPDATADIR", "%KVAPPDATAPATH%", true},
    {"QUORVINPATH",
     "%EXEPATH%/quorvin.exe;%EXEPATH%/../bin/quorvin.exe;%EXEPATH%/../bin32/quorvin.exe", false},
    {"BISCRIPTDIR", "%EXEPATH%/../support/scripts", true},
    {"HELPPATH", "%KVAPPDATAPATH%/help", true},
    {"IMAGEPATH", "%EXEPATH%/../support/images", true},
    {"PSPICEFILTERCFG", "%EXEPATH%/../support/filters.cfg", true},
    {"DEVICECONFIGFILE", "%KVAPPDATAPATH%/devices.cfg", true},
    {"VAEXEPATH", "%EXEPATH%/vacompiler", true},
    {"SYMBOLLIBSDIR", "%EXEPATH%/../support/symbols", true},
    {"MODELSDIR", "%EXEPATH%/../support/models", true},
    {"USERSYMBOLSDIR", "%KVAPPDATAPATH%/symbols", true},
    {"DEFAULT_EDITOR", "xdg-open", false},
    {"STANDARD_FONT", "9;0;0;0;0;0;Arial", false},
    {"STANDARD_MEDIUM_FONT", "10;0;0;0;0;0;Arial", false},
    {"STANDARD_LARGE_FONT", "12;0;0;0;0;0;Arial", false},
    {"SYSTEM_FONT_DEF", "9;0;0;0;0;0;Sans Serif", false},
    {"FIXED_FONT", "9;0;0;0;0;0;Courier New", false},
    {"SCHEMATIC_FONT", "7;0;0;0;0;0;Arial", false},
    {"PATH_DELIMETER", ";", false},
    {"DEFAULT_HELPFILE", "%EXEPATH%/../support/help/kelvanta.qch", true},
    {"KELVANTA_DLL_ROOT", "kelvanta", false},
    {"SIMULATOR_EXE_ROOT", "kvsim", false},
    {"DEVICEPLUGIN", "DevicePlugin", false},
    {"SCRIPTPLUGIN", "ScriptPlugin", false},
    {"FUNCTIONPLUGIN", "FunctionPlugin", false},
    {"PLUGIN_SECNAME", "PluginDirs", false},
    {"FE_CONFIGLOC", "PATH;%KVAPPDATAPATH%/config/Base.kvprj", false},
    {"SIM_CONFIGLOC", "PATH;%KVAPPDATAPATH%/config/Simulator.kvprj", false},
    {"CFGSYSPATHS", "SysDirs", false},
    {"SYMBOL_SECNAME", "SymbolLibs", false},
    {"MODEL_SECNAME", "Models", false},
    {"USER_DIALOG_CACHE", "%KVAPPDATAPATH%/dialogs/cache", true},
    {"BASE_CONFIG_FILE", "Base.kvprj", false},
    {"NOT_CATALOGUED", "Not catalogued", false},
    {"UNKNOWN_CATEGORY", "Unknown", false},
    {"ALL_USER_DEVICES_CATEGORY", "All user devices", false},
    {"ALL_MODELS_CATEGORY", "All models", false},
    {"RECENTLY_ADDED_MODELS_CATEGORY", "Recently added models", false},
    {"AUTO_CREATED_LIB", "auto_created.lib", false},
    {"RUNID_VECTOR_NAME", "$$RunId", false},
    {"AUTOSAVE_DIR", "%KVAPPDATAPATH%/autosave", true},
    {"SESSION_DIR", "%KVAPPDATAPATH%/session", true},
    {"SESSION_CONFIG_FILE", "%KVAPPDATAPATH%/session/session.kvprj", true},
    {"EXAMPLEINSTALLDIR", "%KVDOCSPATH%/Examples", true},
    {"EXAMPLESOURCEDIR", "%EXEPATH%/../support/examples", true},
    {"DOMAIN_NAME", "kelvanta.example", false},
    {"COMPANY_NAME", "Kelvanta", false},
    {"FULL_COMPANY_NAME", "Kelvanta Systems Ltd", false},
    {"OLD_COMPANY_NAME", "Kelvanta Systems", false},
    {"VKVD_PATH", "%KVAPPDATAPATH%/vkvd", true},
    {"LOAD_FILE_MODEL_PARAMETER", "LOAD_FILE", false},
    {"VERILOG_MODULE_CACHE", "%KVAPPDATAPATH%/modulecache", true},
    {"CATALOG_EXT", ".cat", false},
    {"USER_CATALOG", "$UserCatalogsDir$/user.cat", true},
    {"WORKING_CATALOG", "$WorkingCatalogsDir$/working.cat", true},
    {"WORKING_CATALOG_TPL", "$WorkingCatalogsDir$/%SIMULATOR%_working.cat", true},
    {"SYSTEM_CATALOG", "$SysCatalogsDir$/all.cat", true},
    {"DEVSEL_USER_TPL", "%KVAPPDATAPATH%/devdb/user/%SIMULATOR%_%TYPE%.cat", true},
    {"DEVSEL_WORKING_TPL", "%KVAPPDATAPATH%/devdb/working/%SIMULATOR%_%TYPE%.cat", true},
    {"DEVSEL_SYSTEM_TPL", "%EXEPATH%/../support/devdb/%SIMULATOR%_%TYPE%.cat", true},
    {"OLD_USER_CATALOG", "%KVAPPDATAPATH%/user.cat", true},
    {"OLD_WORKING_CATALOG", "%KVAPPDATAPATH%/working.cat", true},
    {"OLD_SYSTEM_CATALOG", "%EXEPATH%/../support/all.cat", true},
    {"USER_CATALOGS_DIR", "%KVAPPDATAPATH%/catalogs/user", true},
    {"WORKING_CATALOGS_DIR", "%KVAPPDATAPATH%/catalogs/working", true},
    {"SYSTEM_CATALOGS_DIR", "%EXEPATH%/../support/catalogs", true},
    {"INSCHEM_WORKING", "%KVAPPDATAPATH%/inschem/working.cat", true},
    {"CATEGORY_MAP_TPL", "%KVAPPDATAPATH%/catalogs/%SIMULATOR%_categories.map", true},
    {"CATEGORY_MAP_JOURNAL_TPL", "%KVAPPDATAPATH%/catalogs/%SIMULATOR%_categories.jnl", true},
    {"INSCHEM_GENERIC_JOURNAL_TPL", "%KVAPPDATAPATH%/inschem/%SIMULATOR%_generic.jnl", true},
    {"INSCHEM_GENERIC_TPL", "%KVAPPDATAPATH%/inschem/%SIMULATOR%_generic.cat", true},
    {"UNASSIGNED_SYMBOL", "unassigned", false},
    {"PART_SELECTOR_USE_SYMBOL_VALUE", "UseSymbolValue", false},
    {"MODEL_LIB_INDEXES_DIR", "%KVAPPDATAPATH%/indexes", true},
    {"INDEX_FILE_EXT", ".idx", false},
    {"GROUND_VECTOR", "$$zero", false},
    {"MAX_DIG_BUS_SIZE", "48", false},
    {"ANALYSIS_VECTOR", "$$Analysis", false},
    {"DCOPGROUP_VECTOR", "$$DcOpGroup", false},
    {"POPGROUP_VECTOR", "$$PopGroup", false},
    {"QUORVIN_ANALYSIS_VECTOR", "$$QuorvinAnalysis", false},
    {"TIME_VECTOR", "time", false},
    {"FREQUENCY_VECTOR", "frequency", false},
    {"MAX_DIG_BUS_SIZE", "48", false},
    {"SCHEMATIC_ASCII_FORMAT_REVISION_BINARY_CONVERTER", "1", false},
    {"QUORVIN_SUPPORT_UTF8", "1", false},
    {"HTMLPATH", "%EXEPATH%/../support/html", true},
    {"FRONTPAGE_DIR", "%EXEPATH%/../support/frontpage", true},
    {"PRIMARY_WINDOW_SECNAME", "PrimaryWindow", false},
    {"INTERNET_HELP_HOME", "https://help.kelvanta.example/8.0/", false},
    {"RELEASE_CANDIDATE", "0", false},
    {"BUILD", "13", false},
    {"MIN_MINBREAK", "1e-14", false},
    {"DELMIN_FACTOR", "1e-09", false},
    {"MINBREAK_FACTOR", "1e-07", false},
    {"MAX_STEP_FACTOR", "0.02", false},
    {"MAJOR_VERSION", "8", false},
    {"MINOR_VERSION", "0", false},
    {"MAINTENANCE_VERSION", "7", false},
    {"STARTUP_CONFIG_FILE", "%STARTUP_APPDATAPATH%/config/startup.kvprj", true},
};

constexpr int kRowCount = static_cast<int>(std::size(kRows));

} // namespace

YString sp_GetSystemValue(const YString &name, bool *found) {
  for (int i = kRowCount - 1; i >= 0; --i)
    if (sp_stricmp(kRows[i].name, name.tocs()) == 0) {
      if (found)
        *found = true;
      return YString(kRows[i].value);
    }
  if (found)
    *found = false;
  return YString();
}

int sp_GetSystemValueCount() { return kRowCount; }

bool sp_GetSystemValueRow(int index, YString *name, YString *value, bool *isPath) {
  if (index < 0 || index >= kRowCount)
    return false;
  if (name)
    *name = YString(kRows[index].name);
  if (value)
    *value = YString(kRows[index].value);
  if (isPath)
    *isPath = kRows[index].isPath;
  return true;
}
