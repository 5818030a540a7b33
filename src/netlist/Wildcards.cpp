// Wildcards, regular expressions and natural order.
//
// sp_GlobMatch rewrites the wildcard into a QRegExp. Most rewrites use no
// regular-expression syntax beyond literals, `.` and `(.){1,}`; those are
// matched here directly, on the same UTF-16 text, because QRegExp tries every
// split of every `(.){1,}` and turns quadratic (and worse) on patterns such
// as *a*a*a*b over long texts. The direct matcher finds each star-free
// segment at its leftmost place after the previous one, which gives the same
// leftmost start in time proportional to pattern times text.
//
// sp_FilterString and sp_CompareStrings work on bytes with ASCII case and
// digits whatever the locale: names in files must sort and match the same on
// every machine.
#include "kvsupport/netlist/Wildcards.h"

#include "kvsupport/netlist/Tokenizer.h"
#include "netlist/Wildcards_p.h"

#include <QRegExp>
#include <QString>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

QString fromUtf8(const char *text) { return QString::fromUtf8(text ? text : ""); }

// ---- UTF-16 positions as byte offsets ------------------------------------------

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at `p` (before `end`), and in
// *units the UTF-16 units it gives; 0 when the byte starts none, in which case
// QString::fromUtf8 gives one replacement character for the byte alone.
int sequenceLength(const unsigned char *p, const unsigned char *end, int *units) {
  unsigned char b = *p;
  *units = 1;
  if (b < 0x80)
    return 1;
  int need;
  unsigned min, code;
  if (b < 0xC2)
    return 0;
  if (b < 0xE0) {
    need = 2, min = 0x80, code = b & 0x1Fu;
  } else if (b < 0xF0) {
    need = 3, min = 0x800, code = b & 0x0Fu;
  } else if (b < 0xF5) {
    need = 4, min = 0x10000, code = b & 0x07u;
  } else {
    return 0;
  }
  if (end - p < need)
    return 0;
  for (int i = 1; i < need; ++i) {
    if (!isContinuation(p[i]))
      return 0;
    code = code << 6 | (p[i] & 0x3Fu);
  }
  if (code < min || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
    return 0;
  *units = code >= 0x10000 ? 2 : 1;
  return need;
}

} // namespace

