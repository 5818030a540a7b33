// The ascii line form of schematic and symbol files. Lines are read straight
// out of the C library's buffer a block at a time (memchr for the line feed),
// falling back to fgetc where the buffer cannot be seen, so a line costs one
// scan however long it is.
#include "kvsupport/netlist/StandardLine.h"
#include "kvsupport/support/Options.h"

#include "kvsupport/netlist/SchematicFile.h"
#include "kvsupport/strings/TextEncoding.h"
#include "kvsupport/strings/Utf8File.h"
#include "netlist/StandardLine_p.h"
#include "os/StdioFile_p.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Appends `count` bytes at `data` to `text`, leaving out carriage returns.
void appendWithoutCR(std::string &text, const char *data, size_t count) {
  while (count > 0) {
    const char *cr = static_cast<const char *>(std::memchr(data, '\r', count));
    size_t piece = cr ? static_cast<size_t>(cr - data) : count;
    text.append(data, piece);
    if (!cr)
      return;
    count -= piece + 1;
    data = cr + 1;
  }
}

// Reads one physical line into `text` (without CRs, cut at a NUL). Returns
// false when the input had no byte left; *lineFeed tells whether the line
// ended with one.
bool readPhysicalLine(std::FILE *file, std::string &text, bool *lineFeed) {
  text.clear();
  *lineFeed = false;
  bool any = false, cut = false;
  for (;;) {
    const char *data;
    size_t count = kv::os::stdioReadAhead(file, &data);
    if (count == 0) {
      int c = std::fgetc(file);
      if (c == EOF)
        return any;
      any = true;
      if (c == '\n') {
        *lineFeed = true;
        return true;
      }
      if (c == '\0')
        cut = true;
      else if (!cut && c != '\r')
        text.push_back(static_cast<char>(c));
      continue;
    }
    any = true;
    const char *lf = static_cast<const char *>(std::memchr(data, '\n', count));
    size_t take = lf ? static_cast<size_t>(lf - data) : count;
    if (!cut) {
      const char *nul = static_cast<const char *>(std::memchr(data, '\0', take));
      appendWithoutCR(text, data, nul ? static_cast<size_t>(nul - data) : take);
      cut = nul != nullptr;
    }
    kv::os::stdioConsume(file, lf ? take + 1 : take);
    if (lf) {
      *lineFeed = true;
      return true;
    }
  }
}

bool isBlankOrTab(char c) { return c == ' ' || c == '\t'; }

bool isBlankLine(const std::string &text) {
  for (char c : text)
    if (!isBlankOrTab(c))
      return false;
  return true;
}

bool isWordSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isNameSeparator(char c) { return isWordSeparator(c) || c == '='; }

// The first word of `text` under blank, tab, CR and LF.
YString firstWord(const char *p, const char *end) {
  while (p < end && isWordSeparator(*p))
    ++p;
  const char *start = p;
  while (p < end && !isWordSeparator(*p))
    ++p;
  return YString::fromSpan(start, static_cast<size_t>(p - start));
}

// atoi's reading of a decimal number, saturated rather than undefined when
// it does not fit.
int saturatingAtoi(const char *s) {
  while (*s == ' ' || (*s >= '\t' && *s <= '\r'))
    ++s;
  bool negative = *s == '-';
  if (*s == '+' || *s == '-')
    ++s;
  long long magnitude = 0;
  constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
  for (; *s >= '0' && *s <= '9'; ++s)
    if (magnitude < kLimit)
      magnitude = magnitude * 10 + (*s - '0');
  if (negative)
    return magnitude >= kLimit ? INT_MIN : static_cast<int>(-magnitude);
  return magnitude >= kLimit ? INT_MAX : static_cast<int>(magnitude);
}

int saturatingStrtol(const char *s) {
  long value = std::strtol(s, nullptr, 0);
  if (value > INT_MAX)
    return INT_MAX;
  if (value < INT_MIN)
    return INT_MIN;
  return static_cast<int>(value);
}

} // namespace

namespace kv::netlist {

bool readNonBlankLine(std::FILE *file, std::string &text, int *lineNumber) {
  if (!file) {
    text.clear();
    return false;
  }
  bool lineFeed;
  while (readPhysicalLine(file, text, &lineFeed)) {
    if (lineFeed && lineNumber)
      *lineNumber = static_cast<int>(static_cast<unsigned>(*lineNumber) + 1u);
    if (!isBlankLine(text))
      return true;
  }
  text.clear();
  return false;
}

int atoiSaturated(const char *text) { return saturatingAtoi(text); }

} // namespace kv::netlist

bool sp_ReadNextNonBlankLine(std::FILE *file, YString *line, int *lineNumber) {
  if (!line)
    return false;
  std::string text;
  bool found = kv::netlist::readNonBlankLine(file, text, lineNumber);
  *line = YString::fromSpan(text.data(), text.size());
  return found;
}

