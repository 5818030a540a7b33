// Internal header, not API: the two ways sp_GlobMatch finds a match, for the
// tests and the fuzzer that hold them to the same results.
#pragma once

namespace kv::netlist {

/// globMatchDirect's answer for a rewrite it does not handle.
constexpr int kNotDirect = -2;

/// The byte offset in UTF-8 `text` of the UTF-16 unit `index` of
/// QString::fromUtf8(text): a unit within a surrogate pair gives its
/// character's start, an index past the end the text's length; -1 for a
/// negative index or null text.
int utf16IndexToByteOffset(const char *text, int index);

/// sp_GlobMatch through QRegExp.
int globMatchByRegExp(const char *pattern, const char *text);

/// sp_GlobMatch by the direct matcher, or kNotDirect when the rewrite uses
/// regular-expression syntax beyond literals, `.` and `(.){1,}`.
int globMatchDirect(const char *pattern, const char *text);

} // namespace kv::netlist