namespace kv::netlist {

int utf16IndexToByteOffset(const char *text, int index) {
  if (!text || index < 0)
    return -1;
  auto p = reinterpret_cast<const unsigned char *>(text);
  const unsigned char *start = p, *end = p + std::strlen(text);
  if (end - p >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF)
    p += 3; // QString::fromUtf8 drops a leading byte order mark
  int unit = 0;
  while (p < end) {
    int units;
    int length = sequenceLength(p, end, &units);
    if (index < unit + units)
      return static_cast<int>(p - start); // within a surrogate pair: its character's start
    unit += units;
    p += length ? length : 1;
  }
  return static_cast<int>(p - start);
}

int globMatchByRegExp(const char *pattern, const char *text) {
  QRegExp expression(fromUtf8(sp_GlobToRegExp(pattern).tocs()), Qt::CaseSensitive, QRegExp::RegExp);
  if (!expression.isValid())
    return -1;
  int index = fromUtf8(text).indexOf(expression, 0);
  return index < 0 ? -1 : utf16IndexToByteOffset(text ? text : "", index);
}

namespace {

// One step of a rewritten pattern that the direct matcher handles.
struct Step {
  enum Kind { Literal, Any, Star } kind;
  QChar literal;
};

// Reads the rewrite as QRegExp would, as long as it uses nothing but
// literals, escaped literals, one-character classes, `.` and `(.){1,}`
// (which is `.` followed by a star of zero or more). False for anything
// else, which then goes to QRegExp.
bool simpleSteps(const QString &expression, std::vector<Step> *steps) {
  static const QString kOneOrMore = QStringLiteral("(.){1,}");
  const int n = expression.size();
  for (int i = 0; i < n;) {
    const QChar c = expression[i];
    switch (c.unicode()) {
    case '\\': {
      const ushort escaped = i + 1 < n ? expression[i + 1].unicode() : 0;
      if (escaped == 0 || escaped > 0x7F || !std::strchr("[](){}\\", static_cast<char>(escaped)))
        return false;
      steps->push_back({Step::Literal, expression[i + 1]});
      i += 2;
      break;
    }
    case '[': {
      if (i + 2 >= n || expression[i + 2] != QLatin1Char(']'))
        return false;
      const QChar inside = expression[i + 1];
      if (inside != QLatin1Char('.') && inside != QLatin1Char('+') && inside != QLatin1Char('*') &&
          inside != QLatin1Char('?'))
        return false;
      steps->push_back({Step::Literal, inside});
      i += 3;
      break;
    }
    case '(':
      if (expression.midRef(i, kOneOrMore.size()) != kOneOrMore)
        return false;
      steps->push_back({Step::Any, QChar()});
      steps->push_back({Step::Star, QChar()});
      i += kOneOrMore.size();
      break;
    case '.':
      steps->push_back({Step::Any, QChar()});
      ++i;
      break;
    case '^':
    case '$':
    case '|':
    case ']':
    case ')':
    case '{':
    case '}':
    case '*':
    case '+':
    case '?':
      return false;
    default:
      steps->push_back({Step::Literal, c});
      ++i;
      break;
    }
  }
  return true;
}

// Whether the star-free steps [first, last) match `text` at `at`.
bool segmentMatchesAt(const std::vector<Step> &steps, size_t first, size_t last, const QChar *text,
                      int at) {
  for (size_t s = first; s < last; ++s, ++at)
    if (steps[s].kind == Step::Literal && steps[s].literal != text[at])
      return false;
  return true;
}

// The leftmost place at or after `from` where the segment matches, or -1.
int findSegment(const std::vector<Step> &steps, size_t first, size_t last, const QChar *text,
                int length, int from) {
  const int width = static_cast<int>(last - first);
  for (int at = from; at + width <= length; ++at)
    if (segmentMatchesAt(steps, first, last, text, at))
      return at;
  return -1;
}

} // namespace

int globMatchDirect(const char *pattern, const char *text) {
  std::vector<Step> steps;
  if (!simpleSteps(fromUtf8(sp_GlobToRegExp(pattern).tocs()), &steps))
    return kNotDirect;
  const QString subject = fromUtf8(text);
  const QChar *units = subject.constData();
  const int length = subject.size();

  size_t segmentEnd = 0;
  while (segmentEnd < steps.size() && steps[segmentEnd].kind != Step::Star)
    ++segmentEnd;
  const int start = findSegment(steps, 0, segmentEnd, units, length, 0);
  if (start < 0)
    return -1;
  // Any later start leaves less text for the rest, so if the rest does not
  // fit after the leftmost first segment it fits after none.
  int at = start + static_cast<int>(segmentEnd);
  while (segmentEnd < steps.size()) {
    size_t first = segmentEnd + 1;
    size_t last = first;
    while (last < steps.size() && steps[last].kind != Step::Star)
      ++last;
    int found = findSegment(steps, first, last, units, length, at);
    if (found < 0)
      return -1;
    at = found + static_cast<int>(last - first);
    segmentEnd = last;
  }
  return utf16IndexToByteOffset(text ? text : "", start);
}

} // namespace kv::netlist

YString sp_GlobToRegExp(const char *pattern) {
  std::string out;
  if (pattern) {
    for (const char *p = pattern; *p;) {
      if (*p == '\\') {
        const char *run = p;
        while (*p == '\\')
          ++p;
        size_t count = static_cast<size_t>(p - run);
        if ((*p == '*' || *p == '?') && count % 2 == 1) {
          out.append(count - 1, '\\');
          out += *p == '*' ? "[*]" : "[?]";
          ++p;
        } else {
          out.append(count, '\\'); // pairs, or an escape of what follows
        }
        continue;
      }
      switch (*p) {
      case '[':
      case ']':
      case '(':
      case ')':
      case '{':
      case '}':
        out += '\\';
        out += *p;
        break;
      case '.':
        out += "[.]";
        break;
      case '+':
        out += "[+]";
        break;
      case '*':
        out += "(.){1,}";
        break;
      case '?':
        out += '.';
        break;
      default:
        out += *p;
        break;
      }
      ++p;
    }
  }
  return YString::fromSpan(out.data(), out.size());
}

int sp_GlobMatch(const char *pattern, const char *text) {
  int direct = kv::netlist::globMatchDirect(pattern, text);
  return direct != kv::netlist::kNotDirect ? direct : kv::netlist::globMatchByRegExp(pattern, text);
}

int sp_RegexpMatch(const char *pattern, const char *text) {
  QRegExp expression(fromUtf8(pattern), Qt::CaseSensitive, QRegExp::RegExp);
  if (!expression.isValid())
    return -1;
  int index = fromUtf8(text).indexOf(expression, 0);
  return index < 0 ? -1 : kv::netlist::utf16IndexToByteOffset(text ? text : "", index);
}

