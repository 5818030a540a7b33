// kvtool md5: MD5 digests of files or texts, in the form md5sum writes and checks.
#include "Command.h"

#include <kvsupport/files/FileOpenForensic.h>
#include <kvsupport/strings/Utf8File.h>
#include <kvsupport/support/MD5.h>

#include <cstdio>

namespace kvtool {
namespace {

constexpr const char *kName = "md5";

// md5sum's form for awkward names: a leading backslash on the line, and the
// name's backslashes, line feeds and carriage returns escaped.
void printDigestLine(const YString &digest, const std::string &name) {
  std::string shown;
  bool escaped = false;
  for (char c : name) {
    const char *escape = c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : nullptr;
    escaped |= escape != nullptr;
    shown += escape ? escape : std::string(1, c);
  }
  std::printf("%s%s  %s\n", escaped ? "\\" : "", digest.tocs(), shown.c_str());
}

// One file's digest line; false (reported) when it cannot be opened or read.
bool digestFile(const std::string &name) {
  const bool standardInput = name == "-";
  FILE *stream = standardInput ? stdin : fopen_utf8(name.c_str(), "rb");
  if (!stream) {
    YString sentence;
    sp_FileOpenForensicMsg(YString(name.c_str()), 0, &sentence);
    std::fprintf(stderr, "kvtool md5: %s\n", sentence.tocs());
    return false;
  }
  const YString digest = sp_GetMD5(stream);
  if (!standardInput)
    std::fclose(stream);
  if (digest.isEmpty()) {
    std::fprintf(stderr, "kvtool md5: %s: read error\n", name.c_str());
    return false;
  }
  printDigestLine(digest, name);
  return true;
}

int run(const Args &args) {
  const bool texts = !args.empty() && args[0] == "--text";
  size_t first = texts ? 1 : 0;
  if (first < args.size() && args[first] == "--")
    ++first;
  else if (first < args.size() && args[first].rfind("--", 0) == 0)
    return usageError(kName, "unknown option " + args[first]);
  if (first == args.size())
    return usageError(kName, texts ? "no text given" : "no file given");
  bool allDone = true;
  for (size_t i = first; i < args.size(); ++i) {
    if (texts)
      std::printf("%s\n", sp_GetMD5(args[i].c_str()).tocs());
    else
      allDone &= digestFile(args[i]);
  }
  return allDone ? ExitOk : ExitFailure;
}

const CommandRegistration registration(
    {kName, "FILE... | --text TEXT...",
     "MD5 digest of each file (\"-\": standard input) as \"HEX  NAME\", or of each text", run});

} // namespace
} // namespace kvtool
