// The word readers of the netlist and ascii-file readers. They run once per
// word of every netlist line, so each call does little set-up. Nearly every
// scan cuts at characters below 64 (blank, tab, = ( ) , ; and the like): for
// those the separators and delimiters become two 64-bit masks, built with a
// few instructions per list character, and every test in the scanning loops
// is a compare, a shift and a mask. Scans with other separators or
// delimiters take the general reader, which looks characters up in the
// lists themselves.
#include "kvsupport/netlist/Tokenizer.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

// A set of characters for the scanning loops. ASCII members live in two
// 64-bit masks that the compiler keeps in registers; the rare lists with
// bytes of 0x80 and above are searched directly for such bytes.
class CharSet {
public:
  CharSet() = default;
  explicit CharSet(const char *chars) { add(chars); }
  void add(const char *chars) {
    if (!chars)
      return;
    for (const char *p = chars; *p; ++p) {
      unsigned c = static_cast<unsigned char>(*p);
      if (c < 64)
        low_ |= uint64_t{1} << c;
      else if (c < 128)
        high_ |= uint64_t{1} << (c - 64);
      else if (!lists_[0] || lists_[0] == chars)
        lists_[0] = chars;
      else
        lists_[1] = chars;
    }
  }
  // Makes has() true for the terminator too, so scanning loops need no
  // separate test for the end of the text.
  void addTerminator() { low_ |= 1; }
  // Never true for the terminator unless addTerminator() was called.
  bool has(char ch) const {
    unsigned c = static_cast<unsigned char>(ch);
    if (c < 64)
      return (low_ >> c) & 1;
    if (c < 128)
      return (high_ >> (c - 64)) & 1;
    return lists_[0] && hasHigh(ch);
  }

private:
  bool hasHigh(char ch) const {
    for (const char *list : lists_)
      if (list)
        for (const char *p = list; *p; ++p)
          if (*p == ch)
            return true;
    return false;
  }

  uint64_t low_ = 0;
  uint64_t high_ = 0;
  const char *lists_[2] = {nullptr, nullptr}; // lists holding bytes >= 0x80
};

// strchr for the short lists of a scan, without the library call; never
// matches the terminator.
inline const char *findChar(const char *chars, char c) {
  for (; *chars; ++chars)
    if (*chars == c)
      return chars;
  return nullptr;
}

// The position of `c` among the opening quotes that have a closing partner,
// or -1.
int quotePosition(const char *openQuotes, const char *closeQuotes, char c) {
  const char *found = findChar(openQuotes, c);
  if (!found)
    return -1;
  size_t position = static_cast<size_t>(found - openQuotes);
  for (size_t i = 0; i < position; ++i)
    if (closeQuotes[i] == '\0')
      return -1;
  return closeQuotes[position] ? static_cast<int>(position) : -1;
}

// Every span the readers cut ends before the terminator, so it holds no NUL
// and needs no scan for one.
YString span(const char *begin, const char *end) {
  return YString::fromSpan(begin, static_cast<size_t>(end - begin));
}

// The quoted word opening at p, closed by `close`; the cursor moves past the
// closing quote, or to the terminator when there is none.
__attribute__((noinline)) YString readQuoted(const char **cursor, const char *p, char close,
                                             const ScanSpec &spec) {
  char open = *p;
  bool nest = spec.nestQuotes && open != close;
  const char *inner = p + 1;
  const char *q = inner;
  int depth = 0;
  for (; *q; ++q) {
    if (nest && *q == open) {
      ++depth;
    } else if (*q == close) {
      if (depth == 0)
        break;
      --depth;
    }
  }
  const char *begin = spec.keepQuotes ? p : inner;
  const char *end = (spec.keepQuotes && *q) ? q + 1 : q;
  *cursor = *q ? q + 1 : q;
  return span(begin, end);
}

// The separators and delimiters of a scan as masks of the characters below
// 64. Complete only when every listed character is below 64; otherwise the
// masks are not used and the general reader serves the scan.
struct LowClasses {
  uint64_t separators = 0;
  uint64_t delimiters = 0;
  bool complete = true;
};

// Bit (c & 63) for every character of `chars` (null counts as empty); the
// characters are ORed into *all so that the caller can tell whether any of
// them is 64 or above, which would make the bit ambiguous.
inline uint64_t lowBits(const char *chars, unsigned *all) {
  uint64_t bits = 0;
  if (!chars)
    return 0;
  // Unrolled: a list of up to four characters (nearly all of them) takes
  // each branch the same way on every call, which predicts well.
  for (;; chars += 4) {
    unsigned c = static_cast<unsigned char>(chars[0]);
    if (!c)
      break;
    bits |= uint64_t{1} << (c & 63);
    *all |= c;
    c = static_cast<unsigned char>(chars[1]);
    if (!c)
      break;
    bits |= uint64_t{1} << (c & 63);
    *all |= c;
    c = static_cast<unsigned char>(chars[2]);
    if (!c)
      break;
    bits |= uint64_t{1} << (c & 63);
    *all |= c;
    c = static_cast<unsigned char>(chars[3]);
    if (!c)
      break;
    bits |= uint64_t{1} << (c & 63);
    *all |= c;
  }
  return bits;
}

