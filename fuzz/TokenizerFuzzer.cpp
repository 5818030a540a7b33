// Fuzzes the word readers with a scan description taken from the input:
// byte 0 holds the flags, bytes 1-3 the lengths of the separator, quote and
// delimiter lists, which follow; the rest is the line.
#include "kvsupport/netlist/Tokenizer.h"

#include "FuzzSupport.h"

using kvfuzz::check;
using kvfuzz::exactCopy;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 4)
    return 0;
  const char *bytes = reinterpret_cast<const char *>(data);
  unsigned flags = data[0];
  size_t separatorLength = data[1] % 4, quoteLength = data[2] % 4, delimiterLength = data[3] % 5;
  size_t closeLength = (flags & 8) && quoteLength ? quoteLength - 1 : quoteLength;
  size_t header = 4 + separatorLength + quoteLength + closeLength + delimiterLength;
  if (size < header)
    return 0;
  const char *p = bytes + 4;
  std::string separators(p, separatorLength);
  p += separatorLength;
  std::string openQuotes(p, quoteLength);
  p += quoteLength;
  std::string closeQuotes(p, closeLength);
  p += closeLength;
  std::string delimiters(p, delimiterLength);
  p += delimiterLength;
  bool quoting = flags & 4;
  ScanSpec spec{(flags & 16) ? nullptr : separators.c_str(),
                quoting ? openQuotes.c_str() : nullptr,
                quoting ? closeQuotes.c_str() : nullptr,
                (flags & 32) ? nullptr : delimiters.c_str(),
                (flags & 1) != 0,
                (flags & 2) != 0};

  size_t length = strnlen(p, size - header);
  auto line = exactCopy(p, length);
  const char *begin = line.get();
  const char *terminator = begin + length;

  // The full reader: progress on every word, -1 only at the end, and without
  // quoting the words and delimiters are exactly the non-separator characters.
  std::string joined;
  const char *cursor = begin;
  size_t words = 0;
  for (;;) {
    const char *before = cursor;
    int delimiter = 0;
    YString word = sp_GetToken(&cursor, spec, &delimiter);
    check(cursor >= before && cursor <= terminator, "cursor within the text");
    if (delimiter == -1) {
      check(word.isEmpty(), "empty word at the end");
      break;
    }
    check(cursor > before, "every word consumes text");
    check(++words <= length, "no more words than characters");
    if (delimiter) {
      check(word.isEmpty(), "delimiter words are empty");
      joined += static_cast<char>(delimiter);
    } else {
      check(word.length() <= kMaxScanWord || quoting, "unquoted words are bounded");
      joined += word.tocs();
    }
  }
  if (!quoting) {
    std::string expected;
    for (const char *q = begin; *q; ++q)
      if (!spec.separators || !std::strchr(spec.separators, *q))
        expected += *q;
    check(joined == expected, "words and delimiters are the non-separator characters");
  }

  YArray<ScanToken> tokens;
  sp_ScanLine(begin, spec, &tokens, -1);
  check(tokens.size() == static_cast<int64_t>(words), "line scan matches the word loop");

  cursor = begin;
  YString peeked =
      sp_PeekToken(&cursor, spec.separators, spec.openQuotes, spec.closeQuotes, spec.keepQuotes);
  check(cursor == begin, "peek leaves the cursor");
  check(sp_GetToken(&cursor, spec.separators, spec.openQuotes, spec.closeQuotes, spec.keepQuotes) ==
            peeked,
        "peek sees the next word");

  cursor = begin;
  while (!sp_StrTok(&cursor, spec.separators).isEmpty())
    check(cursor <= terminator, "strtok within the text");
  check(cursor <= terminator, "strtok within the text");

  char separator = separators.empty() ? ',' : separators[0];
  cursor = begin;
  YString field;
  while (sp_SplitToken(&cursor, separator, &field))
    check(cursor <= terminator, "split token within the text");

  YArray<YString> fields;
  sp_SplitLine(begin, separator, &fields, static_cast<int>(flags >> 6));
  sp_SplitLine(begin, separator, spec.openQuotes && openQuotes.size() >= 1 ? "()" : "{}", &fields,
               3);
  if (!openQuotes.empty() && !closeQuotes.empty()) {
    char brackets[3] = {openQuotes[0], closeQuotes[0], '\0'};
    sp_SplitLine(begin, separator, brackets, &fields, 0);
  }

  auto mutableLine = exactCopy(begin, length);
  char *scan = mutableLine.get();
  while (sp_ScanLine(&scan, separator))
    check(scan <= mutableLine.get() + length, "destructive scan within the text");

  cursor = begin;
  while (sp_GetNonWS(&cursor) != 0)
    check(cursor <= terminator, "non-blank reader within the text");
  return 0;
}
