#include "kvsupport/hooks/DynamicFunction.h"
#include "kvsupport/strings/YString.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace {

int one() { return 1; }
int two() { return 2; }
int square(int x) { return x * x; }

using IntFunction = int (*)();

int callNamed(const char *name) {
  void *function = support_GetDynamicFunction(YString(name));
  return function ? reinterpret_cast<IntFunction>(function)() : 0;
}

TEST(DynamicFunctionTest, LaterRegistrationWinsAndDestructionRemovesTheName) {
  EXPECT_EQ(support_GetDynamicFunction(YString("nothingRegistered")), nullptr);
  {
    MakeDynamicFunction first(one, "value");
    EXPECT_EQ(callNamed("value"), 1);
    EXPECT_EQ(callNamed("Value"), 0); // case counts
    auto second = std::make_unique<MakeDynamicFunction>(two, "value");
    MakeDynamicFunction other(square, "square");
    EXPECT_EQ(callNamed("value"), 2);
    second.reset(); // removes both registrations under the name
    EXPECT_EQ(callNamed("value"), 0);
    auto f = reinterpret_cast<int (*)(int)>(support_GetDynamicFunction(YString("square")));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f(7), 49);
  }
  EXPECT_EQ(support_GetDynamicFunction(YString("square")), nullptr);
  EXPECT_EQ(support_GetDynamicFunction(YString("")), nullptr);
}

TEST(DynamicFunctionTest, NamesAreCutTo31Bytes) {
  const char *longName = "abcdefghijklmnopqrstuvwxyz0123456789ABCD"; // 40 bytes
  MakeDynamicFunction registration(one, longName);
  EXPECT_STREQ(registration.getName(), "abcdefghijklmnopqrstuvwxyz01234");
  EXPECT_EQ(callNamed(longName), 1);
  EXPECT_EQ(callNamed("abcdefghijklmnopqrstuvwxyz01234"), 1);
  EXPECT_EQ(callNamed("abcdefghijklmnopqrstuvwxyz01234-other-tail"), 1);
  EXPECT_EQ(callNamed("abcdefghijklmnopqrstuvwxyz0123"), 0);

  MakeDynamicFunction nullName(static_cast<void *>(nullptr), nullptr);
  EXPECT_STREQ(nullName.getName(), "");
}

TEST(DynamicFunctionTest, AssignmentCopiesWithoutRegistering) {
  auto source = std::make_unique<MakeDynamicFunction>(one, "assigned");
  {
    MakeDynamicFunction target(two, "scratch");
    target = *source;
    EXPECT_STREQ(target.getName(), "assigned");
    EXPECT_EQ(target.getFunction(), reinterpret_cast<void *>(one));
    EXPECT_EQ(callNamed("scratch"), 2); // still registered under its old name
    EXPECT_EQ(callNamed("assigned"), 1);
  } // removes "assigned": destruction goes by the object's current name
  EXPECT_EQ(callNamed("assigned"), 0);
  EXPECT_EQ(callNamed("scratch"), 2);
  source.reset();
}

TEST(DynamicFunctionTest, RegistrationsFromSeveralThreads) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      std::string name = "thread" + std::to_string(t);
      for (int i = 0; i < 500; ++i) {
        MakeDynamicFunction registration(t % 2 ? one : two, name.c_str());
        EXPECT_EQ(callNamed(name.c_str()), t % 2 ? 1 : 2);
      }
      EXPECT_EQ(callNamed(name.c_str()), 0);
    });
  }
  for (std::thread &thread : threads)
    thread.join();
}

} // namespace
