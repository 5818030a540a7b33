#pragma once

#include "kvsupport/strings/YString.h"

#include <cstdio>

/// The revisions of the ascii schematic format the restore code tells apart:
/// format 1.0 revisions 0 to 8 (0 and 1 read alike), a newer revision of
/// format 1.0, a format not known, and a file that is not an ascii file.
enum SchematicFileVersion {
  SFV_1_0_REV_1 = 0, ///< format 1.0, revision 0 or 1
  SFV_1_0_REV_2 = 1,
  SFV_1_0_REV_3 = 2,
  SFV_1_0_REV_4 = 3,
  SFV_1_0_REV_5 = 4,
  SFV_1_0_REV_6 = 5,
  SFV_1_0_REV_7 = 6,
  SFV_1_0_REV_8 = 7,      ///< the latest
  SFV_1_0_NEWER = 8,      ///< format 1.0, a revision newer than any known
  SFV_UNKNOWN_FORMAT = 9, ///< a format not known
  SFV_NOT_ASCII = 10,     ///< not an ascii schematic file
};

/// The format text written into new ascii files ("1.0").
extern const char *const SCHEMATIC_ASCII_FORMAT;
/// The revision written into new ascii files (8).
extern const int SCHEMATIC_ASCII_FORMAT_REVISION;
/// The version of files written now (SFV_1_0_REV_8).
extern const SchematicFileVersion GLOBAL_LATEST_FILE_VERSION;

/// What schem_GetSchematicFileVersion found.
struct SchematicFormatInfo {
  YString fileKind; ///< "ASCII", "Binary", "Unknown" or "Failed"
  YString format;   ///< the format or version text
  YString revision; ///< the ascii revision text; empty for binary files
};

/// What schem_TestSchematicFormat found.
struct TestSchematicFormat {
  bool fileFound = false;
  bool isSchematic = false;
  bool canRestore = false;
  YString versionNote; ///< for old binary files, the release that can still read them
};

/// Bit flags of the simulators a design targets.
enum SimulatorType {
  SIMULATOR_KELVANTA = 1, ///< the native simulator, "Kelvanta"
  SIMULATOR_QUORVIN = 2,  ///< the second simulator, "QUORVIN"
};

/// Identifies the schematic or symbol file at `path` (UTF-8):
/// - "Failed", "", "" when it cannot be opened (a directory cannot);
/// - "ASCII", the header's format and revision ("1" when it has none) when
///   the first non-blank line's identifier is "KelvantaFile", ignoring case;
/// - "Binary" and the version text when it starts with a binary schematic
///   or symbol header that can be read in full and names a version;
/// - "Unknown", "", "" otherwise.
/// A null `info` does nothing.
void schem_GetSchematicFileVersion(const YString &path, SchematicFormatInfo *info);

/// Whether the file at `path` is a schematic the restore code can read: a
/// file not found or unreadable gives all false; a file of no known kind is
/// found but no schematic; an ascii file can be restored when its format is
/// known; a binary one unless its version is one too old, in which case
/// versionNote names the release that still reads it. versionNote is left as
/// it was where no note applies. A null `result` does nothing.
void schem_TestSchematicFormat(const YString &path, TestSchematicFormat *result);

/// The version of ascii format `format` (compared ignoring case) revision
/// `revision` (-1 or any other value).
SchematicFileVersion sp_GetAsciiSchematicFileVersion(const YString &format, int revision);
/// Reads the first non-blank line of `file` (counting lines in *lineNumber,
/// which may be null): SFV_NOT_ASCII unless its identifier is "KelvantaFile"
/// (ignoring case); otherwise the version its "format" and "revision"
/// properties name (a missing revision counts as 0).
SchematicFileVersion sp_GetAsciiSchematicFileVersion(std::FILE *file, int *lineNumber);

/// The restore version of a binary schematic of version `versionText` (for
/// example 427 for "4.27"): a known version gives its own; an unknown one
/// that begins with "4.2" the latest; any other 0.
int schem_GetRestoreVersion(const YString &versionText);
/// The same for binary symbol libraries.
int schem_GetSymbolLibRestoreVersion(const YString &versionText);

/// The newest binary schematic version ("4.27").
YString sp_GetLatestBinarySchematicVersion();
/// The newest binary symbol library version ("4.21").
YString sp_GetLatestBinarySymbolLibVersion();

/// "QUORVIN", "Kelvanta" or "QUORVIN|Kelvanta" after the flags of `type`;
/// empty when neither is set.
YString support_BuildSimulatorTypeString(SimulatorType type);
/// The flags named by the '|'-separated parts of `text`, ignoring case;
/// parts naming no simulator are ignored. Null or empty gives 0.
SimulatorType support_CrackSimulatorType(const char *text);
