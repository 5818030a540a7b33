// Fuzzes the escape coder: decoding what was encoded gives the text back, and
// decoding arbitrary text never fails. Byte 0 picks the escape character,
// byte 1 the blank coding; the rest is the text.
#include "kvsupport/netlist/EscapeCoding.h"
#include "kvsupport/netlist/TextConversions.h"

#include "FuzzSupport.h"

namespace {

using kvfuzz::check;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2)
    return 0;
  char escape = static_cast<char>(data[0]);
  // The code letters themselves cannot be the escape character.
  if (escape == '\0' || std::strchr("fnrts", escape))
    escape = '\\';
  bool spaces = data[1] & 1;
  std::string bytes(reinterpret_cast<const char *>(data) + 2, size - 2);
  YString text(bytes.c_str());

  YString coded = sp_EscapeStringEncode(text, spaces, escape);
  check(sp_EscapeString(coded, spaces, escape) == text, "decode(encode(x)) == x");
  // Apart from the escape character itself, no line-breaking characters (nor
  // blanks when they are coded) are left.
  for (const char *p = coded.tocs(); *p; ++p)
    if (*p != escape) {
      check(!std::strchr("\n\r\t\f", *p), "coded text has no control characters");
      check(!spaces || *p != ' ', "coded text has no blanks");
    }

  YString decoded = sp_EscapeString(text, spaces, escape);
  check(decoded.length() <= text.length(), "decoding never lengthens");
  sp_EscapeString(text, spaces);

  YString quoted = sp_ConvertToCString(text);
  check(quoted.length() >= text.length(), "quoting never shortens");

  if (!std::strstr(text.tocs(), "\r\n"))
    check(sp_ConvertDosToUnix(sp_ConvertUnixToDos(text)) == text, "line ends round trip");
  return 0;
}
