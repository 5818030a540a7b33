#include "kvsupport/netlist/WordArray.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(WordArrayTest, SkipsProgramNameAndNullEntries) {
  char prog[] = "prog", tenK[] = "10k", x[] = "x", big[] = "99999999999", empty[] = "";
  char *argv[] = {prog, tenK, nullptr, x, big, empty};
  WordArray words(6, argv);
  EXPECT_EQ(words.getCount() + words.size() + words.numElems(), 12);
  EXPECT_EQ(words.getFlattenedLine(), "10k x 99999999999 ");
  EXPECT_TRUE(words[4].isEmpty() && words[-1].isEmpty());
  EXPECT_EQ(words.integer(0, 7), 10);
  EXPECT_EQ(words.integer(2, 0), 2147483647);
  EXPECT_STREQ(words.string(5, "def"), "def");
  YList<int> indexes;
  indexes.append(0);
  indexes.append(9);
  EXPECT_FALSE(words.argsAreEmpty(indexes));
  indexes.append(3);
  EXPECT_TRUE(words.argsAreEmpty(indexes));
  EXPECT_TRUE(WordArray(0, nullptr).getFlattenedLine().isEmpty());
}

// Arrays come from a pool shared by threads; one kept past closeWordArray
// stays valid, and one larger than the pool's vectors grows its own.
TEST(WordArrayTest, PoolSurvivesCloseAndManyArrays) {
  char prog[] = "p", a[] = "a";
  char *argv[] = {prog, a};
  std::vector<char *> many(200, a);
  many[0] = prog;
  {
    WordArray first(2, argv);
    closeWordArray();
    WordArray second(2, argv), large(200, many.data());
    EXPECT_EQ(first[0], "a");
    EXPECT_EQ(second[0], "a");
    EXPECT_EQ(large.getCount(), 199);
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(WordArray(2, argv)[0], "a");
    });
  for (std::thread &thread : threads)
    thread.join();
  closeWordArray();
  closeWordArray();
}

} // namespace
