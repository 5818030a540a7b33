#pragma once

#include "kvsupport/strings/YString.h"

#include <cstdio>

class kvstream;

// Banners of asterisks around lines of text, for log and listing files.
// `width` is the banner's total width; a line of text fits when its length is
// at most width - 7, and a longer one runs over the right-hand border. A
// negative count of blanks or asterisks writes none. The FILE* forms write
// nothing when the file is null, stdout or stderr (banners belong in files,
// never on the console).

/// `width` asterisks and a line feed.
void sp_PrintBoxEdge(kvstream &stream, int width);
void sp_PrintBoxEdge(std::FILE *file, int width);

/// "***", width - 6 blanks, "***" and a line feed.
void sp_PrintSides(kvstream &stream, int width);
void sp_PrintSides(std::FILE *file, int width);

/// "*** ", the text, width - length - 7 blanks, "***" and a line feed.
void sp_PrintLine(std::FILE *file, const YString &text, int width);

/// "*** ", the text centred (d = width - length - 7 blanks: d / 2 before,
/// the rest after), "***" and a line feed.
void sp_PrintLineCentred(kvstream &stream, const YString &text, int width);
void sp_PrintLineCentred(std::FILE *file, const YString &text, int width);

/// An edge, a side line, each line of `text` (split at line feeds; a final
/// line feed adds no empty line) centred, a side line and an edge.
void sp_PrintBoxedText(kvstream &stream, const YString &text, int width);
void sp_PrintBoxedText(std::FILE *file, const YString &text, int width);

/// Moves the next piece of *name into `out` (room for width + 1 bytes) as a
/// field of exactly `width` characters and a NUL, and removes the piece from
/// *name. The piece ends after the latest `separator` that fits (not the
/// first character), or else holds width - 1 characters and a blank; a
/// name that ends sooner is taken whole and padded with blanks. Width 1
/// moves one character and no blank; width 0 writes only the NUL; a negative
/// width or a null `out` writes nothing. A null name counts as empty.
/// Calling until *name is empty lays a long name out over several fields.
void sp_FormatName(char *out, int width, char separator, YString *name);
