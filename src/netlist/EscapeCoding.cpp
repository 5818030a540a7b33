// Escape coding of texts stored on one line (profile values, word lists):
// the control characters that would break the line get letter codes.
#include "kvsupport/netlist/EscapeCoding.h"

#include <cstring>
#include <string>

namespace {

YString fromString(const std::string &text) {
  return YString(text.c_str(), static_cast<int>(text.size()));
}

} // namespace

YString sp_EscapeString(const YString &text, bool spaces) {
  return sp_EscapeString(text, spaces, '\\');
}

YString sp_EscapeString(const YString &text, bool spaces, char escape) {
  const char *p = text.tocs();
  if (escape == '\0' || !std::strchr(p, escape))
    return text;
  std::string out;
  out.reserve(static_cast<size_t>(text.length()));
  for (; *p; ++p) {
    if (*p != escape) {
      out += *p;
      continue;
    }
    char code = *++p;
    if (code == '\0')
      break; // a trailing escape character is dropped
    if (code == escape)
      out += escape;
    else if (code == 'f')
      out += '\f';
    else if (code == 'n')
      out += '\n';
    else if (code == 'r')
      out += '\r';
    else if (code == 't')
      out += '\t';
    else if (code == 's' && spaces)
      out += ' ';
    else
      out += code;
  }
  return fromString(out);
}

YString sp_EscapeStringEncode(const YString &text, bool spaces) {
  return sp_EscapeStringEncode(text, spaces, '\\');
}

YString sp_EscapeStringEncode(const YString &text, bool spaces, char escape) {
  if (escape == '\0')
    return text; // a NUL cannot stand inside a text
  std::string out;
  out.reserve(static_cast<size_t>(text.length()) + 16);
  for (const char *p = text.tocs(); *p; ++p) {
    char c = *p;
    if (c == escape) {
      out += escape;
      out += escape;
    } else if (c == '\f') {
      out += escape;
      out += 'f';
    } else if (c == '\n') {
      out += escape;
      out += 'n';
    } else if (c == '\r') {
      out += escape;
      out += 'r';
    } else if (c == '\t') {
      out += escape;
      out += 't';
    } else if (c == ' ' && spaces) {
      out += escape;
      out += 's';
    } else {
      out += c;
    }
  }
  return fromString(out);
}

YString sp_ConvertToCString(const YString &text) {
  const char *p = text.tocs();
  if (!std::strpbrk(p, "\\\n\t\""))
    return text;
  std::string out;
  out.reserve(static_cast<size_t>(text.length()) + 8);
  for (; *p; ++p) {
    switch (*p) {
    case '\\':
      out += "\\\\";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\t':
      out += "\\t";
      break;
    case '"':
      out += "\\\"";
      break;
    default:
      out += *p;
      break;
    }
  }
  return fromString(out);
}
