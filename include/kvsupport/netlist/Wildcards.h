#pragma once

#include "kvsupport/containers/YArray.h"
#include "kvsupport/strings/YString.h"

/// The regular expression a wildcard pattern stands for in sp_GlobMatch:
/// `[ ] ( ) { }` are escaped, `.` and `+` become `[.]` and `[+]`, a `*` or
/// `?` after an odd run of backslashes becomes `[*]` or `[?]` (the pairs
/// before it kept), and every other `*` becomes `(.){1,}` (one or more
/// characters) and every other `?` becomes `.`. Everything else, `^ $ |` and
/// backslash escapes among it, keeps its regular-expression meaning. Null
/// counts as empty.
YString sp_GlobToRegExp(const char *pattern);

/// The byte offset in `text` of the first match of wildcard `pattern` (as
/// rewritten by sp_GlobToRegExp), or -1. The match is anchored at neither
/// end, is case-sensitive, and a star needs at least one character. Texts
/// are read as UTF-8; an invalid expression matches nothing; null pointers
/// count as empty texts.
int sp_GlobMatch(const char *pattern, const char *text);

/// The byte offset in `text` of the first match of the case-sensitive
/// regular expression `pattern`, or -1. An invalid expression matches
/// nothing; null pointers count as empty texts.
int sp_RegexpMatch(const char *pattern, const char *text);

/// Whether the whole of `text` matches wildcard `filter`: `*` stands for any
/// run of bytes (the empty one too), `?` for one byte, and a backslash makes
/// the next byte literal (a backslash at the very end matches nothing).
/// ASCII letters compare without regard to case unless `caseSensitive`. A
/// filter of exactly "*" matches every text. Takes time in proportion to
/// the pattern's length times the text's. Null counts as empty.
bool sp_FilterString(const char *text, const YString &filter, bool caseSensitive);

/// Compares `a` and `b` in natural order: runs of ASCII digits compare by
/// value (R2 before R10), other bytes one by one after ASCII lowering, as
/// signed chars, with the end of a text as 0 (so bytes from 0x80 on come
/// before the end). Texts equal so far differ by their first pair of equal
/// numbers written with different counts of leading zeros: fewer first
/// (a1 before a01, A0 before A00). Returns -1, 0 or 1; a consistent order
/// for sorting. Null counts as empty.
int sp_CompareStrings(const char *a, const char *b);

/// Appends to *out one file-dialog entry per pair of '|'-separated fields of
/// `filters` (a name, then ';'-separated patterns; a last name without
/// patterns is ignored): the name with ( and ) as [ and ], " (", the
/// patterns joined by `separator`, ")". Null `out` or `filters` does
/// nothing; a null separator counts as empty.
void sp_CompileFilter(const char *filters, YArray<YString> *out, const char *separator);
