// Fuzzes the switch search over argument vectors. Byte 0 is the switch
// character, byte 1 `maxArgs` (signed), byte 2 bit 0 `stopAtSwitch`, byte 3
// the number of searches (1 to 4); the rest, split at line feeds, gives the
// switch names, then the vector's entries after the program name ("\x01"
// stands for a null entry).
#include "kvsupport/support/ArgSwitch.h"

#include "FuzzSupport.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using kvfuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 4)
    return 0;
  ArgSwitch::setSwitchChar(static_cast<char>(data[0]));
  const int maxArgs = static_cast<int8_t>(data[1]);
  const bool stopAtSwitch = data[2] & 1;
  const size_t searches = 1 + data[3] % 4;
  std::vector<std::string> pieces{""};
  for (size_t i = 4; i < size; ++i) {
    if (data[i] == '\n')
      pieces.emplace_back();
    else if (data[i] != 0)
      pieces.back() += static_cast<char>(data[i]);
  }
  if (pieces.size() <= searches)
    return 0;
  std::vector<std::string> entries{"prog"};
  entries.insert(entries.end(), pieces.begin() + static_cast<long>(searches), pieces.end());
  std::vector<char *> argv;
  for (std::string &entry : entries)
    argv.push_back(entry == "\x01" ? nullptr : &entry[0]);
  const int argc = static_cast<int>(argv.size());

  for (size_t s = 0; s < searches; ++s) {
    const std::vector<char *> before = argv;
    ArgSwitch found(argc, argv.data(), pieces[s].c_str(), maxArgs, stopAtSwitch);
    check(found.size() <= std::max(0, maxArgs), "size() <= max(0, maxArgs)");
    check(argv[0] == before[0], "the program name is never touched");
    // The entries that went null: the switch, then the arguments taken, in a run.
    std::vector<int> nulled;
    for (int i = 1; i < argc; ++i) {
      check(argv[i] == before[i] || !argv[i], "entries change only to null");
      if (before[i] && !argv[i])
        nulled.push_back(i);
    }
    check(static_cast<bool>(found) == !nulled.empty(), "found exactly when a switch went");
    if (!found) {
      check(found.size() == 0, "nothing taken when not found");
      continue;
    }
    check(nulled.size() == static_cast<size_t>(found.size()) + 1, "the switch and its arguments");
    const char *entry = before[nulled[0]];
    check(entry[0] == ArgSwitch::switchChar() && sp_stricmp(entry + 1, pieces[s].c_str()) == 0,
          "the switch's entry names it");
    for (int k = 0; k < found.size(); ++k) {
      check(nulled[static_cast<size_t>(k) + 1] == nulled[0] + 1 + k, "arguments follow in a run");
      check(found[k] == YString(before[nulled[0] + 1 + k]), "arguments equal their entries");
    }
  }
  return 0;
}
