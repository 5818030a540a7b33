#include "kvsupport/strings/Buf.h"
#include "kvsupport/strings/CharQueue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <random>
#include <string>

namespace {

TEST(BufTest, DoublesWhenFullAndStaysTerminated) {
  Buf buf(4);
  std::string expected;
  const int capacities[] = {4, 4, 4, 8, 8, 8, 8, 16};
  for (int i = 0; i < 8; ++i) {
    buf.add(static_cast<char>('a' + i));
    EXPECT_EQ(buf.getCapacity(), capacities[i]) << "after character " << i;
    expected += static_cast<char>('a' + i);
  }
  EXPECT_EQ(std::string(buf), expected);
  buf.add('\xE9');
  EXPECT_EQ(buf.lastChar(), -23); // sign-extended

  Buf tiny(0);
  tiny.append("grows from one byte");
  EXPECT_STREQ(tiny, "grows from one byte");
}

TEST(BufTest, EditsAndHandsOverItsText) {
  Buf buf;
  buf.append("hello");
  buf.append(nullptr);
  buf.remove(2);
  buf.remove(-1);
  EXPECT_STREQ(buf, "hel");
  buf.remove(10);
  EXPECT_STREQ(buf, "");
  const std::string text(200, 'x');
  buf.append(text.c_str());
  Buf copy(buf);
  buf.flush();
  buf = copy;
  char *detached = buf.detach();
  EXPECT_EQ(detached, text);
  std::free(detached);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(buf.getCapacity(), 80);
}

TEST(BufTest, QueueMatchesADequeAndReusesReadSpace) {
  CharQueue queue(4);
  std::deque<char> reference;
  std::mt19937 random(7);
  for (int i = 0; i < 20000; ++i) {
    if (random() % 3 != 0) {
      char c = static_cast<char>('a' + random() % 26);
      queue.add(c);
      reference.push_back(c);
    } else {
      char expected = 0;
      if (!reference.empty()) {
        expected = reference.front();
        reference.pop_front();
      }
      ASSERT_EQ(queue.pop(), expected);
    }
    ASSERT_EQ(queue.getLength(), static_cast<int>(reference.size()));
    ASSERT_EQ(std::string(queue), std::string(reference.begin(), reference.end()));
  }
  queue.flush();
  EXPECT_TRUE(queue.isEmpty());
  // Reading keeps up with writing: the space before the head is reused
  // instead of growing the buffer.
  CharQueue steady(8);
  for (int i = 0; i < 1000; ++i) {
    steady.append("abcde");
    for (char c : std::string("abcde"))
      ASSERT_EQ(steady.pop(), c);
  }
  EXPECT_EQ(steady.getCapacity(), 8);
}

} // namespace
