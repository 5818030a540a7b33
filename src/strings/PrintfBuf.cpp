#include "kvsupport/strings/PrintfBuf.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// A growing text for the literal run and the rebuilt specification: 256
// bytes on the stack, doubling on the heap beyond that, always terminated.
class GrowText {
public:
  GrowText() { data_[0] = '\0'; }
  ~GrowText() {
    if (data_ != inline_)
      std::free(data_);
  }
  GrowText(const GrowText &) = delete;
  GrowText &operator=(const GrowText &) = delete;

  void push(char c) {
    if (size_ + 1 >= capacity_)
      grow(size_ + 2);
    data_[size_++] = c;
    data_[size_] = '\0';
  }
  void append(const char *text, size_t length) {
    if (size_ + length >= capacity_)
      grow(size_ + length + 1);
    std::memcpy(data_ + size_, text, length);
    size_ += length;
    data_[size_] = '\0';
  }
  void appendDecimal(int value) {
    char digits[16];
    int n = std::snprintf(digits, sizeof digits, "%d", value);
    append(digits, static_cast<size_t>(n));
  }
  void clear() {
    size_ = 0;
    data_[0] = '\0';
  }
  bool isEmpty() const { return size_ == 0; }
  const char *text() const { return data_; }

private:
  void grow(size_t needed) {
    size_t capacity = capacity_;
    while (capacity < needed)
      capacity *= 2;
    char *data = static_cast<char *>(data_ == inline_ ? std::malloc(capacity)
                                                      : std::realloc(data_, capacity));
    if (!data)
      throw std::bad_alloc();
    if (data_ == inline_)
      std::memcpy(data, inline_, size_ + 1);
    data_ = data;
    capacity_ = capacity;
  }

  char inline_[256];
  char *data_ = inline_;
  size_t size_ = 0;
  size_t capacity_ = sizeof inline_;
};

bool isMissing(const PrintfArg *arg) { return !arg || arg->getType() == PrintfArg::MissingType; }

// atoi of a text, saturated to the int range instead of overflowing.
int textToInt(const char *text) {
  if (!text)
    return 0;
  long long value = std::strtoll(text, nullptr, 10);
  if (value > INT_MAX)
    return INT_MAX;
  if (value < INT_MIN)
    return INT_MIN;
  return static_cast<int>(value);
}

// The argument as an int: text by atoi, 64-bit values clamped to
// +-2147483647, doubles rounded down (NaN gives 0, out-of-range saturates).
int argToInt(const PrintfArg &arg) {
  switch (arg.getType()) {
  case PrintfArg::TextType:
    return textToInt(arg.getText());
  case PrintfArg::IntType:
    return arg.getInt();
  case PrintfArg::Int64Type: {
    int64_t v = arg.getInt64();
    if (v > 2147483647)
      return 2147483647;
    if (v < -2147483647)
      return -2147483647;
    return static_cast<int>(v);
  }
  case PrintfArg::DoubleType: {
    double v = std::floor(arg.getDouble());
    if (std::isnan(v))
      return 0;
    if (v >= 2147483647.0)
      return INT_MAX;
    if (v <= -2147483648.0)
      return INT_MIN;
    return static_cast<int>(v);
  }
  default:
    return 0;
  }
}

// The argument as a 64-bit integer: text read as decimal, doubles truncated
// toward zero (NaN gives 0, out-of-range saturates).
int64_t argToInt64(const PrintfArg &arg) {
  switch (arg.getType()) {
  case PrintfArg::TextType:
    return arg.getText() ? std::strtoll(arg.getText(), nullptr, 10) : 0;
  case PrintfArg::IntType:
    return arg.getInt();
  case PrintfArg::Int64Type:
    return arg.getInt64();
  case PrintfArg::DoubleType: {
    double v = arg.getDouble();
    if (std::isnan(v))
      return 0;
    if (v >= 9223372036854775807.0)
      return INT64_MAX;
    if (v <= -9223372036854775808.0)
      return INT64_MIN;
    return static_cast<int64_t>(v);
  }
  default:
    return 0;
  }
}

