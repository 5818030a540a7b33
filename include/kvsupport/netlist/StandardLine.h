#pragma once

#include "kvsupport/containers/YList.h"
#include "kvsupport/strings/YString.h"

#include <cstdio>

/// Reads the next line of `file` that holds more than blanks and tabs into
/// *line, without its line feed. Lines may be of any length; carriage
/// returns are dropped, and a NUL ends the line's text (the bytes after it up
/// to the line feed are skipped). Every line feed read, those of skipped
/// lines included, adds one to *lineNumber (which may be null). A last line
/// without a line feed counts. False, with *line empty, when no such line is
/// left (or `file` or `line` is null).
bool sp_ReadNextNonBlankLine(std::FILE *file, YString *line, int *lineNumber);

/// How StandardLine::propValue hands out a stored value. Only the local code
/// page form converts; any other value returns the stored text.
enum StandardLineEncoding {
  SLE_UTF8 = 0,  ///< the file is UTF-8: the stored text
  SLE_LOCAL = 1, ///< the file is in the local 8-bit code page: converted to UTF-8
  SLE_RAW = 2,   ///< the stored bytes, as they are
};

/// One property of an ascii line.
struct StandardLineProperty {
  YString name;
  YString value;
};

/// One line of an ascii schematic or symbol file: an identifier (the first
/// word) followed by name=value properties. A line whose identifier is a dot
/// and a name opens an object that its ".End" + name line closes.
///
/// Property names compare without regard to ASCII case; when a name occurs
/// more than once on a line, the look-ups find its last occurrence. Copies
/// are deep: a copy and its source never share a property list.
class StandardLine {
public:
  StandardLine() = default;
  StandardLine(const StandardLine &other) = default;
  StandardLine &operator=(const StandardLine &other) = default;
  ~StandardLine() = default;

  /// Clears the line and reads the next non-blank line of `file` (see
  /// sp_ReadNextNonBlankLine; *lineNumber may be null). The identifier is the
  /// first word (separators blank and tab). Then properties: a name is the
  /// next word under blank, tab and '='; an empty name ends the line. Blanks,
  /// tabs and '=' after it are skipped, and a name that the line's end
  /// follows is dropped. A value is the next word under blank and tab, or,
  /// when it starts with '"', the text up to the next unescaped '"', in which
  /// \n gives a line feed, \t a tab and a backslash before any other
  /// character that character; a backslash at the end of the line or a
  /// missing closing quote ends the value there. False when no line was left.
  bool readLine(std::FILE *file, int *lineNumber);

  /// The identifier; empty before a line was read.
  YString id() const { return id_; }
  /// Whether the identifier begins with ".End", ignoring case.
  bool end() const;
  /// The properties in the order the line gave them, duplicates included.
  const YList<StandardLineProperty> &properties() const { return properties_; }

  bool hasProperty(const YString &name) const;
  /// The value of `name`, converted as `encoding` says; empty when absent.
  YString propValue(const YString &name, StandardLineEncoding encoding) const;
  /// The value read as a decimal integer the way atoi reads it (leading
  /// blanks, a sign, digits up to the first other character; 0 when there
  /// are none), saturated to the int range. False, *value untouched, when
  /// the property is absent.
  bool intPropValue(const YString &name, int *value) const;
  /// The same into a long, saturated to the int range all the same.
  bool intPropValue(const YString &name, long *value) const;
  /// The value read as strtol with base 0 reads it (0x1F, 017 and 31 are all
  /// 31), saturated to the int range (0xFFFFFFFF gives 2147483647). False,
  /// *value untouched, when the property is absent.
  bool hexPropValue(const YString &name, int *value) const;

  /// Reads the body of the object this line opens. *lines (which may be
  /// null) is cleared and receives the identifier, then every line read, in
  /// file order, the closing line included. A line whose identifier is empty
  /// or does not begin with '.' opens no object: true at once. Otherwise the
  /// object ends at the line whose first word is ".End" + the identifier
  /// without its dot, ignoring case, after any nested objects of the same
  /// identifier have been closed. False, with *lines empty, when the file
  /// ends first.
  bool readObject(std::FILE *file, YList<YString> *lines) const;
  /// readObject without collecting the lines.
  bool skipObject(std::FILE *file) const { return readObject(file, nullptr); }

  /// Whether the first word of the first line of the file at `path` (UTF-8)
  /// is "KelvantaFile", ignoring case. Only the first 498 bytes are looked
  /// at. False when the file cannot be opened.
  static bool isKelvantaAsciiFile(const YString &path);
  /// Writes the header line of an ascii file, "KelvantaFile type=TYPE
  /// format=FORMAT revision=REVISION\n", with SCHEMATIC_ASCII_FORMAT as the
  /// format; without " revision=..." when the option "OmitAsciiRevision" is
  /// true. A null file writes nothing; a null type counts as empty.
  static void writeHeader(std::FILE *file, const char *type, int revision);

private:
  const StandardLineProperty *find(const YString &name) const;

  YString id_;
  YList<StandardLineProperty> properties_; // file order
};
