#pragma once

#include "kvsupport/strings/YString.h"

/// Decodes escape sequences written with a backslash: \\ gives a backslash,
/// \f \n \r \t the control characters, \s a blank when `spaces` is set. A
/// backslash before any other character gives that character alone; one at
/// the very end is dropped.
YString sp_EscapeString(const YString &text, bool spaces);

/// The same with `escape` in place of the backslash.
YString sp_EscapeString(const YString &text, bool spaces, char escape);

/// The inverse of sp_EscapeString: the escape character doubled, form feed,
/// line feed, carriage return and tab as escape + f, n, r, t, and blanks as
/// escape + s when `spaces` is set. Decoding the result with the same
/// settings gives `text` back.
YString sp_EscapeStringEncode(const YString &text, bool spaces);

/// The same with `escape` in place of the backslash. Decoding gives the text
/// back for any escape character other than f, n, r, t and s (with one of
/// those letters its control character cannot be told from the escape). A NUL
/// escape character codes nothing: the text is returned as it is.
YString sp_EscapeStringEncode(const YString &text, bool spaces, char escape);

/// Quotes `text` for a C string literal: backslash, newline, tab and '"'
/// become \\, \n, \t and \". A text without them is returned as it is.
YString sp_ConvertToCString(const YString &text);
