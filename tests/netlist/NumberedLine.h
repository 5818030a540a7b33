// Test support: a logical line with the line number a reader reported.
#pragma once

#include "kvsupport/strings/YString.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

struct NumberedLine {
  int number;
  std::string text;
  bool operator==(const NumberedLine &o) const { return number == o.number && text == o.text; }
};

inline std::ostream &operator<<(std::ostream &out, const NumberedLine &line) {
  return out << line.number << ":[" << line.text << "]";
}

/// Every line `reader.gets(&text, &number, flags...)` gives, up to its end,
/// which must stay the end when asked again.
template <class Reader, class... Flags>
std::vector<NumberedLine> readNumberedLines(Reader &reader, Flags... flags) {
  std::vector<NumberedLine> lines;
  YString text;
  int number = 0;
  while (reader.gets(&text, &number, flags...))
    lines.push_back({number, text.tocs()});
  EXPECT_FALSE(reader.gets(&text, &number, flags...));
  return lines;
}
