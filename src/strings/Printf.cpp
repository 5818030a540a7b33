#include "kvsupport/strings/Printf.h"

#include "kvsupport/strings/FilePrintfBuf.h"
#include "kvsupport/strings/StringPrintfBuf.h"

#include <cstring>
#include <cwchar>

namespace {

// The entry points reach the protected engine through a thin sink that
// forwards everything to the real one.
template <class Sink> class Entry : public Sink {
public:
  using Sink::Sink;
  bool run(const char *format, const PrintfArg *const *args, int count) {
    return this->process(format, nullptr, args, count);
  }
};

template <class... Args> bool formatFile(FILE *file, const char *fmt, const Args &...args) {
  Entry<FilePrintfBuf> sink(file);
  const PrintfArg *pointers[sizeof...(Args) + 1] = {&args...};
  return sink.run(fmt, pointers, static_cast<int>(sizeof...(Args)));
}

template <class... Args>
bool formatString(char *buffer, int size, const char *fmt, const Args &...args) {
  Entry<StringPrintfBuf> sink(buffer, size);
  const PrintfArg *pointers[sizeof...(Args) + 1] = {&args...};
  return sink.run(fmt, pointers, static_cast<int>(sizeof...(Args)));
}

} // namespace

bool sp_sprintf(char *buffer, int size, const char *format) {
  return formatString(buffer, size, format);
}
bool sp_sprintf(char *buffer, int size, const char *format, PrintfArg a1) {
  return formatString(buffer, size, format, a1);
}
bool sp_sprintf(char *buffer, int size, const char *format, PrintfArg a1, PrintfArg a2) {
  return formatString(buffer, size, format, a1, a2);
}
bool sp_sprintf(char *buffer, int size, const char *format, PrintfArg a1, PrintfArg a2,
                PrintfArg a3) {
  return formatString(buffer, size, format, a1, a2, a3);
}
bool sp_sprintf(char *buffer, int size, const char *format, PrintfArg a1, PrintfArg a2,
                PrintfArg a3, PrintfArg a4) {
  return formatString(buffer, size, format, a1, a2, a3, a4);
}

bool sp_fprintf(FILE *file, const char *fmt) { return formatFile(file, fmt); }
bool sp_fprintf(FILE *file, const char *fmt, PrintfArg a1) { return formatFile(file, fmt, a1); }
bool sp_fprintf(FILE *file, const char *fmt, PrintfArg a1, PrintfArg a2) {
  return formatFile(file, fmt, a1, a2);
}
bool sp_fprintf(FILE *file, const char *fmt, PrintfArg a1, PrintfArg a2, PrintfArg a3) {
  return formatFile(file, fmt, a1, a2, a3);
}
bool sp_fprintf(FILE *file, const char *fmt, PrintfArg a1, PrintfArg a2, PrintfArg a3,
                PrintfArg a4) {
  return formatFile(file, fmt, a1, a2, a3, a4);
}

int sp_EstimatePrintfBufferSize(const char *format, va_list args) {
  if (!format)
    return 0;
  va_list walk;
  va_copy(walk, args);
  long long total = 0;
  const long long limit = 0x7FFFFFFF;
  auto readNumber = [](const char *&at) {
    long long value = 0;
    while (*at >= '0' && *at <= '9') {
      if (value < 0x7FFFFFFF)
        value = value * 10 + (*at - '0');
      ++at;
    }
    return value;
  };
  const char *at = format;
  while (*at) {
    if (*at != '%') {
      ++total;
      ++at;
      continue;
    }
    ++at;
    if (*at == '%') {
      ++at;
      continue;
    }
    while (*at == '*' || *at == '+' || *at == '-' || *at == '0')
      ++at;
    long long width = readNumber(at);
    long long precision = 0;
    if (*at == '.') {
      ++at;
      precision = readNumber(at);
    }
    const char conversion = *at;
    if (conversion == '\0') {
      if (total < width)
        total = width;
      break;
    }
    ++at;
    // Each conversion takes its argument with the type it was passed as.
    switch (conversion) {
    case 's': {
      const char *text = va_arg(walk, const char *);
      total += text ? static_cast<long long>(std::strlen(text)) : 0;
      break;
    }
    case 'S': {
      const wchar_t *text = va_arg(walk, const wchar_t *);
      total += text ? static_cast<long long>(std::wcslen(text)) : 0;
      break;
    }
    case 'E':
    case 'G':
    case 'e':
    case 'f':
    case 'g':
      (void)va_arg(walk, double);
      total += precision > 50 ? precision : 50;
      break;
    case 'c':
      (void)va_arg(walk, int);
      total += 1;
      break;
    case 'X':
    case 'd':
    case 'i':
    case 'o':
    case 'u':
    case 'x':
      (void)va_arg(walk, int);
      total += 50;
      break;
    case 'C':
      (void)va_arg(walk, int);
      total += 10;
      break;
    case 'n':
      (void)va_arg(walk, void *);
      total += 50;
      break;
    case 'p':
      (void)va_arg(walk, void *);
      total += 32;
      break;
    default:
      break;
    }
    if (total < width)
      total = width;
    if (total > limit)
      total = limit;
  }
  va_end(walk);
  return static_cast<int>(total);
}
