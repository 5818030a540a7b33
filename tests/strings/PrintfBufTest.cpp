#include "kvsupport/strings/PrintfBuf.h"
#include "kvsupport/strings/Printf.h"
#include "kvsupport/strings/StringPrintfBuf.h"
#include "kvsupport/strings/YString.h"

#include <QString>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

// A growing sink whose engine can be driven directly.
class Formatter : public VarStringPrintfBuf {
public:
  using PrintfBuf::process;
};

// The text, whether every argument was there, and the positions used.
std::tuple<std::string, bool, int> run(const char *format, const std::vector<PrintfArg> &args) {
  std::vector<const PrintfArg *> pointers;
  for (const PrintfArg &arg : args)
    pointers.push_back(&arg);
  Formatter sink;
  int used = -1;
  bool ok = sink.process(format, &used, pointers.data(), static_cast<int>(pointers.size()));
  return {sink.getBuffer(), ok, used};
}

struct Case {
  const char *format;
  std::vector<PrintfArg> args;
  const char *expected;
  bool ok;
  int used;
};

// How each tag is read by each kind of conversion, the placeholders, and how
// many positions each construct consumes. Plain conversions of matching
// arguments are compared with the C library further down.
TEST(PrintfBufTest, ConvertsArgumentsAndCountsPositions) {
  const long long big = 5000000000LL;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"100%% done", {}, "100% done", true, 0},
      // "%s" of every tag.
      {"%s", {42}, "42", true, 1},
      {"%s", {big}, "5000000000", true, 1},
      {"%s", {2.5}, "2.5", true, 1},
      {"%s", {static_cast<const char *>(nullptr)}, "(null)", true, 1},
      {"%s", {PrintfArg::withTag(PrintfArg::UnsupportedType)}, "<unsupported>", true, 1},
      {"%s", {PrintfArg::withTag(9)}, "<error>", true, 1},
      // 32-bit integer conversions.
      {"%d", {"-99999999999"}, "-2147483648", true, 1},
      {"%d", {static_cast<const char *>(nullptr)}, "0", true, 1},
      {"%d", {-2.5}, "-3", true, 1},
      {"%d", {1e300}, "2147483647", true, 1},
      {"%d", {nan}, "0", true, 1},
      {"%d", {big}, "2147483647", true, 1},
      {"%d", {-big}, "-2147483647", true, 1},
      {"%d", {PrintfArg::withTag(PrintfArg::UnsupportedType)}, "0", true, 1},
      {"%c%c", {65, "66"}, "AB", true, 2},
      // Length modifiers: dropped, or marking a 64-bit conversion.
      {"%ld %hd %wd %I32d %Id", {7, 8, 9, 10, 11}, "7 8 9 10 11", true, 5},
      {"%I64x", {255}, "ff", true, 1},
      {"%I3d|%I6d", {1, 2}, "<unrecognised-format-type>d|<unrecognised-format-type>d", true, 2},
      {"%lld", {-2.5}, "-2", true, 1},
      {"%lld", {"123456789012"}, "123456789012", true, 1},
      {"%llx", {-1}, "ffffffffffffffff", true, 1},
      {"%lld", {1e300}, "9223372036854775807", true, 1},
      {"%llf", {1.5}, "1.500000", true, 1},
      // Floating conversions.
      {"%f", {"2.5x"}, "2.500000", true, 1},
      {"%.1f %.1f %.1f", {3, 7LL, 0.25}, "3.0 7.0 0.2", true, 3},
      // '*' widths and precisions take their own positions.
      {"%*d|", {-4, 7}, "7   |", true, 2},
      {"%*d|", {2.7, 7}, " 7|", true, 2},
      {"%.*f", {-1, 3.5}, "3.500000", true, 2},
      {"%.*f", {0, 3.5}, "4", true, 2},
      {"%*d", {6}, "<arg-missing>", false, 2},
      {"%*d", {PrintfArg(), 5}, "5", true, 2},
      // Missing arguments.
      {"%d %d", {1}, "1 <arg-missing>", false, 2},
      {"%d %s", {1, PrintfArg()}, "1 <arg-missing>", true, 2},
      // Conversions the engine does not do.
      {"%p|%n", {1, 2}, "<unsupported-format-type>|<unsupported-format-type>", true, 2},
      {"%1$d", {3}, "<unrecognised-format-type>d", true, 1},
      {"%5%", {1}, "<unrecognised-format-type>", true, 1},
      {"%", {}, "<arg-missing>", false, 1},
      {"abc%", {1}, "abc<unrecognised-format-type>", true, 1},
      {"abc%5.2l", {1, 2}, "abc<unrecognised-format-type>", true, 1},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(run(c.format, c.args), std::make_tuple(std::string(c.expected), c.ok, c.used))
        << c.format;
  }
}

