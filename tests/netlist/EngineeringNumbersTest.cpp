#include "kvsupport/netlist/EngineeringNumbers.h"

#include <QString>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

// Bit-exact comparison: EXPECT_EQ on doubles would let 0.0 and -0.0 pass.
uint64_t bits(double value) {
  uint64_t out;
  std::memcpy(&out, &value, sizeof out);
  return out;
}

// The scale of table position `index` as the reader defines it.
double scaleByMultiplication(int index) {
  double scale = 1e-18;
  for (int i = 0; i < index; ++i)
    scale *= 1000.0;
  return scale;
}

struct ReadCase {
  const char *text;
  double value;
  int end; // index where reading stopped
};

TEST(EngineeringNumbersTest, ReadsSuffixesWithTheirRoundedScales) {
  const double kilo = scaleByMultiplication(7);
  const double micro = scaleByMultiplication(4);
  const ReadCase cases[] = {
      {"10uF", 1.0000000000000003e-05, 3},
      {"1.5MEG", 1.5e6, 6},
      {"1meg5", 1.5e6, 5},
      {"2M", 0.0020000000000000005, 2},
      {"3mil", 7.620000000000001e-05, 4},
      {"4k7", 4700.000000000001, 3},
      {"4R7", 4.7, 3},
      {"2V5", 2.5, 3},
      {"5 k", 5.0, 1},
      {"  -2u", -2.0000000000000003e-06, 5},
      {"1e3k", 1000000.0000000002, 4},
      {"1e", 1.0, 2}, // the e is no exponent: a letter of scale 1
      {".5p", 0.5 * scaleByMultiplication(2), 3},
      {"+7T", 7 * scaleByMultiplication(10), 3},
      {"1g", scaleByMultiplication(9), 2},
      {"10k,", 10 * kilo, 3},
      {"2u\xC3\xA9", 2 * micro, 2},
      {"7\xC3\xA9", 7.0, 1},                // a non-ASCII byte is no suffix
      {"1me", scaleByMultiplication(5), 2}, // not "meg": milli, then the e is left
      // Nothing read, or zero: zero.
      {"-0.0u", 0.0, 4},
      {"0e5meg", 0.0, 3},
      {"", 0.0, 0},
      {"  inf", 0.0, 0},
      {"NaN", 0.0, 0},
      {"0x1p3", 0.0, 1},
      {"+.e1", 0.0, 0},
      {"1e-400k", 0.0, 6},
  };
  for (const ReadCase &c : cases) {
    char *end = nullptr;
    double value = sp_ConvertEngToReal(c.text, &end);
    EXPECT_EQ(bits(value), bits(c.value)) << c.text << " read as " << value;
    EXPECT_EQ(end - c.text, c.end) << c.text;
  }
  char *untouched = reinterpret_cast<char *>(&untouched);
  EXPECT_EQ(sp_ConvertEngToReal(static_cast<const char *>(nullptr), &untouched), 0.0);
  EXPECT_EQ(untouched, reinterpret_cast<char *>(&untouched));
  EXPECT_EQ(sp_ConvertEngToReal("3k", nullptr), 3 * kilo);
  EXPECT_EQ(sp_ConvertEngToReal(QString::fromLatin1("4k7"), nullptr), 4700.000000000001);
  EXPECT_EQ(sp_ConvertEngToReal(QString(), nullptr), 0.0);
}

// After a scale letter at most 31 digits count; sixteen and more are read
// as one correctly rounded number.
TEST(EngineeringNumbersTest, FractionTakesAtMostThirtyOneDigits) {
  const std::string digits31(31, '3'), text = "1k" + digits31 + "9";
  char *end = nullptr;
  double value = sp_ConvertEngToReal(text.c_str(), &end);
  EXPECT_EQ(end - text.c_str(), 2 + 31);
  double divisor = 1.0; // 10^31 as the reader forms it, a factor at a time
  for (int i = 0; i < 31; ++i)
    divisor *= 10.0;
  EXPECT_EQ(bits(value), bits((1.0 + std::strtod(digits31.c_str(), nullptr) / divisor) *
                              scaleByMultiplication(7)));
  value = sp_ConvertEngToReal("2u12345678901234567", &end);
  EXPECT_EQ(*end, '\0');
  EXPECT_EQ(bits(value),
            bits((2.0 + std::strtod("0.12345678901234567", nullptr)) * scaleByMultiplication(4)));
}

