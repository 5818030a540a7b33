// Test support: a logical line with the line number a reader reported.
#pragma once

#include <ostream>
#include <string>

struct NumberedLine {
  int number;
  std::string text;
  bool operator==(const NumberedLine &o) const { return number == o.number && text == o.text; }
};

inline std::ostream &operator<<(std::ostream &out, const NumberedLine &line) {
  return out << line.number << ":[" << line.text << "]";
}
