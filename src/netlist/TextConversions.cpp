// Small conversions used when words are stored or shown.
#include "kvsupport/netlist/TextConversions.h"

#include <climits>
#include <cstring>
#include <string>

YString sp_ConvertDosToUnix(YString text) {
  if (std::strchr(text.tocs(), '\r'))
    text.convertDosToUnix();
  return text;
}

YString sp_ConvertUnixToDos(const YString &text) {
  const char *p = text.tocs();
  if (!std::strchr(p, '\n'))
    return text;
  std::string out;
  out.reserve(static_cast<size_t>(text.length()) + 16);
  for (const char *q = p; *q; ++q) {
    if (*q == '\n' && (q == p || q[-1] != '\r'))
      out += '\r';
    out += *q;
  }
  return YString(out.c_str(), static_cast<int>(out.size()));
}

YString sp_itoa64(long long value) {
  char buffer[24];
  char *end = buffer + sizeof buffer;
  char *p = end;
  // Work with the magnitude as unsigned so the most negative value has one.
  unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0)
    *--p = '-';
  return YString(p, static_cast<int>(end - p));
}

long long sp_atoi64(const char *text) {
  if (!text)
    return 0;
  const char *p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
    ++p;
  bool negative = false;
  if (*p == '+' || *p == '-')
    negative = *p++ == '-';
  unsigned long long limit = negative ? static_cast<unsigned long long>(LLONG_MAX) + 1
                                      : static_cast<unsigned long long>(LLONG_MAX);
  unsigned long long magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    unsigned digit = static_cast<unsigned>(*p - '0');
    if (magnitude > (limit - digit) / 10) {
      magnitude = limit;
      break;
    }
    magnitude = magnitude * 10 + digit;
  }
  if (negative)
    return magnitude == limit ? LLONG_MIN : -static_cast<long long>(magnitude);
  return static_cast<long long>(magnitude);
}

unsigned int sp_HashValue(const char *text) {
  if (!text)
    return 0;
  unsigned int hash = 0;
  for (const char *p = text; *p; ++p) {
    int c = static_cast<signed char>(*p);
    if (c >= 'a' && c <= 'z')
      c -= 'a' - 'A';
    hash = ((static_cast<unsigned int>(c) & 0xFFFFu) ^ (hash & 0xFFFFu)) * 2;
  }
  return hash;
}

void sp_FillString(char **out, const YList<YString> *list) {
  if (!out || !list)
    return;
  int i = 0;
  for (const YString &text : *list) {
    YString copy(text);
    out[i++] = copy.detach();
  }
}
