// Reading and writing numbers in engineering notation.
//
// The reader is called for every value of every netlist and option, so the
// decimal part is read without strtod: short numbers (at most 19 significant
// digits whose value fits 53 bits, decimal exponent within +-22) are exact
// integers scaled by one exactly representable power of ten, which a single
// IEEE multiplication or division rounds correctly. Everything else goes to
// std::from_chars, which rounds correctly as well. Both read '.' whatever the
// process locale, so netlists read the same everywhere.
#include "kvsupport/netlist/EngineeringNumbers.h"

#include "kvsupport/strings/QtStrings.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Scale letters by exponent group + 6; index 6 (no letter) is a NUL.
constexpr char kScaleLetters[11] = {'a', 'f', 'p', 'n', 'u', 'm', '\0', 'k', 'M', 'G', 'T'};

// The scale of table position `index`: 1e-18 multiplied by 1000.0 once per
// position, so the rounding of each product is part of the scale.
constexpr double scaleAt(int index) {
  double scale = 1e-18;
  for (int i = 0; i < index; ++i)
    scale *= 1000.0;
  return scale;
}
constexpr double kScales[11] = {scaleAt(0), scaleAt(1), scaleAt(2), scaleAt(3),
                                scaleAt(4), scaleAt(5), scaleAt(6), scaleAt(7),
                                scaleAt(8), scaleAt(9), scaleAt(10)};

constexpr double kExactPowers[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                     1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

constexpr int kMaxFractionDigits = 31;
constexpr int kMaxWidth = 4096;

inline bool isDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }
inline bool isLetter(char c) { return static_cast<unsigned char>((c | 0x20) - 'a') < 26; }
inline char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Whether `p` begins with the lower-case letters `word`, ignoring case. Stops
// at the first difference, so it never reads past a terminator.
bool startsWithNoCase(const char *p, const char *word) {
  for (; *word; ++p, ++word)
    if (lower(*p) != *word)
      return false;
  return true;
}

// Position of a scale letter in the table, or -1. The table is searched from
// atto upward, so 'M' is found as milli before mega.
int scaleIndex(char c) {
  switch (lower(c)) {
  case 'a':
    return 0;
  case 'f':
    return 1;
  case 'p':
    return 2;
  case 'n':
    return 3;
  case 'u':
    return 4;
  case 'm':
    return 5;
  case 'k':
    return 7;
  case 'g':
    return 9;
  case 't':
    return 10;
  default:
    return -1;
  }
}

// Reads `digits` (a run of decimal digits, any length) as one correctly
// rounded double.
double readDigitRun(const char *digits, const char *end) {
  if (end - digits <= 15) {
    uint64_t value = 0;
    for (const char *p = digits; p < end; ++p)
      value = value * 10 + static_cast<uint64_t>(*p - '0');
    return static_cast<double>(value);
  }
  double value = 0.0;
  std::from_chars(digits, end, value, std::chars_format::fixed);
  return value;
}

// Reads [sign] digits [. digits] [(e|E) [sign] digits] at `p`. Returns the
// position behind it, or null when no digit was found.
const char *readDecimal(const char *p, double *out) {
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  const char *digitsStart = p;
  uint64_t mantissa = 0;
  int significant = 0;   // digits from the first non-zero one
  int leadingZeros = 0;  // zeros after the point before the first non-zero digit
  int integerDigits = 0; // significant digits before the point
  int scale10 = 0;       // power of ten applied to `mantissa`
  bool anyDigit = false;
  for (; isDigit(*p); ++p) {
    anyDigit = true;
    if (mantissa == 0 && *p == '0' && significant == 0)
      continue;
    if (significant < 19)
      mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
    ++significant;
    ++integerDigits;
  }
  if (*p == '.') {
    ++p;
    for (; isDigit(*p); ++p) {
      anyDigit = true;
      if (significant == 0 && *p == '0') {
        ++leadingZeros;
        --scale10;
        continue;
      }
      if (significant < 19) {
        mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
        --scale10;
      }
      ++significant;
    }
  }
  if (!anyDigit)
    return nullptr;
  long exponent = 0;
  if (*p == 'e' || *p == 'E') {
    const char *q = p + 1;
    bool negativeExponent = false;
    if (*q == '+' || *q == '-') {
      negativeExponent = *q == '-';
      ++q;
    }
    if (isDigit(*q)) {
      for (; isDigit(*q); ++q)
        if (exponent < 100000000)
          exponent = exponent * 10 + (*q - '0');
      if (negativeExponent)
        exponent = -exponent;
      p = q;
    }
  }

  double value;
  if (significant == 0) {
    value = 0.0;
  } else if (significant <= 19 && mantissa <= (uint64_t{1} << 53) && exponent + scale10 >= -22 &&
             exponent + scale10 <= 22) {
    // Both operands are exact, so the one rounding is the correct one.
    long power = exponent + scale10;
    double m = static_cast<double>(mantissa);
    value = power >= 0 ? m * kExactPowers[power] : m / kExactPowers[-power];
  } else {
    value = 0.0;
    std::from_chars_result result = std::from_chars(digitsStart, p, value);
    if (result.ec == std::errc::result_out_of_range) {
      // Beyond the double range: the decimal exponent of the leading digit
      // tells an overflow (infinity) from an underflow (zero).
      long leading = integerDigits > 0 ? integerDigits - 1 : -(leadingZeros + 1);
      value = leading + exponent > 0 ? HUGE_VAL : 0.0;
    }
  }
  *out = negative ? -value : value;
  return p;
}

