#pragma once

#include "kvsupport/containers/YList.h"
#include "kvsupport/strings/YString.h"

// Library lists: sections of the configuration whose keys are decimal
// numbers and whose values are files (model libraries, symbol libraries),
// stored as logical paths or as given. The list order is the key order,
// numerically; keys that are no numbers come after, by text. The highest
// level that has the section supplies the whole list.
//
// Changes hold a system-wide mutex per configuration file and section from
// their read to their write, so processes editing one list lose nothing;
// when it cannot be had within a second nothing is written.

/// Adds the files not yet listed (compared as paths, after translation when
/// `asLogicalPaths` and not `literal`), stored as logical paths when
/// `asLogicalPaths` and not `literal`, under keys from one above the largest
/// (at least 101) in list order; a skipped file still uses its number. The
/// count added; 0 when the write fails or a key would pass INT_MAX.
int libman_AddFiles(const YList<YString> &files, const YString &section, bool asLogicalPaths,
                    bool literal);
/// Deletes, at the current level, every key holding one of `files` (values
/// translated first when `translate`); the count of keys deleted.
int libman_RemoveFiles(const YList<YString> &files, const YString &section, bool translate);
/// Replaces the listed file with the highest key whose translated value is
/// `oldFile` by the logical path of `newFile`; true when written.
bool libman_EditFile(const YString &oldFile, const YString &newFile, const YString &section);
/// The list's files in key order, translated when `translate`, appended to
/// `*files`. Cached per section and flag until the configuration changes.
void libman_GetFiles(YList<YString> *files, const YString &section, bool translate);
