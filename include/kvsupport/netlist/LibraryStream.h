#pragma once

#include "kvsupport/netlist/NewSpiceStream.h"
#include "kvsupport/strings/YString.h"

#include <cstdint>

/// What a library index entry names.
enum SymbolKind : int { SYMBOL_MODEL = 0, SYMBOL_SUBCKT = 1 };

/// A library index entry: where one definition lies in a model library file.
struct SymbolLoc {
  /// The library file.
  YString path;
  /// The definition's name as written in the file.
  YString name;
  SymbolKind kind = SYMBOL_MODEL;
  /// Byte offset of the first byte of the definition's first line.
  int start = 0;
  /// Byte offset just past its last byte (the line feed of its last line, or
  /// the end of the file).
  int end = 0;
  /// The 1-based physical line number, in the whole file, of its first line.
  int line = 1;
};

/// Reads one definition (a `.model` or `.subckt`) out of a model library as
/// a NewSpiceStream: only the entry's byte range is read, lines are numbered
/// as in the whole file, and the definition line is renamed to the name the
/// definition was requested under.
class LibraryStream : public NewSpiceStream {
public:
  /// Opens the entry's library file at its start offset. `name` is the name
  /// wanted on the definition line; empty keeps the file's own.
  LibraryStream(const SymbolLoc &location, const YString &name);
  ~LibraryStream() override;

  /// As NewSpiceStream::gets; the first `.model` or `.subckt` line comes back
  /// with its name replaced by the requested one (words rejoined with single
  /// blanks before the rest of the line), and *lineNumber is the line's
  /// number in the whole file.
  bool gets(YString *line, int *lineNumber) override;

private:
  int end_;
  int start_;
  YString name_;
  bool definitionHandled_;
  int lineOffset_;
};
