#include "kvsupport/threads/CommandTimer.h"

#include "kvsupport/netlist/EngineeringNumbers.h"
#include "kvsupport/threads/Clock.h"

#include <algorithm>

CommandTimer::CommandTimer(const YString &name) : name_(name) {}

void CommandTimer::start() {
  if (depth_ > 0) {
    ++nestedStarts_;
    ++depth_;
    return;
  }
  startTime_ = seconds();
  ++depth_;
}

void CommandTimer::end() {
  // An end without a start would drive the depth negative and make every
  // later run look nested.
  if (depth_ <= 0)
    return;
  if (--depth_ > 0)
    return;
  ++count_;
  const double elapsed = seconds() - startTime_;
  longest_ = std::max(longest_, elapsed);
  shortest_ = std::min(shortest_, elapsed);
  total_ += elapsed;
}

YString CommandTimer::print() const {
  YString text = name_;
  text &= ";";
  text &= YString(static_cast<int>(count_));
  for (double value : {total_, longest_, shortest_}) {
    text &= ";";
    text &= sp_ConvertRealToJSEng(value, 15, true);
  }
  return text;
}

bool CommandTimer::operator==(const CommandTimer &other) const {
  return sp_stricmp(name_.tocs(), other.name_.tocs()) == 0;
}