// 10^|exponent| by repeated squaring of 10.0; its reciprocal for a negative
// exponent.
double powerOfTen(int exponent) {
  unsigned n = static_cast<unsigned>(exponent < 0 ? -exponent : exponent);
  double result = 1.0, base = 10.0;
  while (n) {
    if (n & 1)
      result *= base;
    n >>= 1;
    if (n)
      base *= base;
  }
  return exponent < 0 ? 1.0 / result : result;
}

// Digits before the decimal point of |mantissa|; 0 for zero.
int integerDigits(double mantissa) {
  double magnitude = std::fabs(mantissa);
  if (magnitude == 0.0)
    return 0;
  return static_cast<int>(std::floor(std::log10(magnitude))) + 1;
}

// "%.*g" followed by `suffix`, always with '.' as the decimal point. A
// precision beyond 800 prints like 800: no double has more significant
// digits, and "%g" drops trailing zeros.
YString formatG(int precision, double value, const char *suffix) {
  if (precision > 800)
    precision = 800;
  char buffer[900];
  int n = std::snprintf(buffer, sizeof buffer, "%.*g%s", precision, value, suffix);
  if (n < 0)
    return YString();
  if (n >= static_cast<int>(sizeof buffer))
    n = static_cast<int>(sizeof buffer) - 1;
  // A host that set a national locale may have made the point a comma.
  const char *point = std::localeconv()->decimal_point;
  if (point && point[0] != '.' && point[0] != '\0' && point[1] == '\0')
    for (int i = 0; i < n; ++i)
      if (buffer[i] == point[0])
        buffer[i] = '.';
  return YString(buffer, n);
}

int clampWidth(int width) { return width > kMaxWidth ? kMaxWidth : width; }

} // namespace

double sp_ConvertEngToReal(const char *text, char **end) {
  if (!text)
    return 0.0;
  char *start = const_cast<char *>(text);
  if (startsWithNoCase(text, "inf") || startsWithNoCase(text, "nan")) {
    if (end)
      *end = start;
    return 0.0;
  }
  const char *p = text;
  while (isCSpace(*p))
    ++p;
  double number;
  p = readDecimal(p, &number);
  if (!p) {
    if (end)
      *end = start;
    return 0.0;
  }
  if (number == 0.0 || *p == '\0') {
    if (end)
      *end = const_cast<char *>(p);
    return number == 0.0 ? 0.0 : number;
  }

  double scale;
  if (startsWithNoCase(p, "meg")) {
    scale = 1e6;
    p += 3;
  } else if (startsWithNoCase(p, "mil")) {
    scale = 2.54e-5;
    p += 3;
  } else if (int index = scaleIndex(*p); index >= 0) {
    scale = kScales[index];
    ++p;
  } else if (isLetter(*p)) {
    scale = 1.0;
    ++p;
  } else {
    if (end)
      *end = const_cast<char *>(p);
    return number;
  }

  if (isDigit(*p)) {
    const char *digits = p;
    double divisor = 1.0;
    while (isDigit(*p) && p - digits < kMaxFractionDigits) {
      divisor *= 10.0;
      ++p;
    }
    number += readDigitRun(digits, p) / divisor;
  }
  if (end)
    *end = const_cast<char *>(p);
  return number * scale;
}

double sp_ConvertEngToReal(const QString &text, char **end) {
  Tocs bytes(text);
  return sp_ConvertEngToReal(static_cast<const char *>(bytes), end);
}

double sp_GetEngToken(char **cursor, bool *failed) {
  if (!cursor || !*cursor) {
    if (failed)
      *failed = true;
    return 0.0;
  }
  char *end = *cursor;
  double value = sp_ConvertEngToReal(*cursor, &end);
  if (end == *cursor) {
    if (failed)
      *failed = true;
    return 0.0;
  }
  while (isLetter(*end) || *end == '_')
    ++end;
  *cursor = end;
  if (failed)
    *failed = false;
  return value;
}

