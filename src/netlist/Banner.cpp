// Banners and fixed-width fields. Each banner is composed in memory and
// written with one call, so a banner in a shared log file stays in one piece.
#include "kvsupport/netlist/Banner.h"

#include "kvsupport/netlist/Tokenizer.h"
#include "kvsupport/streams/kvstream.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void repeat(std::string &out, int count, char c) {
  if (count > 0)
    out.append(static_cast<size_t>(count), c);
}

void edge(std::string &out, int width) {
  repeat(out, width, '*');
  out += '\n';
}

void sides(std::string &out, int width) {
  out += "***";
  repeat(out, width - 6, ' ');
  out += "***\n";
}

void centred(std::string &out, const char *text, int length, int width) {
  int d = width - length - 7;
  int left = d / 2;
  out += "*** ";
  repeat(out, left, ' ');
  out.append(text, static_cast<size_t>(length));
  repeat(out, d - left, ' ');
  out += "***\n";
}

void boxed(std::string &out, const YString &text, int width) {
  edge(out, width);
  sides(out, width);
  YArray<YString> lines;
  sp_SplitLine(text.tocs(), '\n', &lines, 0);
  for (int64_t i = 0; i < lines.size(); ++i)
    centred(out, lines[i].tocs(), lines[i].length(), width);
  sides(out, width);
  edge(out, width);
}

void write(kvstream &stream, const std::string &out) { stream.write(out.data(), out.size()); }

void write(std::FILE *file, const std::string &out) {
  if (!file || file == stdout || file == stderr)
    return;
  std::fwrite(out.data(), 1, out.size(), file);
}

} // namespace

void sp_PrintBoxEdge(kvstream &stream, int width) {
  std::string out;
  edge(out, width);
  write(stream, out);
}

void sp_PrintBoxEdge(std::FILE *file, int width) {
  std::string out;
  edge(out, width);
  write(file, out);
}

void sp_PrintSides(kvstream &stream, int width) {
  std::string out;
  sides(out, width);
  write(stream, out);
}

void sp_PrintSides(std::FILE *file, int width) {
  std::string out;
  sides(out, width);
  write(file, out);
}

void sp_PrintLine(std::FILE *file, const YString &text, int width) {
  std::string out = "*** ";
  out += text.tocs();
  repeat(out, width - text.length() - 7, ' ');
  out += "***\n";
  write(file, out);
}

void sp_PrintLineCentred(kvstream &stream, const YString &text, int width) {
  std::string out;
  centred(out, text.tocs(), text.length(), width);
  write(stream, out);
}

void sp_PrintLineCentred(std::FILE *file, const YString &text, int width) {
  std::string out;
  centred(out, text.tocs(), text.length(), width);
  write(file, out);
}

void sp_PrintBoxedText(kvstream &stream, const YString &text, int width) {
  std::string out;
  boxed(out, text, width);
  write(stream, out);
}

void sp_PrintBoxedText(std::FILE *file, const YString &text, int width) {
  std::string out;
  boxed(out, text, width);
  write(file, out);
}

void sp_FormatName(char *out, int width, char separator, YString *name) {
  if (!out || width < 0)
    return;
  const char *text = name ? name->tocs() : "";
  const int length = static_cast<int>(std::strlen(text));
  int taken; // characters of the name that go into the field
  if (length < width) {
    taken = length;
  } else if (width == 1) {
    taken = 1; // one character and no blank, so the name always shortens
  } else if (width == 0) {
    taken = 0;
  } else {
    taken = width - 1;
    for (int i = width - 1; i > 0; --i)
      if (text[i] == separator) {
        taken = i + 1;
        break;
      }
  }
  std::memcpy(out, text, static_cast<size_t>(taken));
  std::memset(out + taken, ' ', static_cast<size_t>(width - taken));
  out[width] = '\0';
  if (name && taken > 0)
    name->shiftLeft(taken);
}
