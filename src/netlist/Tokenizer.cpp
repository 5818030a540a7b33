// The word readers of the netlist and ascii-file readers. Character classes
// are looked up in a 256-bit set built once per call, so a word costs one
// bit test per character however many separators and delimiters there are.
#include "kvsupport/netlist/Tokenizer.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

class CharSet {
public:
  void add(const char *chars) {
    if (!chars)
      return;
    for (; *chars; ++chars) {
      unsigned char c = static_cast<unsigned char>(*chars);
      bits_[c >> 6] |= uint64_t{1} << (c & 63);
    }
  }
  // Never true for the terminator, which add() cannot insert.
  bool has(char ch) const {
    unsigned char c = static_cast<unsigned char>(ch);
    return (bits_[c >> 6] >> (c & 63)) & 1;
  }

private:
  uint64_t bits_[4] = {0, 0, 0, 0};
};

// The position of `c` among the opening quotes that have a closing partner,
// or -1.
int quotePosition(const char *openQuotes, const char *closeQuotes, char c) {
  const char *found = std::strchr(openQuotes, c);
  if (!found || c == '\0')
    return -1;
  size_t position = static_cast<size_t>(found - openQuotes);
  return position < std::strlen(closeQuotes) ? static_cast<int>(position) : -1;
}

YString span(const char *begin, const char *end) {
  return YString(begin, static_cast<int>(end - begin));
}

YString readToken(const char **cursor, const ScanSpec &spec, int *delimiter) {
  CharSet separators;
  separators.add(spec.separators);
  const char *p = *cursor;
  while (separators.has(*p))
    ++p;
  if (*p == '\0') {
    *cursor = p;
    *delimiter = -1;
    return YString();
  }
  *delimiter = 0;

  if (spec.openQuotes && spec.closeQuotes) {
    int position = quotePosition(spec.openQuotes, spec.closeQuotes, *p);
    if (position >= 0) {
      char open = *p;
      char close = spec.closeQuotes[position];
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
  }

  if (spec.delimiters && std::strchr(spec.delimiters, *p)) {
    // Codes are sign-extended like the char they come from, except 0xFF,
    // whose -1 would read as the end of the text and stop the caller's scan.
    *delimiter = *p == '\xFF' ? 0xFF : static_cast<signed char>(*p);
    *cursor = p + 1;
    return YString();
  }

  CharSet stops = separators;
  stops.add(spec.delimiters);
  const char *begin = p;
  while (*p && !stops.has(*p) && p - begin < kMaxScanWord)
    ++p;
  *cursor = p;
  return span(begin, p);
}

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
  return readToken(cursor, spec, delimiter);
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
  ScanSpec spec{separators, nullptr, nullptr, nullptr, false, false};
  int delimiter = 0;
  for (int appended = 0; count < 0 || appended < count; ++appended) {
    YString word = readToken(&line, spec, &delimiter);
    if (word.isEmpty())
      break;
    words->add(std::move(word));
  }
}

void sp_ScanLine(const char *line, const ScanSpec &spec, YArray<ScanToken> *tokens, int count) {
  if (!line || !tokens)
    return;
  for (int appended = 0; count < 0 || appended < count; ++appended) {
    ScanToken token;
    token.text = readToken(&line, spec, &token.delimiter);
    if (token.delimiter == -1)
      break;
    tokens->add(std::move(token));
  }
}

void sp_ScanLine(const char *line, const ScanSpec &spec, YArray<YString> *words, int count) {
  if (!line || !words)
    return;
  int delimiter = 0;
  for (int appended = 0; count < 0 || appended < count; ++appended) {
    YString word = readToken(&line, spec, &delimiter);
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