YString sp_FormatEng(double value, int width, bool percent, bool zeroFill) {
  if (!std::isfinite(value))
    return YString("INF");
  width = clampWidth(width);
  bool negative = value < 0;
  double magnitude = std::fabs(value);
  if (magnitude < 1e-300) {
    // Shown as a plain 0, never "-0".
    magnitude = 0.0;
    negative = false;
  }
  int group = magnitude == 0.0 ? 0 : static_cast<int>(std::floor(std::log10(magnitude) / 3));
  int exponent = 3 * group;

  char suffix[16] = "";
  if (percent && magnitude >= 1e-7 && magnitude < 10) {
    if (magnitude >= 0.001) {
      std::strcpy(suffix, "%");
      exponent = -2;
    } else {
      std::strcpy(suffix, "ppm");
      exponent = -6;
    }
  } else if (group + 6 >= 0 && group + 6 <= 10) {
    if (group == 2)
      std::strcpy(suffix, "Meg");
    else
      suffix[0] = kScaleLetters[group + 6];
  } else {
    std::snprintf(suffix, sizeof suffix, "E%d", exponent);
  }
  int suffixLength = static_cast<int>(std::strlen(suffix));

  double mantissa = magnitude / powerOfTen(exponent);
  if (negative)
    mantissa = -mantissa;

  int w = width - 1;
  if (w < 3) {
    int digits = integerDigits(mantissa);
    if (digits > w)
      w = digits;
  }
  int precision = w - suffixLength - (negative ? 1 : 0) - (std::fabs(mantissa) < 1 ? 1 : 0);
  if (precision < 3)
    precision = 3;

  if (!zeroFill) {
    YString text = formatG(precision, mantissa, suffix);
    if (w + 1 > 0)
      text.pad(static_cast<unsigned>(w + 1));
    return text;
  }
  YString digits = formatG(precision, mantissa, "");
  int fieldLength = w - suffixLength + 1;
  if (digits.length() < fieldLength) {
    if (std::strchr(digits.tocs(), '.') == nullptr)
      digits &= ".";
    digits.pad(static_cast<unsigned>(fieldLength), '0');
  }
  digits &= suffix;
  return digits;
}

YString sp_FormatReal(double value, int width, bool percent) {
  width = clampWidth(width);
  if (width < 0)
    width = 0;
  // Precision 0 prints one significant digit; a negative one would mean
  // "%g"'s default of six, which narrow fields cannot hold.
  int precision = value >= 0 ? width - 2 : width - 3;
  if (precision < 0)
    precision = 0;
  YString text;
  if (!percent) {
    text = formatG(precision, value, "");
    while (text.length() > width - 1 && precision > 0)
      text = formatG(--precision, value, "");
  } else {
    if (precision > 0)
      --precision;
    double shown = value * 100;
    text = formatG(precision, shown, "%");
    if (text.length() - 1 > width - 1)
      while (precision > 0 && text.length() > width - 1)
        text = formatG(--precision, shown, "%");
  }
  text.pad(static_cast<unsigned>(width));
  return text;
}

YString sp_ConvertRealToJSEng(double value, int precision, bool exponentOnly) {
  if (!std::isfinite(value))
    return YString("INF");
  if (value == 0.0)
    return YString("0");
  double magnitude = std::fabs(value);
  int group = static_cast<int>(std::floor(std::log10(magnitude) / 3));

  char suffix[16] = "";
  if (!exponentOnly && group + 6 >= 0 && group + 6 <= 10) {
    if (group == 2)
      std::strcpy(suffix, "Meg");
    else
      suffix[0] = kScaleLetters[group + 6];
  } else {
    std::snprintf(suffix, sizeof suffix, "E%d", 3 * group);
  }

  double mantissa;
  if (group > 100 || group < -100) {
    // 10^(3 * group) would leave the double range: divide in three steps.
    double step = powerOfTen(group);
    mantissa = magnitude / step / step / step;
  } else {
    mantissa = magnitude / powerOfTen(3 * group);
  }
  if (value < 0)
    mantissa = -mantissa;

  if (precision < 3) {
    int digits = integerDigits(mantissa);
    if (digits > precision)
      precision = digits;
  }
  return formatG(precision, mantissa, suffix);
}

YString sp_GetVlPrecStringFromResolution(double resolution) {
  struct Row {
    double lower, upper;
    const char *text;
  };
  static const Row kRows[] = {
      {9.999e-16, 9.999e-15, "1fs"},   {9.999e-15, 9.999e-14, "10fs"},
      {9.999e-14, 9.999e-13, "100fs"}, {9.999e-13, 9.999e-12, "1ps"},
      {9.999e-12, 9.999e-11, "10ps"},  {9.999e-11, 9.999e-10, "100ps"},
      {9.999e-10, 9.999e-9, "1ns"},    {9.999e-9, 9.999e-8, "10ns"},
      {9.999e-8, 9.999e-7, "100ns"},   {9.999e-7, 9.999e-6, "1us"},
      {9.999e-6, 9.999e-5, "10us"},    {9.999e-5, 9.999e-4, "100us"},
      {9.999e-4, 9.999e-3, "1ms"},     {9.999e-3, 9.999e-2, "10ms"},
      {9.999e-2, 0.9999, "100ms"},     {0.9999, 9.999, "1s"},
      {9.999, 99.99, "10s"},           {99.99, 100.1, "100s"},
  };
  for (const Row &row : kRows)
    if (row.lower < resolution && resolution <= row.upper)
      return YString(row.text);
  return YString();
}
