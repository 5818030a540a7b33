#include "kvsupport/support/ArgSwitch.h"

#include <atomic>

namespace {

// Process-wide; atomic so that a program setting it on one thread and
// parsing on another reads a whole value.
std::atomic<char> gSwitchChar{'/'};

} // namespace

ArgSwitch::ArgSwitch(int argc, char **argv, const char *name, int maxArgs, bool stopAtSwitch,
                     bool) {
  if (!argv || !name || argc < 2)
    return;
  const char mark = switchChar();
  int at = 1;
  while (at < argc && !(argv[at] && argv[at][0] == mark && sp_stricmp(argv[at] + 1, name) == 0))
    ++at;
  if (at == argc)
    return;
  found_ = true;
  argv[at] = nullptr;
  for (int next = at + 1; next < argc && next - at <= maxArgs; ++next) {
    char *entry = argv[next];
    if (!entry || (stopAtSwitch && entry[0] == mark))
      break;
    args_.emplace_back(entry);
    argv[next] = nullptr;
  }
}

YString ArgSwitch::operator[](int index) const {
  return index >= 0 && index < size() ? args_[static_cast<size_t>(index)] : YString();
}

void ArgSwitch::setSwitchChar(char c) {
  if (c != '\0')
    gSwitchChar.store(c, std::memory_order_relaxed);
}

char ArgSwitch::switchChar() { return gSwitchChar.load(std::memory_order_relaxed); }

void ArgSwitch::setCurrentCommand(const YString &) {}
