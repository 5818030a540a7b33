#include "kvsupport/strings/StringPrintfBuf.h"

#include "kvsupport/support/KelvantaException.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Decimal digits of `value` written backwards ending at `end`; returns the
// first character.
char *formatDecimal(long long value, char *end) {
  unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  char *p = end;
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0)
    *--p = '-';
  return p;
}

// Whether `spec` is exactly '%' followed by `conversion` (no flags, width or
// precision), the common case that is formatted without the C library.
bool isPlain(const char *spec, char conversion) {
  return spec[0] == '%' && spec[1] == conversion && spec[2] == '\0';
}
bool isPlain64(const char *spec) {
  return spec[0] == '%' && spec[1] == 'l' && spec[2] == 'l' && spec[3] == 'd' && spec[4] == '\0';
}

// Formats a double under "%e", "%f" or "%g" with an optional precision of
// at most two digits and nothing else, as the C library would (the
// precision forms of to_chars are defined as that printf formatting);
// returns the end, or null for any other specification or when the text
// would not fit.
char *formatFloating(const char *spec, double value, char *first, char *last) {
  if (spec[0] != '%')
    return nullptr;
  const char *p = spec + 1;
  int precision = 6;
  if (*p == '.') {
    ++p;
    precision = 0;
    for (int digits = 0; *p >= '0' && *p <= '9'; ++p, ++digits) {
      if (digits == 2)
        return nullptr;
      precision = precision * 10 + (*p - '0');
    }
  }
  if (p[1] != '\0')
    return nullptr;
  std::chars_format format;
  switch (*p) {
  case 'e':
    format = std::chars_format::scientific;
    break;
  case 'f':
    format = std::chars_format::fixed;
    break;
  case 'g':
    format = std::chars_format::general;
    break;
  default:
    return nullptr;
  }
  std::to_chars_result result = std::to_chars(first, last, value, format, precision);
  return result.ec == std::errc() ? result.ptr : nullptr;
}

} // namespace

StringPrintfBuf::StringPrintfBuf(char *buffer, int size) : cursor_(buffer), buffer_(buffer) {
  if (buffer && size >= 1) {
    room_ = size - 1;
    buffer[0] = '\0';
  }
}

StringPrintfBuf::~StringPrintfBuf() = default;

bool StringPrintfBuf::reallocate(int) { return false; }

// The size hint of a value piece: its field width when it has one, else
// enough to double the buffer.
int StringPrintfBuf::valueHint(int width) const {
  if (width >= 1)
    return width;
  long long doubled = 2LL * room_;
  if (doubled > VarStringPrintfBuf::kMaxCapacity)
    doubled = VarStringPrintfBuf::kMaxCapacity;
  return doubled > 512 ? static_cast<int>(doubled) : 512;
}

// Asks for room for a piece of `length` characters. The request is never
// smaller than the piece itself, so a sink that grows as asked always makes
// progress; one that reports success without growing ends the attempt.
bool StringPrintfBuf::makeRoom(int hint, int length) {
  int needed = hint > length ? hint : length + 1;
  int before = room_;
  return reallocate(needed) && room_ > before && room_ >= 0;
}

void StringPrintfBuf::putText(const char *text, size_t length, int hint) {
  if (length > static_cast<size_t>(VarStringPrintfBuf::kMaxCapacity))
    return;
  const int size = static_cast<int>(length);
  for (;;) {
    if (room_ < 0 || !cursor_)
      return;
    if (size <= room_) {
      std::memcpy(cursor_, text, length);
      cursor_ += size;
      room_ -= size;
      *cursor_ = '\0';
      return;
    }
    if (!makeRoom(hint, size))
      return;
  }
}

template <class T> void StringPrintfBuf::putValue(const char *spec, T value, int width) {
  for (;;) {
    if (room_ < 0 || !cursor_)
      return;
    int n = std::snprintf(cursor_, static_cast<size_t>(room_) + 1, spec, value);
    if (n >= 0 && n <= room_) {
      cursor_ += n;
      room_ -= n;
      return;
    }
    // Too long (or not formattable): take back the truncated part so that
    // nothing of a dropped piece stays in the buffer.
    std::memset(cursor_, 0, static_cast<size_t>(room_) + 1);
    if (n < 0 || !makeRoom(valueHint(width), n))
      return;
  }
}

void StringPrintfBuf::printf_local(const char *spec, int64_t value, int width) {
  if (isPlain64(spec)) {
    char digits[24];
    char *first = formatDecimal(value, digits + sizeof digits);
    putText(first, static_cast<size_t>(digits + sizeof digits - first), valueHint(width));
    return;
  }
  putValue(spec, static_cast<long long>(value), width);
}

void StringPrintfBuf::printf_local(const char *spec, int value, int width) {
  if (isPlain(spec, 'd')) {
    char digits[16];
    char *first = formatDecimal(value, digits + sizeof digits);
    putText(first, static_cast<size_t>(digits + sizeof digits - first), valueHint(width));
    return;
  }
  putValue(spec, value, width);
}

void StringPrintfBuf::printf_local(const char *spec, double value, int width) {
  char text[400];
  if (char *end = formatFloating(spec, value, text, text + sizeof text)) {
    putText(text, static_cast<size_t>(end - text), valueHint(width));
    return;
  }
  putValue(spec, value, width);
}

void StringPrintfBuf::printf_local(const char *spec, const char *text, int width) {
  if (!text)
    text = "(null)";
  if (isPlain(spec, 's')) {
    putText(text, std::strlen(text), valueHint(width));
    return;
  }
  putValue(spec, text, width);
}

void StringPrintfBuf::printf_local(const char *text) {
  if (!text)
    return;
  size_t length = std::strlen(text);
  putText(text, length, static_cast<int>(length < 0x7FFFFFFE ? length + 1 : 0x7FFFFFFE));
}

VarStringPrintfBuf::VarStringPrintfBuf() {
  inline_[0] = '\0';
  buffer_ = cursor_ = inline_;
  room_ = kInlineSize - 1;
}

VarStringPrintfBuf::~VarStringPrintfBuf() {
  if (!inlineInUse_)
    std::free(buffer_);
}

bool VarStringPrintfBuf::reallocate(int needed) {
  if (needed <= room_)
    return true;
  // `used` counts the terminator, so the room after growth is exactly the
  // new capacity less what is kept.
  const long long used = static_cast<long long>(capacity_) - room_;
  const long long capacity =
      needed > static_cast<long long>(capacity_) + room_ ? used + needed : 2LL * capacity_;
  if (capacity > kMaxCapacity)
    return false;
  char *data;
  if (inlineInUse_) {
    data = static_cast<char *>(std::malloc(static_cast<size_t>(capacity)));
    if (data)
      std::memcpy(data, inline_, kInlineSize);
  } else {
    data = static_cast<char *>(std::realloc(buffer_, static_cast<size_t>(capacity)));
  }
  if (!data)
    throw MemoryException("*** Fatal error, out of memory ***\nDetected in VarStringPrintfBuf");
  inlineInUse_ = false;
  buffer_ = data;
  capacity_ = static_cast<int>(capacity);
  cursor_ = data + used - 1;
  room_ = static_cast<int>(capacity - used);
  return true;
}