double argToDouble(const PrintfArg &arg) {
  switch (arg.getType()) {
  case PrintfArg::TextType:
    return arg.getText() ? std::strtod(arg.getText(), nullptr) : 0.0;
  case PrintfArg::IntType:
    return arg.getInt();
  case PrintfArg::Int64Type:
    return static_cast<double>(arg.getInt64());
  case PrintfArg::DoubleType:
    return arg.getDouble();
  default:
    return 0.0;
  }
}

// The text "%s" prints for an argument; `scratch` holds number texts.
const char *argToText(const PrintfArg &arg, char (&scratch)[40]) {
  switch (arg.getType()) {
  case PrintfArg::TextType:
    return arg.getText() ? arg.getText() : "(null)";
  case PrintfArg::IntType:
    std::snprintf(scratch, sizeof scratch, "%d", arg.getInt());
    return scratch;
  case PrintfArg::Int64Type:
    std::snprintf(scratch, sizeof scratch, "%lld", static_cast<long long>(arg.getInt64()));
    return scratch;
  case PrintfArg::DoubleType:
    std::snprintf(scratch, sizeof scratch, "%g", arg.getDouble());
    return scratch;
  case PrintfArg::UnsupportedType:
    return "<unsupported>";
  default:
    return "<error>";
  }
}

int clampField(long long value) {
  if (value > PrintfBuf::kMaxFieldSize)
    return PrintfBuf::kMaxFieldSize;
  if (value < -PrintfBuf::kMaxFieldSize)
    return -PrintfBuf::kMaxFieldSize;
  return static_cast<int>(value);
}

// Reads a run of decimal digits, saturating instead of overflowing.
long long readDigits(const char *&at) {
  long long value = 0;
  while (*at >= '0' && *at <= '9') {
    if (value < 1000000000LL)
      value = value * 10 + (*at - '0');
    ++at;
  }
  return value;
}

const char kArgMissing[] = "<arg-missing>";

} // namespace

bool PrintfBuf::printf(const char *format) { return process(format, nullptr, nullptr, 0); }

bool PrintfBuf::printf(const char *format, const PrintfArg &a1) {
  const PrintfArg *args[] = {&a1};
  return process(format, nullptr, args, 1);
}

bool PrintfBuf::printf(const char *format, const PrintfArg &a1, const PrintfArg &a2) {
  const PrintfArg *args[] = {&a1, &a2};
  return process(format, nullptr, args, 2);
}

bool PrintfBuf::printf(const char *format, const PrintfArg &a1, const PrintfArg &a2,
                       const PrintfArg &a3) {
  const PrintfArg *args[] = {&a1, &a2, &a3};
  return process(format, nullptr, args, 3);
}

bool PrintfBuf::printf(const char *format, const PrintfArg &a1, const PrintfArg &a2,
                       const PrintfArg &a3, const PrintfArg &a4) {
  const PrintfArg *args[] = {&a1, &a2, &a3, &a4};
  return process(format, nullptr, args, 4);
}

bool PrintfBuf::printf(const char *format, YArray<PrintfArg> args) {
  int64_t size = args.size();
  int count = size > INT_MAX ? INT_MAX : static_cast<int>(size);
  const PrintfArg *small[8];
  const PrintfArg **pointers = small;
  if (count > 8) {
    pointers = static_cast<const PrintfArg **>(std::malloc(sizeof(PrintfArg *) * count));
    if (!pointers)
      throw std::bad_alloc();
  }
  for (int i = 0; i < count; ++i)
    pointers[i] = &args[i];
  bool result;
  try {
    result = process(format, nullptr, pointers, count);
  } catch (...) {
    if (pointers != small)
      std::free(pointers);
    throw;
  }
  if (pointers != small)
    std::free(pointers);
  return result;
}

