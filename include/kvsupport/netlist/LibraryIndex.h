#pragma once

#include "kvsupport/containers/YVector.h"
#include "kvsupport/netlist/LibraryStream.h"

/// Lists the definitions of a model library file in one pass: every
/// `.model` and `.subckt` outside a subcircuit, in file order, as entries a
/// LibraryStream can be opened on. A `.model` ends where its logical line
/// ends (its last `+` continuation line; comment and blank lines after it are
/// not part of it); a `.subckt` ends with the line of its matching `.ends`,
/// or at the end of the file. Definitions nested in a subcircuit belong to it
/// and are not listed. Lines are split at line feeds only, as the readers
/// split them. Entries are appended to *entries. Only the first 2 GiB of a
/// file are indexed. False when the file cannot be opened.
bool sp_IndexLibrary(const char *path, YVector<SymbolLoc> *entries);
