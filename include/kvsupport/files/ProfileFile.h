#pragma once

#include "kvsupport/containers/YList.h"
#include "kvsupport/strings/YString.h"

/// A key and its value.
struct NameValuePair {
  YString key;
  YString value;
};

/// What became of the last change made through the profile functions.
enum ProfileWriteStatus {
  ProfileWritten = 0,   ///< the file now holds it
  ProfileUnchanged = 1, ///< it changed nothing, so nothing was written
  ProfilePending = 2,   ///< the file's mutex could not be had: kept and retried
  ProfileRefused = 3,   ///< bad text (see below): nothing changed anywhere
  ProfileFailed = 4     ///< the file could not be replaced: kept and retried
};

// Profile files: sections of `key=value` lines, cached per process and
// shared between processes. Section and key names compare without regard
// to ASCII case; values byte for byte. Every operation first brings the
// cache up to date with the file: it sees every change made through these
// functions in any process, and every outside edit that alters the file's
// size, times or identity. Every change is made under the file's
// system-wide mutex as one read-modify-write and replaces the file whole
// (never truncating it in place). A change that cannot be written yet
// stays in the process and is retried at each later operation on the file.
//
// Refused (nothing changes): any text holding CR or LF; a section that is
// empty or holds '[' or ']'; a key that is empty, holds '=', starts with
// ';' or '[', or starts or ends with a blank (such a key would not read
// back as written).
//
// Not thread-safe: one thread at a time uses these functions.

/// Looks `key` of `section` of `file` up. True with the value in `*value`;
/// false with `*value` empty when any of them is missing or null.
bool sp_GetPrivateProfileString(const char *section, const char *key, const char *file,
                                YString *value);

/// Sets `key` of `section` to `value`, creating section and file as needed;
/// a null `value` deletes the key. Returns whether the file exists
/// afterwards; sp_GetLastProfileWriteStatus tells what became of the change.
bool sp_WritePrivateProfileString(const char *file, const char *section, const char *key,
                                  const char *value);

/// Sets every pair, in list order, in one section, and writes the file at
/// most once. Refused whole when any pair is. Returns whether the file
/// exists afterwards.
bool sp_WritePrivateProfileStrings(const YString &file, const YString &section,
                                   const YList<NameValuePair> &pairs);

/// False when the section is not there. Otherwise adds the key of every key
/// line of the section at the front of `*keys` (not cleared first).
bool sp_GetProfileKeyNames(const YString &file, const YString &section, YList<YString> *keys);

/// False when the file does not exist and holds no pending change.
/// Otherwise replaces `*sections` with the section names in file order.
bool sp_GetProfileSectionNames(const YString &file, YList<YString> *sections);

/// Removes the section and its lines; the number of lines (keys and
/// comments) removed, 0 when there was no such section.
int sp_DeletePrivateProfileSection(const YString &file, const YString &section);

/// The file's modification time in seconds; -1 when it does not exist.
long long sp_GetProfileTimeStamp(const YString &file);

/// A number for the version of `file` this process holds now: at least 1,
/// different for every version seen or written (never reused within the
/// process); -1 when the file does not exist and nothing is pending for it.
long long sp_GetProfileVersion(const YString &file);

/// What became of the last change; `*error` (when not null) receives the
/// errno of a failure, ETIMEDOUT for a busy mutex, 0 otherwise.
ProfileWriteStatus sp_GetLastProfileWriteStatus(int *error);

/// Tries to write what is pending for `file`, waiting up to `timeoutMs`
/// for its mutex (negative: without limit). True when nothing is left
/// unwritten.
bool sp_FlushPrivateProfile(const YString &file, int timeoutMs);

/// The text a write of `file` would write now (pending changes included).
YString sp_FormatProfileFile(const YString &file);

/// The canonical path under which `file` is cached and the name of the
/// system-wide mutex that guards it; false (both empty) for an empty name.
bool sp_GetProfileIdentity(const YString &file, YString *path, YString *mutexName);
