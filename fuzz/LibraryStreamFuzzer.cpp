// Fuzzes the comment-keeping netlist reader, the library indexer and the
// library reader. Bytes 0-7 give a byte range and byte 8 a line offset for a
// library entry; the rest is the file. The whole file is read once from disk
// and once from memory (same lines expected); the indexer's entries and the
// random range are read back through the library reader. Line numbers never
// decrease and stay within the lines of what was read.
#include "kvsupport/netlist/LibraryIndex.h"
#include "kvsupport/netlist/LibraryStream.h"
#include "kvsupport/netlist/NewSpiceStream.h"
#include "kvsupport/streams/kvstrstream.h"

#include "FuzzSupport.h"

#include <vector>

namespace {

using kvfuzz::check;

const std::string &scratchFile() { return kvfuzz::scratchFile("library.lib"); }

int lineFeedsIn(const std::string &text, size_t from, size_t to) {
  int count = 0;
  for (size_t i = from; i < to && i < text.size(); ++i)
    count += text[i] == '\n';
  return count;
}

std::vector<std::pair<int, std::string>> readAll(NewSpiceStream &reader, int firstLine,
                                                 int lastLine) {
  std::vector<std::pair<int, std::string>> lines;
  YString line;
  int number = 0, previous = firstLine;
  while (reader.gets(&line, &number)) {
    check(number >= previous, "line numbers never decrease");
    check(number <= lastLine, "line number within what was read");
    previous = number;
    lines.emplace_back(number, line.tocs());
  }
  check(!reader.gets(&line, &number), "the end stays");
  return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 9)
    return 0;
  uint32_t a, b;
  std::memcpy(&a, data, 4);
  std::memcpy(&b, data + 4, 4);
  const int lineOffset = data[8];
  const std::string text(reinterpret_cast<const char *>(data) + 9, size - 9);
  const int fileLineFeeds = lineFeedsIn(text, 0, text.size());

  if (!kvfuzz::writeScratchFile("library.lib", text))
    return 0;

  NewSpiceStream fromFile(scratchFile().c_str());
  auto first = readAll(fromFile, 1, fileLineFeeds + 1);
  check(fromFile.getLineCount() == fileLineFeeds, "every line feed counted");
  // Memory streams end at a 255 or NUL byte: only inputs without them compare.
  if (text.find('\xff') == std::string::npos && text.find('\0') == std::string::npos) {
    kvstrstream memory(text.c_str(), static_cast<int>(text.size()));
    NewSpiceStream fromMemory(memory);
    check(readAll(fromMemory, 1, fileLineFeeds + 1) == first,
          "file and memory give the same lines");
  }

  YVector<SymbolLoc> entries;
  check(sp_IndexLibrary(scratchFile().c_str(), &entries), "the index opens the file");
  int readBack = 0;
  for (const SymbolLoc &entry : entries) {
    check(entry.start >= 0 && entry.start < entry.end && entry.end <= static_cast<int>(text.size()),
          "entries lie inside the file");
    check(entry.line == lineFeedsIn(text, 0, static_cast<size_t>(entry.start)) + 1,
          "entry line is the physical line of its start");
    if (++readBack > 20)
      break;
    LibraryStream library(entry, YString("RENAMED"));
    readAll(library, entry.line,
            entry.line + lineFeedsIn(text, static_cast<size_t>(entry.start),
                                     static_cast<size_t>(entry.end)));
  }

  SymbolLoc range;
  range.path = scratchFile().c_str();
  range.start = static_cast<int>(a % (text.size() + 2));
  range.end = static_cast<int>(b % (text.size() + 2));
  range.line = lineOffset;
  LibraryStream library(range, YString(data[8] & 1 ? "X" : ""));
  const int base = lineOffset > 0 ? lineOffset : 1;
  const int inRange = range.end > range.start ? lineFeedsIn(text, static_cast<size_t>(range.start),
                                                            static_cast<size_t>(range.end))
                                              : 0;
  readAll(library, base, base + inRange);
  return 0;
}
