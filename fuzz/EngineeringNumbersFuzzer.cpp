// Fuzzes the engineering-number reader: it must stay inside the text, never
// move its end backwards, and read plain decimals exactly as strtod does.
#include "kvsupport/netlist/EngineeringNumbers.h"

#include "FuzzSupport.h"

namespace {

using kvfuzz::check;

uint64_t bits(double value) {
  uint64_t out;
  std::memcpy(&out, &value, sizeof out);
  return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  size_t length = strnlen(reinterpret_cast<const char *>(data), size);
  std::unique_ptr<char[]> text = kvfuzz::exactCopy(reinterpret_cast<const char *>(data), length);
  const char *begin = text.get();
  const char *terminator = begin + length;

  char *end = nullptr;
  double value = sp_ConvertEngToReal(begin, &end);
  check(end >= begin && end <= terminator, "reader end within the text");
  if (end == begin)
    check(value == 0.0, "nothing read gives 0");

  // Plain decimals (where strtod stops at the same place) read bit for bit
  // like strtod; zero is always +0.
  char *strtodEnd = nullptr;
  double expected = std::strtod(begin, &strtodEnd);
  if (end == strtodEnd && end != begin)
    check(bits(value) == bits(expected == 0.0 ? 0.0 : expected), "decimal matches strtod");

  char *cursor = text.get();
  for (int guard = 0; guard <= static_cast<int>(length); ++guard) {
    char *before = cursor;
    bool failed = false;
    sp_GetEngToken(&cursor, &failed);
    check(cursor >= before && cursor <= terminator, "token cursor moves forward within the text");
    check(failed == (cursor == before), "failure flag matches an unmoved cursor");
    if (failed) {
      if (*cursor == '\0')
        break;
      ++cursor; // skip what cannot be read and go on
    }
  }
  return 0;
}