TEST(PrintfBufTest, OwnedTextsSurviveCopiesAndCallers) {
  PrintfArg fromQString(QString::fromUtf8("gr\xc3\xbc\xc3\x9f"));
  PrintfArg copy;
  {
    PrintfArg original(YString("copied"));
    copy = original;
    PrintfArg moved(std::move(original));
    EXPECT_EQ(std::get<0>(run("%s", {moved})), "copied");
  }
  std::vector<PrintfArg> args{fromQString, copy};
  EXPECT_EQ(std::get<0>(run("%s %s", args)), "gr\xc3\xbc\xc3\x9f copied");
  // A borrowed text is the caller's: a move leaves the source pointing at it.
  const char *text = "borrowed";
  PrintfArg borrowed(text);
  PrintfArg taker(std::move(borrowed));
  EXPECT_EQ(borrowed.getText(), text); // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(taker.getText(), text);
}

// What the sink receives: the slot, the rebuilt specification, the value and the width.
class Recorder : public PrintfBuf {
public:
  using PrintfBuf::process;
  std::vector<std::string> calls;
  int writes = 0;
  void note(int slot, const char *spec, const std::string &value, int width) {
    calls.push_back(std::to_string(slot) + " " + spec + " " + value + " " + std::to_string(width));
  }
  void printf_local(const char *s, int64_t v, int w) override { note(0, s, std::to_string(v), w); }
  void printf_local(const char *s, int v, int w) override { note(1, s, std::to_string(v), w); }
  void printf_local(const char *s, double v, int w) override { note(2, s, std::to_string(v), w); }
  void printf_local(const char *s, const char *v, int w) override { note(3, s, v, w); }
  void printf_local(const char *text) override { calls.push_back("4 " + std::string(text)); }
  void write() override { ++writes; }
};

TEST(PrintfBufTest, RebuildsSpecificationsForTheSink) {
  Recorder sink;
  PrintfArg a(5), b(7), c(2), d(1.5);
  const PrintfArg *args[] = {&a, &b, &c, &d, &a, &d};
  int used = 0;
  EXPECT_TRUE(sink.process("x%+-08.3I64dy%%z%*.*f%-#hlx%.e", &used, args, 6));
  EXPECT_EQ(used, 6);
  EXPECT_EQ(sink.writes, 1);
  EXPECT_EQ(sink.calls,
            (std::vector<std::string>{"4 x", "0 %+-08.3lld 5 8", "4 y%z", "2 %7.2f 1.500000 7",
                                      "1 %-#x 5 0", "2 %.e 1.500000 0"}));

  // Oversized fields are reduced, not passed on.
  Recorder clamped;
  const PrintfArg *three[] = {&a, &a, &a};
  clamped.process("%99999999999999.99999999999d%*s", nullptr, three, 3);
  EXPECT_EQ(clamped.calls, (std::vector<std::string>{"1 %10000.10000d 5 10000", "3 %5s 5 5"}));
}

