#pragma once

#include "kvsupport/strings/YString.h"

/// The value text of the system value `name` (compared without regard to
/// ASCII case; where a name stands twice, the later row wins). Empty with
/// `*found` false (when `found` is not null) for an unknown name.
YString sp_GetSystemValue(const YString &name, bool *found);

/// The number of rows of the system values table.
int sp_GetSystemValueCount();

/// Row `index` (0-based, table order): its name, value text and whether the
/// value is a path template, to be translated before use. False, with the
/// outputs untouched, for an index out of range; null outputs are skipped.
bool sp_GetSystemValueRow(int index, YString *name, YString *value, bool *isPath);
