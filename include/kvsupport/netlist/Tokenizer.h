#pragma once

#include "kvsupport/containers/YArray.h"
#include "kvsupport/strings/YString.h"

/// How a line is cut into words.
struct ScanSpec {
  /// Skipped before a word; they end an unquoted word (typically " \t").
  const char *separators;
  /// Opening quote characters; quoting is active only when both lists are set.
  const char *openQuotes;
  /// Closing quote characters, position by position matching openQuotes. An
  /// opening quote without a closing partner is an ordinary character.
  const char *closeQuotes;
  /// Characters that are words of their own ("=(),"); may be null or empty.
  const char *delimiters;
  /// The quote characters stay in the word.
  bool keepQuotes;
  /// Inside a quoted word further opening quotes of the same pair nest and
  /// need their own closing quote (only where the two characters differ).
  bool nestQuotes;
};

/// One scanned word.
struct ScanToken {
  /// 0 for an ordinary or quoted word, else the delimiter's code sign-extended
  /// from char (255 for the byte 0xFF, so that it is never taken for -1).
  int delimiter = 0;
  /// The word; empty for a delimiter.
  YString text;
};

/// The longest unquoted word one call returns; the rest comes with the next.
constexpr int kMaxScanWord = 1023;

/// Reads the next word at *cursor and advances the cursor past it. Skips
/// separators; a quoted word runs to its closing quote (which is consumed) or
/// the end of the text and has no length limit; a delimiter is a word of its
/// own; an ordinary word runs to a separator, delimiter or the end (not
/// consumed), at most kMaxScanWord characters. *delimiter receives -1 at the
/// end of the text, the delimiter's code (as in ScanToken) for a delimiter and 0
/// otherwise; `delimiter` may be null. Never reads past the terminator.
YString sp_GetToken(const char **cursor, const ScanSpec &spec, int *delimiter);

/// The same without delimiters and nesting; an empty string at the end of the
/// text (and for an empty quoted word).
YString sp_GetToken(const char **cursor, const char *separators, const char *openQuotes,
                    const char *closeQuotes, bool keepQuotes);

/// As the previous one, but *cursor is left where it was.
YString sp_PeekToken(const char **cursor, const char *separators, const char *openQuotes,
                     const char *closeQuotes, bool keepQuotes);

/// Skips separators and returns the next word: a word starting with '"' runs
/// to the next '"' (both dropped, the closing one consumed), any other to the
/// next separator (left unconsumed). Both stop after kMaxScanWord characters.
/// Empty at the end of the text.
YString sp_StrTok(const char **cursor, const char *separators);

/// Stores in *field everything up to the next `separator` or the end of the
/// text and consumes the separator; false (and *field untouched) when *cursor
/// is at the end. Consecutive separators give empty fields.
bool sp_SplitToken(const char **cursor, char separator, YString *field);

/// Cuts fields in place: returns the current position and overwrites the next
/// `separator` with a NUL, moving *cursor behind it (or to the terminator when
/// there is none). Null when *cursor is at the end of the text.
char *sp_ScanLine(char **cursor, char separator);

/// Skips blanks and tabs and returns the next character (as a signed char),
/// advancing *cursor past it. At the end of the text it returns 0, and the
/// cursor is then one past the terminator: callers stop on a 0 result.
int sp_GetNonWS(const char **cursor);

/// Appends to *words the words of `line` cut at `separators` (no quoting), at
/// most `count` of them when count is not negative.
void sp_ScanLine(const char *line, const char *separators, YArray<YString> *words, int count);

/// Appends to *tokens every word of `line` as read by sp_GetToken with
/// `spec`, delimiters included; at most `count` when count is not negative.
void sp_ScanLine(const char *line, const ScanSpec &spec, YArray<ScanToken> *tokens, int count);

/// The same, appending only the texts (delimiters appear as empty strings).
void sp_ScanLine(const char *line, const ScanSpec &spec, YArray<YString> *words, int count);

/// Appends the fields of `line` between `separator`s (a trailing separator
/// gives no final empty field, an empty line none), then empty strings until
/// *fields holds at least minCount entries.
void sp_SplitLine(const char *line, char separator, YArray<YString> *fields, int minCount);

/// Field splitting in which a field that starts with brackets[0] is taken
/// whole up to the matching brackets[1] (brackets dropped, separators inside
/// kept; text behind the closing bracket up to the separator is dropped). A
/// field whose bracket is never closed is dropped. A trailing separator gives
/// a final empty field and an empty line one empty field; then filled up to
/// minCount. Does nothing when `brackets` has fewer than two characters or
/// both are the same.
void sp_SplitLine(const char *line, char separator, const char *brackets, YArray<YString> *fields,
                  int minCount);
