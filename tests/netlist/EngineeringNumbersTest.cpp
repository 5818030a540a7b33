#include "kvsupport/netlist/EngineeringNumbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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
  const ReadCase cases[] = {
      {"10uF", 1.0000000000000003e-05, 3},
      {"2M", 0.0020000000000000005, 2},
      {"3mil", 7.620000000000001e-05, 4},
      {"4k7", 4700.000000000001, 3},
      {"4R7", 4.7, 3},
      {"1.05", 1.05, 4},
      {"5 k", 5.0, 1},
      {"  -2u", -2.0000000000000003e-06, 5},
      {"1e3k", 1000000.0000000002, 4},
      {"1e", 1.0, 2}, // the e is no exponent: a letter of scale 1
      {".5p", 0.5 * scaleByMultiplication(2), 3},
      {"7\xC3\xA9", 7.0, 1},                // a non-ASCII byte is no suffix
      {"1me", scaleByMultiplication(5), 2}, // not "meg": milli, then the e is left
      // Nothing read, or zero: zero.
      {"-0.0u", 0.0, 4},
      {"", 0.0, 0},
      {"NaN", 0.0, 0},
      {"1e-400k", 0.0, 6},
      // Past the exact fast path: correctly rounded, as strtod reads them.
      {"1e23", 1e23, 4},
      {"2.4703282292062327e-324", 0.0, 23},
      {"1.7976931348623159e308", 1.0 / 0.0, 22},
      {"3.14159265358979323846264338327950288", 3.141592653589793, 37},
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
  EXPECT_EQ(sp_GetEngToken(nullptr, nullptr), 0.0);
}

// The three writers: 'E' sp_FormatEng(value, width, flag, zeroFill), 'R'
// sp_FormatReal(value, width, flag), 'J' sp_ConvertRealToJSEng(value,
// width as the precision, flag as exponentOnly).
TEST(EngineeringNumbersTest, WritersFillTheirFields) {
  struct Case {
    char writer;
    double value;
    int width;
    bool flag, zeroFill;
    const char *text;
  } cases[] = {
      {'E', -0.0047, 8, false, false, "-4.7m   "},
      {'E', 2e-7, 8, true, false, "0.2ppm  "},
      {'E', 1e-7, 8, true, false, "0.1ppm  "},
      {'E', 5e-301, 8, false, false, "0       "},
      {'E', 4700, 6, false, true, "4.700k"},
      {'E', 1e6, 8, false, false, "1Meg    "},
      {'E', 1.5e16, 8, false, false, "15E15   "},
      {'E', 2.5e-20, 8, false, false, "25E-21  "},
      {'E', 123456, 2, false, false, "123k"}, // narrow field widened to the integer digits
      {'E', 1.0 / 0.0, 8, false, false, "INF"},
      {'E', 1.0, -1000, false, false, "1 "},
      {'R', 3.14159265, 6, false, false, "3.142 "},
      {'R', 0.123456, 5, true, false, "12%  "},
      {'R', 123456.789, 9, true, false, "1.2e+07% "},
      {'R', 1234567.891, 8, false, false, "1.2e+06 "},
      // Narrow fields: one significant digit at most, never "%g"'s six.
      {'R', -1234567.891, 2, false, false, "-1e+06"},
      {'R', 0.123456, 1, true, false, "1e+01%"},
      {'J', 4700, 6, false, false, "4.7k"},
      {'J', 4700, 6, true, false, "4.7E3"},
      {'J', -0.0, 6, false, false, "0"},
      {'J', 123456, 1, false, false, "123k"}, // precision raised to the integer digits
      {'J', 1.7976931348623157e308, 6, false, false, "179.769E306"},
      {'J', 6.3146365992999999e+302, 17, false, false,
       "631.46365992999961E300"}, // one division by 1e300
      {'J', 8.475863032002955e-298, 17, false, false, "847.58630320029602E-300"},
      {'J', 1.0 / 3.0, 15, false, false, "333.333333333333m"},
  };
  for (const Case &c : cases) {
    YString text = c.writer == 'E'   ? sp_FormatEng(c.value, c.width, c.flag, c.zeroFill)
                   : c.writer == 'R' ? sp_FormatReal(c.value, c.width, c.flag)
                                     : sp_ConvertRealToJSEng(c.value, c.width, c.flag);
    EXPECT_STREQ(text.tocs(), c.text) << c.writer << " " << c.value << " width " << c.width;
  }
  EXPECT_EQ(sp_FormatEng(1.0, 1 << 30, false, false).length(), 4096);
  // Whatever the width, text never exceeds what one significant digit needs.
  for (int width = -3; width < 3; ++width)
    for (double value : {-1.7976931348623157e308, -4.9e-324, 1e-300, 123.0})
      for (bool percent : {false, true})
        EXPECT_LE(sp_FormatReal(value, width, percent).length(), 8) << value << " " << width;
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
