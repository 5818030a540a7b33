#pragma once

#include "kvsupport/containers/YArray.h"
#include "kvsupport/strings/YString.h"

#include <cstdint>

class kvfstream;

// Options: the suite's named user settings. A definition, registered by the
// module that uses the option (usually by a static MakeOption), gives its
// type and default; a value the user changed is stored as text under the
// option's name in the configuration section "Options" and read back
// through the configuration levels. Names compare without regard to ASCII
// case. Not thread-safe: one thread at a time.

/// The type of an option or of an OptionValue.
enum OptionType : int {
  OptionString = 0, ///< text
  OptionReal = 1,   ///< a number; integer options are real options
  OptionBool = 2,   ///< true or false
  OptionUnknown = 3 ///< no value
};

/// One registered option. Fields that do not belong to its type are zero or empty.
struct OptionDefinition {
  OptionType type = OptionUnknown;
  YString name;
  YString defaultText; ///< the default of a string option
  YString module;      ///< the module that made the definition, for listings
  int32_t line = 0;    ///< and its line
  double defaultReal = 0;
  bool defaultBool = false;
  bool isPath = false; ///< stored as a logical path, read back expanded
  bool migrateable = false;
  bool fixed = false; ///< reads as text always give the default
};

/// A tagged value passed into and out of the options store.
class OptionValue {
public:
  OptionValue() = default;
  explicit OptionValue(const YString &text) : type_(OptionString), text_(text) {}
  explicit OptionValue(double real) : type_(OptionReal), number_(real) {}
  explicit OptionValue(bool value) : type_(OptionBool), number_(value ? 1 : 0) {}

  OptionType getType() const { return type_; }
  const YString &getText() const { return text_; }
  double getReal() const { return type_ == OptionReal ? number_ : 0; }
  bool getBool() const { return type_ == OptionBool && number_ != 0; }

  void setText(const YString &text) { *this = OptionValue(text); }
  void setReal(double real) { *this = OptionValue(real); }
  void setBool(bool value) { *this = OptionValue(value); }

private:
  OptionType type_ = OptionUnknown;
  YString text_;
  double number_ = 0; ///< the real, or the bool as 1 or 0
};

/// Defines an option on construction; the object itself holds nothing, so
/// a module defines its options with static objects. The option table is
/// made by the first definition, whatever the order in which modules load.
/// A second definition of a name hides the first for every look-up.
class MakeOption {
public:
  /// A string option.
  MakeOption(const char *module, int line, const YString &name, const char *defaultText,
             bool migrateable);
  /// A string option with the path and fixed flags.
  MakeOption(const char *module, int line, const YString &name, const YString &defaultText,
             bool migrateable, bool isPath, bool fixed);
  /// A real option with an integral default.
  MakeOption(const char *module, int line, const YString &name, int defaultValue, bool migrateable);
  /// A real option.
  MakeOption(const char *module, int line, const YString &name, double defaultValue,
             bool migrateable);
  /// A bool option.
  MakeOption(const char *module, int line, const YString &name, bool defaultValue,
             bool migrateable);
};

/// Defines a migrateable string option and adds it to the colour options.
void sp_MakeColourOption(const char *module, int line, const YString &name,
                         const char *defaultText);
/// Replaces the default text of a defined string option; nothing otherwise.
void sp_ChangeOptionDefaultValue(const YString &name, const YString &defaultText);

/// The option as text: the stored text (expanded when path-flagged), else
/// the default as text (reals "%.12g", bools "TRUE"/"FALSE"); a fixed
/// option always gives its default. Empty with `*found` false when the
/// option is neither stored nor defined. `found` may be null; so may `name`
/// (not found).
YString sp_GetStringOption(const char *name);
YString sp_GetStringOption(const char *name, bool *found);
/// The stored text read as an engineering number (unit letters skipped),
/// `*found` false when it is no number (result 0); else the default real.
/// NaN reads as 0.
double sp_GetDoubleOption(const char *name);
double sp_GetDoubleOption(const char *name, bool *found);
/// The real value truncated toward zero, saturated to the int range.
int sp_GetIntOption(const char *name);
int sp_GetIntOption(const char *name, bool *found);
/// A stored text is true unless it is "FALSE" (any case); else the
/// default. `found` may be null.
bool sp_GetBoolOption(const char *name, bool *found);
/// The level that stores the option's text, from the current level down;
/// -1 when none does (or for a null name).
int sp_GetOptionLevel(const char *name);

/// A colour as an RGB integer (red in bits 0-7): "#..." through
/// sp_ConvertHTMLcolourToRGB, a leading decimal number (saturated), or the
/// name of an option holding either, at most four names deep; otherwise
/// `defaultColour`.
int sp_GetColourOption(const char *spec, int defaultColour);
/// Appends every colour option's name and sorts the whole array (case ignored).
void sp_GetColourOptions(YArray<YString> *names);
bool sp_IsColourOption(const YString &name);
bool sp_IsOptionMigrateable(const YString &name);
/// Whether a text is stored at some level or a definition exists.
bool sp_OptionExists(const YString &name);
/// The option's current value and its default, typed by the definition (or,
/// for an undefined stored option, by the look of its text). Null
/// out-pointers are skipped.
void sp_ReadOptionsInfo(const char *name, OptionValue *current, OptionValue *defaultValue);
/// The expanded path of a path-flagged option as recorded when the host ran
/// "InitCli"; empty when not there.
YString sp_GetProgramPath(const YString &name);

/// 0 for an empty text or one not starting with '#'; otherwise the named
/// colour ("#RGB", "#RRGGBB", "#AARRGGBB" with alpha dropped, ...) packed
/// red first; 0 for a text that is no colour.
int sp_ConvertHTMLcolourToRGB(const YString &html);
/// "#rrggbb" in lower case.
YString sp_ConvertRGBcolourToHTML(int rgb);

/// Writes the option at the current level when its text differs from the
/// current one (case ignored; as paths for path-flagged options), then runs
/// "OptionChange" with a `const YString*` to the name. Reals are written
/// "%.0f" when integral and below 2^53 in magnitude, "%g" otherwise. At
/// level 0 a value equal to the default removes the key. A value or a
/// definition of type unknown writes nothing.
void sp_WriteOption(const YString &name, const OptionValue &value);
void sp_WriteOption(const YString &name, const YString &text);
/// Writes "TRUE" or "FALSE" without comparing with the stored text (an
/// undefined option: true stores the empty text, false deletes the key) and
/// runs "OptionChange" once.
void sp_WriteOption(const YString &name, bool value);
/// Deletes the stored value at the current level and runs "OptionChange";
/// the configuration write's result.
int sp_DeleteOption(const YString &name);

/// One line per definition, in table order: name, type word, default as
/// text, module, line, joined by ',' and ended by "\n".
void sp_PrintAllOptions(kvfstream &out);

/// Calls `visit(definition)` for every definition in table order (hidden
/// duplicates included). For listings.
void sp_ForEachOptionDefinition(void (*visit)(const OptionDefinition &, void *), void *data);

/// The default of a definition as text, as reads give it ("%.12g" for reals).
YString sp_GetOptionDefaultText(const OptionDefinition &definition);