// The decimal part must read exactly as strtod reads it in the "C" locale,
// through the fast path and the long path alike.
TEST(EngineeringNumbersTest, DecimalsMatchStrtodBitForBit) {
  auto matchesStrtod = [](const std::string &text) {
    char *end = nullptr, *strtodEnd = nullptr;
    double value = sp_ConvertEngToReal(text.c_str(), &end);
    double expected = std::strtod(text.c_str(), &strtodEnd);
    EXPECT_EQ(end, strtodEnd) << text;
    EXPECT_EQ(bits(value), bits(expected == 0.0 ? 0.0 : expected)) << text;
    return end == strtodEnd && bits(value) == bits(expected == 0.0 ? 0.0 : expected);
  };
  // Rounding boundaries, the ends of the range, overlong digits and exponents.
  const char *fixed[] = {"1e23",
                         "9007199254740993",
                         "2.2250738585072011e-308",
                         "2.4703282292062327e-324",
                         "1.7976931348623159e308",
                         "1e-99999999999",
                         "3.14159265358979323846264338327950288"};
  for (const char *text : fixed)
    matchesStrtod(text);

  std::mt19937_64 random(20261206);
  std::uniform_int_distribution<int> digitCount(1, 25), digit(0, 9), exponent(-340, 330),
      choice(0, 3);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    if (choice(random) == 0)
      text += '-';
    int before = digitCount(random) - 1, after = choice(random) ? digitCount(random) : 0;
    for (int i = 0; i < before; ++i)
      text += static_cast<char>('0' + digit(random));
    if (after || before == 0) {
      text += '.';
      for (int i = 0; i < std::max(after, 1); ++i)
        text += static_cast<char>('0' + digit(random));
    }
    if (choice(random) != 0)
      text += "e" + std::to_string(choice(random) == 0 ? exponent(random) / 15 : exponent(random));
    ASSERT_TRUE(matchesStrtod(text));
  }
}

TEST(EngineeringNumbersTest, GetEngTokenSkipsUnitNames) {
  const ReadCase cases[] = {
      {"10uF rest", 1.0000000000000003e-05, 4}, {"3.3V)", 3.3, 4}, {"0k", 0.0, 2}, {"abc", 0.0, 0}};
  for (const ReadCase &c : cases) {
    char *cursor = const_cast<char *>(c.text);
    bool failed = c.end != 0;
    double value = sp_GetEngToken(&cursor, &failed);
    EXPECT_EQ(failed, c.end == 0) << c.text;
    EXPECT_EQ(bits(value), bits(c.value)) << c.text;
    EXPECT_EQ(cursor - c.text, c.end) << c.text;
  }
  char *null = nullptr;
  bool failed = false;
  EXPECT_EQ(sp_GetEngToken(&null, &failed), 0.0);
  EXPECT_TRUE(failed);
}

struct FormatCase {
  double value;
  int width;
  bool percent;
  bool zeroFill;
  const char *text;
};

TEST(EngineeringNumbersTest, FormatEngFillsTheField) {
  const FormatCase cases[] = {
      {-0.0047, 8, false, false, "-4.7m   "},
      {0.05, 8, true, false, "5%      "},
      {2e-7, 8, true, false, "0.2ppm  "},
      {1e-7, 8, true, false, "0.1ppm  "},
      {5e-301, 8, false, false, "0       "},
      {4700, 6, false, true, "4.700k"},
      {1e6, 8, false, false, "1Meg    "},
      {1.5e16, 8, false, false, "15E15   "},
      {2.5e-20, 8, false, false, "25E-21  "},
      {123456, 2, false, false, "123k"}, // narrow field widened to the integer digits
      {12, 6, false, true, "12.000"},
      {1.0 / 0.0, 8, false, false, "INF"},
      {std::nan(""), 8, false, false, "INF"},
  };
  for (const FormatCase &c : cases)
    EXPECT_STREQ(sp_FormatEng(c.value, c.width, c.percent, c.zeroFill).tocs(), c.text)
        << c.value << " width " << c.width;
  EXPECT_EQ(sp_FormatEng(1.0, 1 << 30, false, false).length(), 4096);
  EXPECT_EQ(sp_FormatEng(1.0, -1000, false, false), "1 ");
}

