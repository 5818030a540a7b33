#include "kvsupport/netlist/LibraryStream.h"

#include "kvsupport/netlist/Tokenizer.h"

namespace {
constexpr const char kWordSeparators[] = " =(),\t";
} // namespace

LibraryStream::LibraryStream(const SymbolLoc &location, const YString &name)
    : NewSpiceStream(location.path.tocs()), end_(location.end), start_(location.start), name_(name),
      definitionHandled_(name.length() == 0),
      // NewSpiceStream counts the range's first line as line 1.
      lineOffset_(location.line > 0 ? location.line - 1 : 0) {
  int start = start_ < 0 ? 0 : start_;
  if (seekg(start) != 0 || end_ <= start)
    setCharLimit(0); // an unreachable or empty range reads as empty
  else
    setCharLimit(static_cast<int64_t>(end_) - start);
}

LibraryStream::~LibraryStream() = default;

bool LibraryStream::gets(YString *line, int *lineNumber) {
  YString text;
  int number = 0;
  bool read = NewSpiceStream::gets(&text, &number);
  if (read && !definitionHandled_) {
    const char *cursor = text.tocs();
    YString keyword = sp_GetToken(&cursor, kWordSeparators, nullptr, nullptr, false);
    if (sp_stricmp(keyword.tocs(), ".model") == 0 || sp_stricmp(keyword.tocs(), ".subckt") == 0) {
      YString defined = sp_GetToken(&cursor, kWordSeparators, nullptr, nullptr, false);
      if (sp_stricmp(defined.tocs(), name_.tocs()) != 0) {
        YString renamed = keyword;
        renamed &= " ";
        renamed &= name_;
        renamed &= " ";
        renamed &= cursor;
        text = renamed;
      }
      definitionHandled_ = true;
    }
  }
  if (line)
    *line = text;
  if (lineNumber && read) {
    int64_t total = static_cast<int64_t>(number) + lineOffset_;
    *lineNumber = total > 2147483647 ? 2147483647 : static_cast<int>(total);
  }
  return read;
}
