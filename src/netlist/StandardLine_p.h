// Internal header, not API: the ascii line reader's pieces that the schematic
// file identification shares.
#pragma once

#include <cstdio>
#include <string>

namespace kv::netlist {

/// sp_ReadNextNonBlankLine into a std::string (no YString per line).
bool readNonBlankLine(std::FILE *file, std::string &text, int *lineNumber);

/// atoi's reading of `text`, saturated to the int range.
int atoiSaturated(const char *text);

} // namespace kv::netlist