bool StandardLine::readLine(std::FILE *file, int *lineNumber) {
  id_ = YString();
  properties_.clear();
  std::string text;
  if (!kv::netlist::readNonBlankLine(file, text, lineNumber))
    return false;

  const char *p = text.data(), *end = p + text.size();
  while (p < end && isWordSeparator(*p))
    ++p;
  const char *start = p;
  while (p < end && !isWordSeparator(*p))
    ++p;
  id_ = YString::fromSpan(start, static_cast<size_t>(p - start));

  std::string value;
  for (;;) {
    while (p < end && isNameSeparator(*p))
      ++p;
    if (p == end)
      break;
    start = p;
    while (p < end && !isNameSeparator(*p))
      ++p;
    YString name = YString::fromSpan(start, static_cast<size_t>(p - start));
    while (p < end && isNameSeparator(*p))
      ++p;
    if (p == end)
      break; // a name without a value is dropped
    if (*p == '"') {
      value.clear();
      for (++p; p < end;) {
        char c = *p++;
        if (c == '"')
          break;
        if (c == '\\') {
          if (p == end)
            break;
          c = *p++;
          c = c == 'n' ? '\n' : c == 't' ? '\t' : c;
        }
        value.push_back(c);
      }
      properties_.append({name, YString::fromSpan(value.data(), value.size())});
    } else {
      start = p;
      while (p < end && !isWordSeparator(*p))
        ++p;
      properties_.append({name, YString::fromSpan(start, static_cast<size_t>(p - start))});
    }
  }
  return true;
}

bool StandardLine::end() const { return sp_strnicmp(id_.tocs(), ".End", 4) == 0; }

const StandardLineProperty *StandardLine::find(const YString &name) const {
  const StandardLineProperty *found = nullptr;
  for (const StandardLineProperty &property : properties_)
    if (sp_stricmp(property.name.tocs(), name.tocs()) == 0)
      found = &property;
  return found;
}

bool StandardLine::hasProperty(const YString &name) const { return find(name) != nullptr; }

YString StandardLine::propValue(const YString &name, StandardLineEncoding encoding) const {
  const StandardLineProperty *property = find(name);
  if (!property)
    return YString();
  if (encoding == SLE_UTF8 || encoding == SLE_RAW)
    return property->value;
  return sp_ConvertFromLocal(property->value.tocs());
}

bool StandardLine::intPropValue(const YString &name, int *value) const {
  const StandardLineProperty *property = find(name);
  if (!property || !value)
    return property != nullptr;
  *value = saturatingAtoi(property->value.tocs());
  return true;
}

bool StandardLine::intPropValue(const YString &name, long *value) const {
  const StandardLineProperty *property = find(name);
  if (!property || !value)
    return property != nullptr;
  *value = saturatingAtoi(property->value.tocs());
  return true;
}

bool StandardLine::hexPropValue(const YString &name, int *value) const {
  const StandardLineProperty *property = find(name);
  if (!property || !value)
    return property != nullptr;
  *value = saturatingStrtol(property->value.tocs());
  return true;
}

bool StandardLine::readObject(std::FILE *file, YList<YString> *lines) const {
  if (lines) {
    lines->clear();
    lines->append(id_);
  }
  if (id_.isEmpty() || id_.tocs()[0] != '.')
    return true;
  YString closing = YString(".End") &= YString(id_.tocs() + 1);
  int depth = 0;
  std::string text;
  while (kv::netlist::readNonBlankLine(file, text, nullptr)) {
    if (lines)
      lines->append(YString::fromSpan(text.data(), text.size()));
    YString word = firstWord(text.data(), text.data() + text.size());
    if (sp_stricmp(word.tocs(), closing.tocs()) == 0) {
      if (depth == 0)
        return true;
      --depth;
    } else if (sp_stricmp(word.tocs(), id_.tocs()) == 0) {
      ++depth;
    }
  }
  if (lines)
    lines->clear();
  return false;
}

bool StandardLine::isKelvantaAsciiFile(const YString &path) {
  std::FILE *file = fopen_utf8(path.tocs(), "rb");
  if (!file)
    return false;
  char head[499];
  size_t count = 0;
  for (int c; count < sizeof head - 1 && (c = std::fgetc(file)) != EOF && c != '\n' && c != '\0';)
    head[count++] = static_cast<char>(c);
  std::fclose(file);
  return sp_stricmp(firstWord(head, head + count).tocs(), "KelvantaFile") == 0;
}

void StandardLine::writeHeader(std::FILE *file, const char *type, int revision) {
  if (!file)
    return;
  // Readers of older formats take a header without the revision.
  if (sp_GetBoolOption("OmitAsciiRevision", nullptr))
    std::fprintf(file, "KelvantaFile type=%s format=%s\n", type ? type : "", SCHEMATIC_ASCII_FORMAT);
  else
    std::fprintf(file, "KelvantaFile type=%s format=%s revision=%d\n", type ? type : "",
                 SCHEMATIC_ASCII_FORMAT, revision);
}