namespace {

unsigned char foldCase(unsigned c) {
  return static_cast<unsigned char>(c - 'A' < 26u ? c + ('a' - 'A') : c);
}
bool isDigit(unsigned c) { return c - '0' < 10u; }

} // namespace

bool sp_FilterString(const char *text, const YString &filter, bool caseSensitive) {
  const auto *p = reinterpret_cast<const unsigned char *>(filter.tocs());
  const size_t m = std::strlen(filter.tocs());
  if (m == 1 && p[0] == '*')
    return true;
  const auto *t = reinterpret_cast<const unsigned char *>(text ? text : "");
  const size_t n = std::strlen(reinterpret_cast<const char *>(t));
  auto same = [caseSensitive](unsigned char a, unsigned char b) {
    return a == b || (!caseSensitive && foldCase(a) == foldCase(b));
  };

  // One restore point, at the latest star: a mismatch after it retries with
  // the star taking one more byte. Earlier stars never need to take more,
  // since the latest one can absorb anything they would.
  constexpr size_t kNoStar = static_cast<size_t>(-1);
  size_t ti = 0, pi = 0, starPattern = kNoStar, starText = 0;
  while (ti < n) {
    if (pi < m) {
      unsigned char c = p[pi];
      if (c == '*') {
        while (pi < m && p[pi] == '*')
          ++pi;
        if (pi == m)
          return true;
        starPattern = pi;
        starText = ti;
        continue;
      }
      if (c == '?') {
        ++pi, ++ti;
        continue;
      }
      if (c == '\\') {
        // A lone backslash at the end never matches: there is nothing to escape.
        if (pi + 1 < m && same(p[pi + 1], t[ti])) {
          pi += 2, ++ti;
          continue;
        }
      } else if (same(c, t[ti])) {
        ++pi, ++ti;
        continue;
      }
    }
    if (starPattern == kNoStar)
      return false;
    ti = ++starText;
    pi = starPattern;
  }
  while (pi < m && p[pi] == '*')
    ++pi;
  return pi == m;
}

int sp_CompareStrings(const char *a, const char *b) {
  const auto *p = reinterpret_cast<const unsigned char *>(a ? a : "");
  const auto *q = reinterpret_cast<const unsigned char *>(b ? b : "");
  int tieBreaker = 0;
  for (;;) {
    unsigned x = *p, y = *q;
    while (x == y && !isDigit(x)) {
      if (x == 0)
        return tieBreaker;
      x = *++p;
      y = *++q;
    }
    if (!isDigit(x) || !isDigit(y)) {
      // As signed chars: the end (0) sorts before every ASCII byte and after
      // every byte from 0x80 on.
      auto fx = static_cast<signed char>(foldCase(x));
      auto fy = static_cast<signed char>(foldCase(y));
      if (fx != fy)
        return fx > fy ? 1 : -1;
      ++p, ++q;
      continue;
    }
    // Two runs of digits: the one with more significant digits is greater;
    // with as many, the first differing digit decides; with the same value,
    // the first pair written with different counts of zeros settles a tie.
    const unsigned char *startP = p, *startQ = q;
    while (*p == '0')
      ++p;
    while (*q == '0')
      ++q;
    while (*p == *q && isDigit(*p))
      ++p, ++q;
    int firstDifference = 0;
    if (isDigit(*p) && isDigit(*q)) {
      firstDifference = *p > *q ? 1 : -1;
      do
        ++p, ++q;
      while (isDigit(*p) && isDigit(*q));
    }
    if (isDigit(*p))
      return 1;
    if (isDigit(*q))
      return -1;
    if (firstDifference != 0)
      return firstDifference;
    if (tieBreaker == 0 && p - startP != q - startQ)
      tieBreaker = p - startP > q - startQ ? 1 : -1;
  }
}

void sp_CompileFilter(const char *filters, YArray<YString> *out, const char *separator) {
  if (!filters || !out)
    return;
  YArray<YString> fields;
  sp_SplitLine(filters, '|', &fields, 0);
  for (int64_t i = 0; i + 1 < fields.size(); i += 2) {
    std::string entry = fields[i].tocs();
    for (char &c : entry)
      c = c == '(' ? '[' : c == ')' ? ']' : c;
    YArray<YString> patterns;
    sp_SplitLine(fields[i + 1].tocs(), ';', &patterns, 0);
    entry += " (";
    for (int64_t k = 0; k < patterns.size(); ++k) {
      if (k > 0 && separator)
        entry += separator;
      entry += patterns[k].tocs();
    }
    entry += ")";
    out->add(YString::fromSpan(entry.data(), entry.size()));
  }
}
