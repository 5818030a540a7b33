#include "kvsupport/netlist/WordArray.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(WordArrayTest, SkipsProgramNameAndNullEntries) {
  char prog[] = "prog", tenK[] = "10k", x[] = "x";
  char *argv[] = {prog, tenK, nullptr, x};
  WordArray words(4, argv);
  EXPECT_EQ(words.getCount(), 2);
  EXPECT_EQ(words.size(), 2);
  EXPECT_EQ(words.numElems(), 2);
  EXPECT_EQ(words[0], "10k");
  EXPECT_EQ(words[1], "x");
  EXPECT_TRUE(words[2].isEmpty());
  EXPECT_TRUE(words[-1].isEmpty());
  EXPECT_EQ(words.real(0, 0), 10 * 1000.0000000000002);
  EXPECT_EQ(words.real(2, 1.5), 1.5);
  EXPECT_EQ(words.integer(0, 7), 10);
  EXPECT_EQ(words.integer(5, 7), 7);
  EXPECT_STREQ(words.string(5, "def"), "def");
  EXPECT_STREQ(words.string(1, "def"), "x");
  EXPECT_EQ(words.getFlattenedLine(), "10k x");
}

TEST(WordArrayTest, EmptyAndOddInput) {
  WordArray none(0, nullptr);
  EXPECT_EQ(none.getCount(), 0);
  EXPECT_TRUE(none.getFlattenedLine().isEmpty());
  char prog[] = "prog", big[] = "99999999999", empty[] = "";
  char *argv[] = {prog, big, empty};
  WordArray words(3, argv);
  EXPECT_EQ(words.integer(0, 0), 2147483647);
  YList<int> indexes;
  EXPECT_FALSE(words.argsAreEmpty(indexes));
  indexes.append(0);
  indexes.append(9);
  EXPECT_FALSE(words.argsAreEmpty(indexes));
  indexes.append(1);
  EXPECT_TRUE(words.argsAreEmpty(indexes));
}

TEST(WordArrayTest, PoolSurvivesCloseAndManyArrays) {
  char prog[] = "p", a[] = "a";
  char *argv[] = {prog, a};
  {
    WordArray first(2, argv);
    closeWordArray(); // `first` keeps its vector and returns it later
    WordArray second(2, argv);
    EXPECT_EQ(first[0], "a");
    EXPECT_EQ(second[0], "a");
  }
  std::vector<char *> many(200, a);
  many[0] = prog;
  {
    WordArray large(200, many.data()); // beyond the initial capacity of 50
    EXPECT_EQ(large.getCount(), 199);
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        WordArray words(2, argv);
        ASSERT_EQ(words[0], "a");
      }
    });
  for (std::thread &thread : threads)
    thread.join();
  closeWordArray();
  closeWordArray();
}

} // namespace
