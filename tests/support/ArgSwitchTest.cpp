// What a search finds and takes; that it consumes just the switch and what
// it took is the fuzz target's oracle.
#include "kvsupport/support/ArgSwitch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ArgSwitchTest, FindsAndTakes) {
  struct Search {
    const char *name;
    int maxArgs;
    bool stop;
    std::vector<std::string> taken; // {"~"}: not found
  };
  const struct {
    std::vector<std::string> argv; // "~" stands for a null entry
    std::vector<Search> searches;  // run in order over the same vector
  } cases[] = {
      {{"prog", "/out", "/x", "a"}, {{"out", 2, true, {}}, {"x", 2, false, {"a"}}}},
      {{"prog", "/out", "/x", "a"}, {{"out", 5, false, {"/x", "a"}}}},
      // The first is consumed, then the second is found.
      {{"prog", "/D", "1", "/d", "2"}, {{"d", 1, false, {"1"}}, {"D", 1, false, {"2"}}}},
      {{"prog", "/a", "x", "~", "y"}, {{"a", 9, false, {"x"}}, {"a", 1, false, {"~"}}}},
      {{"prog", "/a"}, {{"a", 1, false, {}}}},
      // Empty entries are arguments, not switches.
      {{"prog", "", "/a", "", "b"}, {{"a", 2, true, {"", "b"}}}},
  };
  for (const auto &c : cases) {
    std::vector<std::string> entries = c.argv;
    std::vector<char *> argv;
    for (std::string &entry : entries)
      argv.push_back(entry == "~" ? nullptr : &entry[0]);
    for (const Search &s : c.searches) {
      ArgSwitch found(static_cast<int>(argv.size()), argv.data(), s.name, s.maxArgs, s.stop);
      std::vector<std::string> taken;
      for (int i = 0; i < found.size(); ++i)
        taken.push_back(found[i].tocs());
      EXPECT_EQ(found ? taken : std::vector<std::string>{"~"}, s.taken) << s.name;
      EXPECT_STREQ(found[found.size()].tocs(), "");
    }
  }
}

TEST(ArgSwitchTest, NullInputsFindNothingAndNulCharIsIgnored) {
  char program[] = "prog", entry[] = "/a";
  char *argv[] = {program, entry};
  EXPECT_FALSE(ArgSwitch(2, nullptr, "a", 1, false));
  EXPECT_FALSE(ArgSwitch(2, argv, nullptr, 1, false));
  ArgSwitch::setSwitchChar('-');
  ArgSwitch::setSwitchChar('\0');
  EXPECT_EQ(ArgSwitch::switchChar(), '-');
  ArgSwitch::setSwitchChar('/');
}

} // namespace