inline LowClasses lowClasses(const ScanSpec &spec) {
  unsigned all = 0;
  LowClasses classes;
  classes.separators = lowBits(spec.separators, &all);
  classes.delimiters = lowBits(spec.delimiters, &all);
  classes.complete = (all & 0xC0) == 0;
  return classes;
}

inline bool inLow(uint64_t mask, char ch) {
  unsigned c = static_cast<unsigned char>(ch);
  return c < 64 && ((mask >> c) & 1);
}

// How a scan tells separators, delimiters and the end of a word: by the
// masks of characters below 64 (nearly every scan) ...
struct LowScan {
  uint64_t separators;
  uint64_t delimiters;
  uint64_t stops; // separators, delimiters and the terminator
  explicit LowScan(const LowClasses &classes)
      : separators(classes.separators), delimiters(classes.delimiters),
        stops(classes.separators | classes.delimiters | 1) {}
  bool isSeparator(char c) const { return inLow(separators, c); }
  bool isDelimiter(char c) const { return inLow(delimiters, c); }
  bool isStop(char c) const { return inLow(stops, c); }
  int delimiterCode(char c) const { return c; } // below 64: the character itself
};

// ... or by the lists themselves, for lists with characters of 64 and above.
struct ListScan {
  const char *separators;
  const char *delimiters;
  CharSet stops;
  ListScan(const char *separatorList, const char *delimiterList)
      : separators(separatorList ? separatorList : ""),
        delimiters(delimiterList ? delimiterList : ""), stops(separators) {
    stops.add(delimiters);
    stops.addTerminator();
  }
  bool isSeparator(char c) const { return c && findChar(separators, c); }
  bool isDelimiter(char c) const { return findChar(delimiters, c); }
  bool isStop(char c) const { return stops.has(c); }
  // Sign-extended like the char it comes from, except 0xFF, whose -1 would
  // read as the end of the text and stop the caller's scan.
  int delimiterCode(char c) const { return c == '\xFF' ? 0xFF : static_cast<signed char>(c); }
};

// Reads the next word, quoted word or delimiter of a scan.
template <class Scan>
inline __attribute__((always_inline)) YString readWord(const char **cursor, const ScanSpec &spec,
                                                       const Scan &scan, int *delimiter) {
  const char *p = *cursor;
  while (scan.isSeparator(*p))
    ++p;
  if (*p == '\0') {
    *cursor = p;
    *delimiter = -1;
    return YString();
  }
  *delimiter = 0;

  if (spec.openQuotes && spec.closeQuotes) {
    int position = quotePosition(spec.openQuotes, spec.closeQuotes, *p);
    if (position >= 0)
      return readQuoted(cursor, p, spec.closeQuotes[position], spec);
  }

  if (scan.isDelimiter(*p)) {
    *delimiter = scan.delimiterCode(*p);
    *cursor = p + 1;
    return YString();
  }

  // The first character is neither a separator nor a delimiter. Counting
  // rather than comparing with p + kMaxScanWord keeps every pointer within
  // the text.
  size_t length = 1;
  while (!scan.isStop(p[length]) && length != kMaxScanWord)
    ++length;
  *cursor = p + length;
  return YString::fromSpan(p, length);
}

// The general reader, out of line: scans with characters of 64 and above are rare.
__attribute__((noinline)) YString readListed(const char **cursor, const ScanSpec &spec,
                                             int *delimiter) {
  return readWord(cursor, spec, ListScan(spec.separators, spec.delimiters), delimiter);
}

// Reads words of one scan, its classes computed once.
class WordReader {
public:
  explicit WordReader(const ScanSpec &spec) : spec_(spec), classes_(lowClasses(spec)) {}
  YString read(const char **cursor, int *delimiter) const {
    return classes_.complete ? readWord(cursor, spec_, LowScan(classes_), delimiter)
                             : readListed(cursor, spec_, delimiter);
  }

private:
  const ScanSpec &spec_;
  LowClasses classes_;
};

void fillUp(YArray<YString> *fields, int minCount) {
  while (fields->size() < minCount)
    fields->add(YString());
}

} // namespace

YString sp_GetToken(const char **cursor, const ScanSpec &spec, int *delimiter) {
  int ignored;
  if (!delimiter)
    delimiter = &ignored;
  if (!cursor || !*cursor) {
    *delimiter = -1;
    return YString();
  }
  LowClasses classes = lowClasses(spec);
  if (classes.complete)
    return readWord(cursor, spec, LowScan(classes), delimiter);
  return readListed(cursor, spec, delimiter);
}

YString sp_GetToken(const char **cursor, const char *separators, const char *openQuotes,
                    const char *closeQuotes, bool keepQuotes) {
  ScanSpec spec{separators, openQuotes, closeQuotes, nullptr, keepQuotes, false};
  return sp_GetToken(cursor, spec, nullptr);
}

YString sp_PeekToken(const char **cursor, const char *separators, const char *openQuotes,
                     const char *closeQuotes, bool keepQuotes) {
  if (!cursor)
    return YString();
  const char *saved = *cursor;
  YString word = sp_GetToken(cursor, separators, openQuotes, closeQuotes, keepQuotes);
  *cursor = saved;
  return word;
}