TEST(EngineeringNumbersTest, FormatRealShortensToTheWidth) {
  const FormatCase cases[] = {
      {3.14159265, 6, false, false, "3.142 "},
      {1234567, 6, false, false, "1e+06 "},
      {0.5, 6, true, false, "50%   "},
      {0.123456, 6, true, false, "12.3% "},
      {0.123456, 5, true, false, "12%  "},
      // Narrow fields: one significant digit at most, never "%g"'s six.
      {-1234567.891, 2, false, false, "-1e+06"},
      {0.123456, 1, true, false, "1e+01%"},
      {7, 1, false, false, "7"},
  };
  for (const FormatCase &c : cases)
    EXPECT_STREQ(sp_FormatReal(c.value, c.width, c.percent).tocs(), c.text)
        << c.value << " width " << c.width;
  // Whatever the width, text never exceeds what one significant digit needs.
  for (int width = -3; width < 3; ++width)
    for (double value : {-1.7976931348623157e308, -4.9e-324, 1e-300, 123.0})
      for (bool percent : {false, true})
        EXPECT_LE(sp_FormatReal(value, width, percent).length(), 8) << value << " " << width;
}

// FormatCase here: the value, the precision, exponentOnly, -, the text.
TEST(EngineeringNumbersTest, JSEngIsCompact) {
  const FormatCase cases[] = {
      {4700, 6, false, false, "4.7k"},
      {1e16, 6, false, false, "10E15"},
      {4700, 6, true, false, "4.7E3"},
      {1e-19, 6, false, false, "100E-21"},
      {0.0, 6, false, false, "0"},
      {-0.0, 6, false, false, "0"},
      {123456, 1, false, false, "123k"}, // precision raised to the integer digits
      {1.0 / 0.0, 6, false, false, "INF"},
      {1.7976931348623157e308, 6, false, false, "179.769E306"},
      {6.3146365992999999e+302, 17, false, false,
       "631.46365992999961E300"}, // one division by 1e300
      {4.9406564584124654e-324, 6, false, false, "4.94066E-324"},
      {1.0 / 3.0, 15, false, false, "333.333333333333m"},
  };
  for (const FormatCase &c : cases)
    EXPECT_STREQ(sp_ConvertRealToJSEng(c.value, c.width, c.percent).tocs(), c.text) << c.value;
}

// Written text must read back as the same value at full precision, whatever
// the scale letter.
TEST(EngineeringNumbersTest, JSEngReadsBackThroughTheReader) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> exponent(-25, 20);
  for (int i = 0; i < 2000; ++i) {
    double value = mantissa(random) * std::pow(10.0, exponent(random));
    YString text = sp_ConvertRealToJSEng(value, 17, false);
    double back = sp_ConvertEngToReal(text.tocs(), nullptr);
    EXPECT_NEAR(back, value, std::fabs(value) * 1e-14) << text.tocs();
  }
}

TEST(EngineeringNumbersTest, FormattingIgnoresTheLocaleDecimalComma) {
  const char *previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
    GTEST_SKIP() << "no locale with a decimal comma installed";
  YString compact = sp_ConvertRealToJSEng(4700, 6, false);
  YString plain = sp_FormatReal(3.25, 6, false);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(compact, "4.7k");
  EXPECT_EQ(plain, "3.25  ");
}

TEST(EngineeringNumbersTest, PrecisionTextBoundsAreInclusiveAbove) {
  struct Case {
    double resolution;
    const char *text;
  } cases[] = {
      {1e-9, "1ns"},   {9.999e-10, "100ps"}, {200.0, ""},        {1e-15, "1fs"},
      {9.999e-16, ""}, {100.1, "100s"},      {100.2, ""},        {0.5, "100ms"},
      {0.0, ""},       {-1.0, ""},           {std::nan(""), ""},
  };
  for (const auto &c : cases)
    EXPECT_STREQ(sp_GetVlPrecStringFromResolution(c.resolution).tocs(), c.text) << c.resolution;
}

} // namespace