// A fixed sink that reports growth it never makes.
class LyingSink : public StringPrintfBuf {
public:
  using StringPrintfBuf::StringPrintfBuf;
  bool reallocate(int) override { return true; }
};

TEST(PrintfBufTest, FixedArityEntryPointsPassTheirFullArity) {
  char buffer[64];
  EXPECT_FALSE(sp_sprintf(buffer, sizeof buffer, "%d-%d-%d", 1, 2));
  EXPECT_STREQ(buffer, "1-2-<arg-missing>");
  // Two arguments given, but the four-argument form counts them all.
  EXPECT_TRUE(sp_sprintf(buffer, sizeof buffer, "%s%s%s", "a", "b", PrintfArg(), PrintfArg()));
  EXPECT_STREQ(buffer, "ab<arg-missing>");

  Formatter sink;
  YArray<PrintfArg> array;
  for (int i = 1; i <= 10; ++i)
    array.add(PrintfArg(i * 11));
  EXPECT_TRUE(sink.printf("%d %d %d %d %d %d %d %d %d %d", array));
  EXPECT_STREQ(sink.getBuffer(), "11 22 33 44 55 66 77 88 99 110");
  EXPECT_FALSE(sink.printf("|%d", YArray<PrintfArg>()));
  // Degenerate fixed buffers and files take nothing; a sink that claims to
  // grow without growing ends the attempt.
  char four[4] = "abc";
  LyingSink lying(four, 4);
  lying.printf("%s|%d", "longer than four", 1234567);
  EXPECT_STREQ(four, "|");
  EXPECT_TRUE(sp_sprintf(nullptr, 10, "%d", 1));
  EXPECT_TRUE(sp_fprintf(nullptr, "%s %d", "text", 1));
  char one = 'x';
  EXPECT_TRUE(sp_sprintf(&one, 0, "%d", 1));
  EXPECT_EQ(one, 'x');
  EXPECT_TRUE(sp_sprintf(&one, 1, "%d", 1));
  EXPECT_EQ(one, '\0');
}

// Against the C library over random well-formed conversions: for every
// buffer size, the text is the longest run of whole pieces that fits, and
// no character of a dropped piece is left behind. Floating conversions
// without flags or width are formatted without the C library: they get any
// bit pattern (NaN, infinities, subnormals), short decimals and rounding ties.
TEST(PrintfBufTest, MatchesTheCLibraryForWellFormedConversions) {
  std::mt19937_64 random(1234);
  const char *flagSets[] = {"", "-", "+", " ", "0", "#", "-+", "0+"};
  const char *widths[] = {"", "1", "5", "12", "30"};
  const char *precisions[] = {"", ".", ".0", ".3", ".17", ".99"};
  const int ints[] = {0, 1, -1, 42, 2147483647, -2147483647 - 1};
  const char *texts[] = {"", "a", "hello world", "x%dy"};
  for (int i = 0; i < 6000; ++i) {
    std::string spec =
        std::string("%") + flagSets[random() % 8] + widths[random() % 5] + precisions[random() % 6];
    char expected[512];
    PrintfArg arg;
    const int kind = static_cast<int>(random() % 4);
    if (kind == 0) {
      const char conv = "diouxXc"[random() % 7];
      const int v = conv == 'c' ? 'a' + (ints[random() % 6] & 7) : ints[random() % 6];
      std::snprintf(expected, sizeof expected, (spec += conv).c_str(), v);
      arg = v;
    } else if (kind == 1) {
      const long long v = static_cast<long long>(random());
      std::snprintf(expected, sizeof expected, (spec += random() % 2 ? "lld" : "llx").c_str(), v);
      arg = v;
    } else if (kind == 2) {
      if (random() % 2)
        spec = std::string("%") + precisions[random() % 6];
      spec += "eEfgG"[random() % 5];
      const uint64_t bits = random();
      double v = static_cast<double>(static_cast<int64_t>(bits % 2000001) - 1000000) / 1000.0;
      if (bits % 3 == 0)
        std::memcpy(&v, &bits, sizeof v);
      else if (bits % 3 == 1)
        v = (bits % 2 ? -0.5 : 0.5) * std::pow(10.0, static_cast<int>(bits % 40) - 20);
      std::snprintf(expected, sizeof expected, spec.c_str(), v);
      arg = v;
    } else {
      const char *v = texts[random() % 4];
      std::snprintf(expected, sizeof expected, (spec += 's').c_str(), v);
      arg = v;
    }
    ASSERT_EQ(std::get<0>(run(spec.c_str(), {arg})), expected) << spec;

    // The same piece between two literals in a fixed buffer of every size.
    const std::string pieces[] = {"<<", expected, ">"};
    const std::string format = "<<" + spec + ">";
    for (int size = 1; size <= static_cast<int>(std::strlen(expected)) + 4; ++size) {
      std::string fitted;
      for (const std::string &piece : pieces)
        if (fitted.size() + piece.size() < static_cast<size_t>(size))
          fitted += piece;
      char buffer[600];
      std::memset(buffer, '#', sizeof buffer);
      sp_sprintf(buffer, size, format.c_str(), arg);
      ASSERT_EQ(buffer[size], '#');
      ASSERT_EQ(std::string(buffer), fitted) << spec << " in " << size;
      for (size_t i = fitted.size() + 1; i < static_cast<size_t>(size); ++i)
        ASSERT_TRUE(buffer[i] == '\0' || buffer[i] == '#') << "a dropped piece left " << i;
    }
  }
}