YString sp_StrTok(const char **cursor, const char *separators) {
  if (!cursor || !*cursor)
    return YString();
  CharSet stops;
  stops.add(separators);
  const char *p = *cursor;
  while (stops.has(*p))
    ++p;
  if (*p == '\0') {
    *cursor = p;
    return YString();
  }
  if (*p == '"') {
    const char *begin = p + 1;
    const char *q = begin;
    while (*q && *q != '"' && q - begin < kMaxScanWord)
      ++q;
    YString word = span(begin, q);
    *cursor = *q == '"' ? q + 1 : q;
    return word;
  }
  const char *begin = p;
  while (*p && !stops.has(*p) && p - begin < kMaxScanWord)
    ++p;
  *cursor = p;
  return span(begin, p);
}

bool sp_SplitToken(const char **cursor, char separator, YString *field) {
  if (!cursor || !*cursor || **cursor == '\0')
    return false;
  const char *begin = *cursor;
  const char *end = separator ? std::strchr(begin, separator) : nullptr;
  if (!end)
    end = begin + std::strlen(begin);
  if (field)
    *field = span(begin, end);
  *cursor = *end ? end + 1 : end;
  return true;
}

char *sp_ScanLine(char **cursor, char separator) {
  if (!cursor || !*cursor || **cursor == '\0')
    return nullptr;
  char *begin = *cursor;
  char *end = separator ? std::strchr(begin, separator) : nullptr;
  if (end) {
    *end = '\0';
    *cursor = end + 1;
  } else {
    *cursor = begin + std::strlen(begin);
  }
  return begin;
}

int sp_GetNonWS(const char **cursor) {
  if (!cursor || !*cursor)
    return 0;
  const char *p = *cursor;
  while (*p == ' ' || *p == '\t')
    ++p;
  *cursor = p + 1;
  return static_cast<signed char>(*p);
}

void sp_ScanLine(const char *line, const char *separators, YArray<YString> *words, int count) {
  if (!line || !words)
    return;
  const ScanSpec spec{separators, nullptr, nullptr, nullptr, false, false};
  const WordReader reader(spec);
  int delimiter = 0;
  for (int appended = 0; count < 0 || appended < count; ++appended) {
    YString word = reader.read(&line, &delimiter);
    if (word.isEmpty())
      break;
    words->add(std::move(word));
  }
}

void sp_ScanLine(const char *line, const ScanSpec &spec, YArray<ScanToken> *tokens, int count) {
  if (!line || !tokens)
    return;
  const WordReader reader(spec);
  for (int appended = 0; count < 0 || appended < count; ++appended) {
    ScanToken token;
    token.text = reader.read(&line, &token.delimiter);
    if (token.delimiter == -1)
      break;
    tokens->add(std::move(token));
  }
}

void sp_ScanLine(const char *line, const ScanSpec &spec, YArray<YString> *words, int count) {
  if (!line || !words)
    return;
  const WordReader reader(spec);
  int delimiter = 0;
  for (int appended = 0; count < 0 || appended < count; ++appended) {
    YString word = reader.read(&line, &delimiter);
    if (delimiter == -1)
      break;
    words->add(std::move(word));
  }
}

void sp_SplitLine(const char *line, char separator, YArray<YString> *fields, int minCount) {
  if (!fields)
    return;
  if (line) {
    const char *begin = line;
    const char *p = line;
    for (; *p; ++p) {
      if (*p == separator) {
        fields->add(span(begin, p));
        begin = p + 1;
      }
    }
    if (p > begin)
      fields->add(span(begin, p));
  }
  fillUp(fields, minCount);
}

void sp_SplitLine(const char *line, char separator, const char *brackets, YArray<YString> *fields,
                  int minCount) {
  if (!fields || !brackets || brackets[0] == '\0' || brackets[1] == '\0' ||
      brackets[0] == brackets[1])
    return;
  const char open = brackets[0];
  const char close = brackets[1];
  enum class State { FieldStart, Plain, Bracketed, AfterBracket };
  State state = State::FieldStart;
  std::string field;
  int depth = 0;
  const char *p = line ? line : "";
  for (;; ++p) {
    char c = *p;
    bool boundary = c == '\0' || c == separator;
    if (state == State::Bracketed) {
      if (c == '\0')
        break; // never closed: the field is dropped
      if (c == open) {
        ++depth;
      } else if (c == close && --depth == 0) {
        state = State::AfterBracket;
        continue;
      }
      field += c;
      continue;
    }
    if (boundary) {
      fields->add(YString(field.c_str(), static_cast<int>(field.size())));
      field.clear();
      state = State::FieldStart;
      if (c == '\0')
        break;
      continue;
    }
    if (state == State::FieldStart) {
      if (c == open) {
        depth = 1;
        state = State::Bracketed;
      } else {
        field += c;
        state = State::Plain;
      }
    } else if (state == State::Plain) {
      field += c;
    }
    // After the closing bracket, characters up to the separator are dropped.
  }
  fillUp(fields, minCount);
}
