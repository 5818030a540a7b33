// Drives the formatting engine with an arbitrary format and up to four typed
// arguments chosen by the input, into a small fixed buffer and into a
// growing one. Checks that the fixed buffer never overflows and keeps its
// bookkeeping, that every specification reaching a sink is a well-formed C
// conversion for its value type, and that both sinks agree whenever the
// whole text fits.
//
// Input: [fixed size][argument count][arguments...][format...], each
// argument a type byte followed by its value (text: length byte and bytes,
// 255 meaning a null pointer; int: 4 bytes; 64-bit and double: 8 bytes).
#include "kvsupport/strings/PrintfBuf.h"
#include "kvsupport/strings/StringPrintfBuf.h"

#include "FuzzSupport.h"

#include <cstddef>
#include <vector>

namespace {

using kvfuzz::Input;
using kvfuzz::check;

// A well-formed specification: '%', flags, width, optional precision, "ll"
// only for integers, then a conversion that fits the slot.
void checkSpec(const char *spec, const char *conversions, bool wide) {
  check(*spec++ == '%');
  while (std::strchr(" #+-0", *spec) && *spec)
    ++spec;
  int digits = 0;
  while (*spec >= '0' && *spec <= '9')
    ++spec, ++digits;
  check(digits <= 5);
  if (*spec == '.') {
    ++spec;
    digits = 0;
    while (*spec >= '0' && *spec <= '9')
      ++spec, ++digits;
    check(digits <= 5);
  }
  if (wide) {
    check(spec[0] == 'l' && spec[1] == 'l');
    spec += 2;
  }
  check(*spec && std::strchr(conversions, *spec));
  check(spec[1] == '\0');
}

class CheckedSink : public VarStringPrintfBuf {
public:
  using PrintfBuf::process;
  void printf_local(const char *spec, int64_t value, int width) override {
    checkSpec(spec, "diouxX", true);
    VarStringPrintfBuf::printf_local(spec, value, width);
  }
  void printf_local(const char *spec, int value, int width) override {
    checkSpec(spec, "diouxXc", false);
    VarStringPrintfBuf::printf_local(spec, value, width);
  }
  void printf_local(const char *spec, double value, int width) override {
    checkSpec(spec, "eEfgG", false);
    VarStringPrintfBuf::printf_local(spec, value, width);
  }
  void printf_local(const char *spec, const char *text, int width) override {
    checkSpec(spec, "s", false);
    check(text != nullptr);
    VarStringPrintfBuf::printf_local(spec, text, width);
  }
  void printf_local(const char *text) override { VarStringPrintfBuf::printf_local(text); }
};

class FixedSink : public StringPrintfBuf {
public:
  using PrintfBuf::process;
  using StringPrintfBuf::StringPrintfBuf;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Input input(data, size);
  const int fixedSize = input.byte() % 64;
  const uint8_t countByte = input.byte();
  const int count = countByte % 5;
  const bool withNull = countByte & 0x80;

  std::vector<std::string> texts(4);
  std::vector<PrintfArg> args;
  for (int i = 0; i < count; ++i) {
    switch (input.byte() % 7) {
    case 0: {
      const uint8_t length = input.byte();
      if (length == 255) {
        args.emplace_back(static_cast<const char *>(nullptr));
      } else {
        for (int j = 0; j < length; ++j)
          texts[i] += static_cast<char>(input.byte() | 1); // no NUL inside
        args.emplace_back(texts[i].c_str());
      }
      break;
    }
    case 1:
      args.emplace_back(input.value<int>());
      break;
    case 2:
      args.emplace_back(input.value<long long>());
      break;
    case 3:
      args.emplace_back(input.value<double>());
      break;
    case 4:
      args.push_back(PrintfArg::withTag(PrintfArg::UnsupportedType));
      break;
    case 5:
      args.emplace_back();
      break;
    default:
      args.push_back(PrintfArg::withTag(9));
      break;
    }
  }
  const std::string format = input.rest();
  // Formats are C strings: what follows a NUL is not part of them.
  const char *fmt = format.c_str();

  std::vector<const PrintfArg *> pointers;
  for (const PrintfArg &arg : args)
    pointers.push_back(&arg);
  if (withNull && count > 0)
    pointers[count - 1] = nullptr;

  CheckedSink grown;
  int usedGrown = -1;
  const bool okGrown = grown.process(fmt, &usedGrown, pointers.data(), count);
  check(okGrown == (usedGrown <= count));
  check(usedGrown >= 0);
  check(grown.getLength() >= 0 && grown.getLength() < grown.getCapacity());
  check(grown.getBuffer()[grown.getLength()] == '\0');

  std::vector<char> buffer(static_cast<size_t>(fixedSize) + 16, '#');
  FixedSink fixed(buffer.data(), fixedSize);
  int usedFixed = -1;
  const bool okFixed = fixed.process(fmt, &usedFixed, pointers.data(), count);
  check(okFixed == okGrown && usedFixed == usedGrown);
  for (size_t i = static_cast<size_t>(fixedSize); i < buffer.size(); ++i)
    check(buffer[i] == '#');
  if (fixedSize > 0) {
    check(fixed.getLength() <= fixedSize - 1);
    check(fixed.getRoom() == fixedSize - 1 - fixed.getLength());
    check(buffer[static_cast<size_t>(fixed.getLength())] == '\0');
    // Everything fits: both sinks hold the same text.
    if (grown.getLength() <= fixedSize - 1) {
      check(fixed.getLength() == grown.getLength());
      check(std::memcmp(buffer.data(), grown.getBuffer(), static_cast<size_t>(grown.getLength())) ==
            0);
    }
  } else {
    check(fixed.getLength() == 0);
  }
  return 0;
}
