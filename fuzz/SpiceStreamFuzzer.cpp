// Fuzzes the netlist reader: byte 0 chooses the dialect (and literal mode for
// a few lines), the rest is the file. The file is read once from disk (bytes
// taken in runs from the read window) and once from memory (one at a time);
// both must give the same lines. Line numbers never decrease and never exceed
// the line feeds read plus one.
#include "kvsupport/netlist/SpiceStream.h"
#include "kvsupport/streams/kvstrstream.h"

#include "FuzzSupport.h"

#include <vector>

namespace {

using kvfuzz::check;

const std::string &scratchFile() { return kvfuzz::scratchFile("spice.cir"); }

struct Read {
  std::vector<std::string> lines;
  std::vector<int> numbers;
  std::string echo;
};

Read readAll(SpiceStream &reader, int lineFeeds, bool literalStart) {
  Read read;
  YString line;
  int number = 0, previous = 0;
  bool encrypted = false, high = false;
  if (literalStart)
    reader.setLiteralMode(true);
  for (int i = 0; reader.gets(&line, &number, &encrypted, &high); ++i) {
    check(number >= previous, "line numbers never decrease");
    check(number >= 1 && number <= lineFeeds + 1, "line number within the file");
    check(reader.getLastAcceptedLineCount() <= lineFeeds, "accepted line within the file");
    check(!encrypted, "no decryption installed");
    previous = number;
    read.lines.emplace_back(line.tocs());
    read.numbers.push_back(number);
    if (i == 2)
      reader.setLiteralMode(false);
    read.echo += static_cast<const char *>(*reader.getBuffer());
    reader.flushBuffer();
  }
  check(reader.eof() != 0, "the end is reached");
  check(!reader.gets(&line, &number, nullptr, nullptr), "the end stays");
  check(reader.getLineCount() == lineFeeds, "every line feed counted");
  return read;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  const SpiceLanguage language = static_cast<SpiceLanguage>(data[0] % 3);
  const bool literalStart = data[0] & 0x80;
  const std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
  int lineFeeds = 0;
  bool hasFF = false;
  for (char c : text) {
    lineFeeds += c == '\n';
    hasFF |= static_cast<unsigned char>(c) == 0xFF || c == '\0';
  }

  if (!kvfuzz::writeScratchFile("spice.cir", text))
    return 0;
  SpiceStream fromFile(scratchFile().c_str(), language);
  Read first = readAll(fromFile, lineFeeds, literalStart);

  // Memory streams end at a 255 or NUL byte, so only inputs without them compare; a
  // reader built on a stream starts in the native dialect.
  if (!hasFF && language == SPICE_NATIVE) {
    kvstrstream memory(text.c_str(), static_cast<int>(text.size()));
    SpiceStream fromMemory(memory);
    Read second = readAll(fromMemory, lineFeeds, literalStart);
    check(first.lines == second.lines, "file and memory give the same lines");
    check(first.numbers == second.numbers, "file and memory give the same numbers");
    check(first.echo == second.echo, "file and memory give the same echo");
  }
  return 0;
}
