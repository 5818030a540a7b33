#include "kvsupport/support/ArgSwitch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// "~" in a vector stands for a null entry.
struct Search {
  const char *name;
  int maxArgs;
  bool stop;
  bool found;
  std::vector<std::string> taken;
};

struct Case {
  char switchChar;
  std::vector<std::string> argv;
  std::vector<Search> searches;  // run in order over the same vector
  std::vector<std::string> left; // argv[1...] afterwards
};

struct Vector {
  std::vector<std::string> entries;
  std::vector<char *> pointers;
  explicit Vector(const std::vector<std::string> &given) : entries(given) {
    for (std::string &entry : entries)
      pointers.push_back(entry == "~" ? nullptr : &entry[0]);
  }
  int argc() const { return static_cast<int>(pointers.size()); }
  char **argv() { return pointers.data(); }
  std::vector<std::string> rest() const {
    std::vector<std::string> rest;
    for (size_t i = 1; i < pointers.size(); ++i)
      rest.push_back(pointers[i] ? pointers[i] : "~");
    return rest;
  }
};

TEST(ArgSwitchTest, FindsTakesAndConsumes) {
  const Case cases[] = {
      {'/', {"prog", "/out", "a", "b"}, {{"out", 1, false, true, {"a"}}}, {"~", "~", "b"}},
      {'/', {"prog", "/OUT", "a"}, {{"Out", 5, false, true, {"a"}}}, {"~", "~"}},
      {'/', {"prog", "/out", "/x", "a"}, {{"out", 2, true, true, {}}}, {"~", "/x", "a"}},
      {'/', {"prog", "/out", "/x", "a"}, {{"out", 2, false, true, {"/x", "a"}}}, {"~", "~", "~"}},
      // Twice: the first is consumed, then the second is found.
      {'/',
       {"prog", "/d", "1", "/d", "2"},
       {{"d", 1, false, true, {"1"}}, {"d", 1, false, true, {"2"}}, {"d", 1, false, false, {}}},
       {"~", "~", "~", "~"}},
      // A consumed argument is never taken again: a null entry ends the run.
      {'/',
       {"prog", "/a", "x", "/b"},
       {{"a", 1, false, true, {"x"}}, {"b", 3, false, true, {}}},
       {"~", "~", "~"}},
      {'/', {"prog", "/a", "x", "~", "y"}, {{"a", 9, false, true, {"x"}}}, {"~", "~", "~", "y"}},
      // maxArgs 0, negative, and past the end.
      {'/', {"prog", "/a", "x"}, {{"a", 0, false, true, {}}}, {"~", "x"}},
      {'/', {"prog", "/a", "x"}, {{"a", -3, false, true, {}}}, {"~", "x"}},
      {'/', {"prog", "/a", "x"}, {{"a", 1000, false, true, {"x"}}}, {"~", "~"}},
      // argv[0] is never a switch; only argv[1...] are searched.
      {'/', {"/a", "x"}, {{"a", 1, false, false, {}}}, {"x"}},
      {'/', {"prog"}, {{"a", 1, false, false, {}}}, {}},
      {'/', {"prog", "/a"}, {{"a", 1, false, true, {}}}, {"~"}},
      // Other switch characters; the name must match whole.
      {'-', {"prog", "/a", "-a", "v"}, {{"a", 1, false, true, {"v"}}}, {"/a", "~", "~"}},
      {'-', {"prog", "-ab", "-a"}, {{"a", 1, false, true, {}}}, {"-ab", "~"}},
      {'-', {"prog", "-", "x"}, {{"", 1, false, true, {"x"}}}, {"~", "~"}},
      // Empty entries are arguments, not switches.
      {'/', {"prog", "", "/a", "", "b"}, {{"a", 2, true, true, {"", "b"}}}, {"", "~", "~", "~"}},
  };
  for (const Case &c : cases) {
    ArgSwitch::setSwitchChar(c.switchChar);
    Vector vector(c.argv);
    std::string label = c.argv.empty() ? "" : c.argv.back();
    for (const Search &s : c.searches) {
      ArgSwitch found(vector.argc(), vector.argv(), s.name, s.maxArgs, s.stop);
      EXPECT_EQ(static_cast<bool>(found), s.found) << s.name << " in ..." << label;
      ASSERT_EQ(found.size(), static_cast<int>(s.taken.size())) << s.name << " in ..." << label;
      for (int i = 0; i < found.size(); ++i)
        EXPECT_STREQ(found[i].tocs(), s.taken[static_cast<size_t>(i)].c_str());
      EXPECT_STREQ(found[found.size()].tocs(), "");
      EXPECT_STREQ(found[-1].tocs(), "");
    }
    EXPECT_EQ(vector.rest(), c.left) << label;
  }
  ArgSwitch::setSwitchChar('/');
}

TEST(ArgSwitchTest, NullInputsFindNothingAndNulCharIsIgnored) {
  Vector vector(std::vector<std::string>{"prog", "/a", "x"});
  EXPECT_FALSE(ArgSwitch(vector.argc(), nullptr, "a", 1, false));
  EXPECT_FALSE(ArgSwitch(vector.argc(), vector.argv(), nullptr, 1, false));
  EXPECT_EQ(vector.rest(), (std::vector<std::string>{"/a", "x"}));

  ArgSwitch::setSwitchChar('\0');
  EXPECT_EQ(ArgSwitch::switchChar(), '/');
  Vector empty({"prog", "", "x"});
  EXPECT_FALSE(ArgSwitch(empty.argc(), empty.argv(), "", 1, false));
}

TEST(ArgSwitchTest, CopiesOwnTheirArguments) {
  std::vector<std::string> entries{"prog", "/f", "one", "two"};
  Vector vector(entries);
  auto original = std::make_unique<ArgSwitch>(vector.argc(), vector.argv(), "f", 2, false);
  ArgSwitch copy(*original);
  ArgSwitch assigned(0, nullptr, "f", 0, false);
  assigned = *original;
  original.reset();
  for (const ArgSwitch *s : {&copy, &assigned}) {
    EXPECT_TRUE(*s);
    ASSERT_EQ(s->size(), 2);
    EXPECT_STREQ((*s)[1].tocs(), "two");
  }
}

} // namespace
