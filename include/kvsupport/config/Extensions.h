#pragma once

#include "kvsupport/containers/YList.h"
#include "kvsupport/strings/YString.h"

// File-type extensions: each file type of the suite (Schematic, Model,
// Netlist, ...) has a string option holding its extensions, without dots,
// separated by ';'. Type names compare without regard to ASCII case;
// several types are joined by '&'.

/// Adds the extensions of every named type to the front of `*extensions`
/// (not cleared), so that the list reads in the order of the types and of
/// each type's list. Whether any type was recognised. Null arguments give
/// false.
bool sp_GetKelvantaFileExtension(const char *types, YList<YString> *extensions);

/// The first extension of the types, without dot; empty when there is none.
/// Types nobody knows are reported as an internal error.
YString sp_GetKelvantaDefaultExtension(const char *types);

/// The default extension of the file type a device parameter holds
/// ("d_logic_block#file": LogicDef); empty for any other parameter.
YString sp_GetKelvantaDefaultParamExtension(const char *parameter);

/// `path` with the types' first extension. A path whose extension is already
/// one of the types' extensions (case ignored) is kept, as is a path when
/// the types have no extensions, an empty path or one ending in '/'. A path
/// whose parts are too long to split is worked on as text.
YString sp_ForceKelvantaExtension(const char *types, const YString &path);