// Conversion specifications are rebuilt rather than copied, so what reaches
// a sink is always a well-formed C conversion: flags from " #+-0", a width
// and precision of at most kMaxFieldSize, "ll" only before an integer
// conversion, and one of "s", "eEfgG", "diouxXc". Everything else the format
// may contain turns into a placeholder, never into C-library behaviour.
bool PrintfBuf::process(const char *format, int *used, const PrintfArg *const *args, int count) {
  if (count < 0 || !args)
    count = 0;
  const char *at = format ? format : "";
  int position = 0;
  GrowText literal;
  GrowText spec;

  auto flushLiteral = [&] {
    if (!literal.isEmpty()) {
      printf_local(literal.text());
      literal.clear();
    }
  };
  // The next argument for a '*': an int by the usual rules, or nothing when
  // no position is left (then no position is consumed).
  auto starArgument = [&](int *value) {
    if (position >= count)
      return false;
    const PrintfArg *arg = args[position++];
    *value = arg ? argToInt(*arg) : 0;
    return true;
  };

  for (;;) {
    const char *percent = std::strchr(at, '%');
    if (!percent) {
      literal.append(at, std::strlen(at));
      break;
    }
    literal.append(at, static_cast<size_t>(percent - at));
    if (percent[1] == '%') {
      literal.push('%');
      at = percent + 2;
      continue;
    }

    // A conversion: rebuild its specification.
    const char *p = percent + 1;
    spec.clear();
    spec.push('%');
    while (*p == ' ' || *p == '#' || *p == '+' || *p == '-' || *p == '0')
      spec.push(*p++);

    int width = 0;
    if (*p == '*') {
      ++p;
      int value;
      if (starArgument(&value)) {
        value = clampField(value);
        spec.appendDecimal(value);
        width = value < 0 ? -value : value;
      }
    } else if (*p >= '0' && *p <= '9') {
      width = clampField(readDigits(p));
      spec.appendDecimal(width);
    }

    if (*p == '.') {
      ++p;
      if (*p == '*') {
        ++p;
        int value;
        // A negative precision from an argument means no precision at all.
        if (starArgument(&value) && value >= 0) {
          spec.push('.');
          spec.appendDecimal(clampField(value));
        }
      } else {
        spec.push('.');
        if (*p >= '0' && *p <= '9')
          spec.appendDecimal(clampField(readDigits(p)));
      }
    }

    bool wide = false;
    for (bool more = true; more;) {
      switch (*p) {
      case 'h':
      case 'w':
        ++p;
        break;
      case 'l':
        if (p[1] == 'l') {
          wide = true;
          p += 2;
        } else {
          ++p;
        }
        break;
      case 'I':
        if (p[1] == '6' && p[2] == '4') {
          wide = true;
          p += 3;
        } else if (p[1] == '3' && p[2] == '2') {
          p += 3;
        } else {
          ++p;
        }
        break;
      default:
        more = false;
      }
    }

    const char conversion = *p;
    flushLiteral();
    if (position >= count || isMissing(args[position])) {
      printf_local(kArgMissing);
    } else {
      const PrintfArg &arg = *args[position];
      switch (conversion) {
      case 's': {
        char scratch[40];
        spec.push('s');
        printf_local(spec.text(), argToText(arg, scratch), width);
        break;
      }
      case 'e':
      case 'E':
      case 'f':
      case 'g':
      case 'G':
        spec.push(conversion);
        printf_local(spec.text(), argToDouble(arg), width);
        break;
      case 'c':
        // A character is always an int; a 64-bit marking only changes how
        // the argument is read.
        spec.push('c');
        printf_local(spec.text(), wide ? static_cast<int>(argToInt64(arg)) : argToInt(arg), width);
        break;
      case 'd':
      case 'i':
      case 'o':
      case 'u':
      case 'x':
      case 'X':
        if (wide) {
          spec.append("ll", 2);
          spec.push(conversion);
          printf_local(spec.text(), argToInt64(arg), width);
        } else {
          spec.push(conversion);
          printf_local(spec.text(), argToInt(arg), width);
        }
        break;
      case 'C':
      case 'S':
      case 'n':
      case 'p':
        printf_local("<unsupported-format-type>");
        break;
      default:
        printf_local("<unrecognised-format-type>");
        break;
      }
    }
    ++position;
    if (conversion == '\0')
      break;
    at = p + 1;
  }

  flushLiteral();
  if (used)
    *used = position;
  write();
  return position <= count;
}
