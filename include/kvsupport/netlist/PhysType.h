#pragma once

#include "kvsupport/strings/YString.h"

/// The physical quantity of a value: what a trace or a parameter measures.
enum PhysType : int {
  PT_UNKNOWN = 0,
  PT_NONE = 1,
  PT_VOLT = 2,
  PT_AMP = 3,
  PT_SECOND = 4,
  PT_HERTZ = 5,
  PT_OHM = 6,
  PT_SIEMEN = 7,
  PT_FARAD = 8,
  PT_HENRY = 9,
  PT_JOULE = 10,
  PT_WATT = 11,
  PT_COULOMB = 12,
  PT_WEBER = 13,
  PT_VOLT2 = 14,
  PT_VOLT2T = 15,
  PT_VOLTSQRT = 16,
  PT_AMP2 = 17,
  PT_AMP2T = 18,
  PT_AMPSQRT = 19,
  PT_VOLTSPERSEC = 20,
  PT_CONSTANT = 21,
  PT_CELSIUS = 22,
  PT_DIGITAL = 23,
  PT_DEFAULT = 24
};

/// Finds the first type whose unit or display name equals `text` without
/// regard to ASCII case (for each type the unit is tried first: "v" and
/// "VOLTAGE" give PT_VOLT, "?" gives PT_UNKNOWN, "" gives PT_NONE). Stores it
/// in *type and returns true; returns false and leaves *type alone when no
/// type matches.
bool sp_GetPhysTypeFromName(const YString &text, PhysType *type);

/// The type whose identifier ("PT_VOLT") equals `text` without regard to
/// ASCII case; PT_UNKNOWN when none does.
PhysType sp_GetPhysTypeFromString(const YString &text);

/// The display name ("Voltage"); "" for a value that is not a PhysType.
const char *sp_GetPhysTypeName(PhysType type);

/// The unit ("V"); "" for a value that is not a PhysType.
const char *sp_GetPhysTypeUnit(PhysType type);

/// The identifier ("PT_VOLT"); empty for a value that is not a PhysType.
YString sp_GetPhysTypeString(PhysType type);