// Room is found by growing to used + needed when that exceeds capacity +
// room, else by doubling.
TEST(PrintfBufTest, GrowingBufferDoublesOrJumpsToTheNeed) {
  Formatter sink;
  std::string expected;
  const int steps[][3] = {
      {100, 128, 27}, {100, 256, 55}, {1000, 1202, 1}, {5, 2404, 1198}, {3000, 4808, 602}};
  for (const auto &step : steps) {
    const std::string piece(static_cast<size_t>(step[0]), static_cast<char>('a' + step[0] % 26));
    sink.printf(piece.c_str());
    expected += piece;
    EXPECT_EQ(sink.getCapacity(), step[1]) << step[0];
    EXPECT_EQ(sink.getRoom(), step[2]) << step[0];
  }
  EXPECT_FALSE(sink.isInline());
  EXPECT_EQ(sink.getBuffer(), expected);

  // A field width smaller than the piece still makes progress.
  Formatter wide;
  wide.printf("%5.300f|%3s|%-2d", 1.0, std::string(700, 'z').c_str(), 1234567);
  std::string reference = "1." + std::string(300, '0') + "|" + std::string(700, 'z') + "|1234567";
  EXPECT_EQ(wide.getBuffer(), reference);
}

int estimate(const char *format, ...) {
  va_list args;
  va_start(args, format);
  int n = sp_EstimatePrintfBufferSize(format, args);
  va_end(args);
  return n;
}

TEST(PrintfBufTest, EstimatesCVarargFormatting) {
  EXPECT_EQ(estimate("%s|%s", static_cast<const char *>(nullptr), "ab"), 3);
  EXPECT_EQ(estimate("%p%C%S", static_cast<void *>(nullptr), 'x', L"wide"), 32 + 10 + 4);
  // Doubles and integers are taken in their own order, as passed.
  EXPECT_EQ(estimate("%g%s%d%s", 1.0, "abc", 2, "de"), 50 + 3 + 50 + 2);
  // Width raises the running total, not the conversion's own share.
  EXPECT_EQ(estimate("abc%-*08d", 1), 53);
  EXPECT_EQ(estimate("ab%70"), 70);
  EXPECT_EQ(estimate("%.80f", 1.0), 80); // a precision above 50 is the double's share
  EXPECT_EQ(estimate("%99999999999999d", 1), 0x7FFFFFFF);
}

} // namespace
