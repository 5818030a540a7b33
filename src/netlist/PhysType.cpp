// The table of physical quantity types. Look-ups walk it in order, so where
// two rows share a name or unit ("unknown", "?") the earlier row wins.
#include "kvsupport/netlist/PhysType.h"

namespace {

struct PhysTypeRow {
  PhysType type;
  const char *name;
  const char *unit;
  const char *identifier;
};

#define KV_PHYS_ROW(type, name, unit)                                                              \
  { type, name, unit, #type }

const PhysTypeRow kRows[] = {
    KV_PHYS_ROW(PT_UNKNOWN, "unknown", "?"),
    KV_PHYS_ROW(PT_NONE, "", ""),
    KV_PHYS_ROW(PT_VOLT, "Voltage", "V"),
    KV_PHYS_ROW(PT_AMP, "Current", "A"),
    KV_PHYS_ROW(PT_SECOND, "Time", "Secs"),
    KV_PHYS_ROW(PT_HERTZ, "Frequency", "Hertz"),
    KV_PHYS_ROW(PT_OHM, "Resistance", "Ohm"),
    KV_PHYS_ROW(PT_SIEMEN, "Conductance", "Sie"),
    KV_PHYS_ROW(PT_FARAD, "Capacitance", "F"),
    KV_PHYS_ROW(PT_HENRY, "Inductance", "H"),
    KV_PHYS_ROW(PT_JOULE, "Energy", "J"),
    KV_PHYS_ROW(PT_WATT, "Power", "W"),
    KV_PHYS_ROW(PT_COULOMB, "Charge", "C"),
    KV_PHYS_ROW(PT_WEBER, "Flux", "Vs"),
    KV_PHYS_ROW(PT_VOLT2, "Volt^2", "V^2"),
    KV_PHYS_ROW(PT_VOLT2T, "Volt^2/Hz", "V^2/Hz"),
    KV_PHYS_ROW(PT_VOLTSQRT, "Volt/rtHz", "V/rtHz"),
    KV_PHYS_ROW(PT_AMP2, "Amp^2", "A^2"),
    KV_PHYS_ROW(PT_AMP2T, "Amp^2/Hz", "A^2/Hz"),
    KV_PHYS_ROW(PT_AMPSQRT, "Amp/rtHz", "A/rtHz"),
    KV_PHYS_ROW(PT_VOLTSPERSEC, "Volts/sec", "V/s"),
    KV_PHYS_ROW(PT_CONSTANT, "unknown", "?"),
    KV_PHYS_ROW(PT_CELSIUS, "Temperature", "Celsius"),
    KV_PHYS_ROW(PT_DIGITAL, "Logic", ""),
    KV_PHYS_ROW(PT_DEFAULT, "Default", "?"),
};

#undef KV_PHYS_ROW

const PhysTypeRow *findRow(PhysType type) {
  for (const PhysTypeRow &row : kRows)
    if (row.type == type)
      return &row;
  return nullptr;
}

} // namespace

bool sp_GetPhysTypeFromName(const YString &text, PhysType *type) {
  for (const PhysTypeRow &row : kRows) {
    if (sp_stricmp(row.unit, text.tocs()) == 0 || sp_stricmp(row.name, text.tocs()) == 0) {
      if (type)
        *type = row.type;
      return true;
    }
  }
  return false;
}

PhysType sp_GetPhysTypeFromString(const YString &text) {
  for (const PhysTypeRow &row : kRows)
    if (sp_stricmp(row.identifier, text.tocs()) == 0)
      return row.type;
  return PT_UNKNOWN;
}

const char *sp_GetPhysTypeName(PhysType type) {
  const PhysTypeRow *row = findRow(type);
  return row ? row->name : "";
}

const char *sp_GetPhysTypeUnit(PhysType type) {
  const PhysTypeRow *row = findRow(type);
  return row ? row->unit : "";
}

YString sp_GetPhysTypeString(PhysType type) {
  const PhysTypeRow *row = findRow(type);
  return row ? YString(row->identifier) : YString();
}
