#include "kvsupport/hooks/UserFunctionInterface.h"

#include "kvsupport/strings/YString.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

// A small script engine: results and copied texts live in it.
struct Engine {
  std::vector<double> realResult;
  std::vector<char *> stringResult;
  std::deque<std::string> texts;
  bool refuse = false; // its functions give no room
} gEngine;

UserFunctionInterface makeRecord() {
  UserFunctionInterface record;
  std::memset(&record, 0, sizeof record);
  record.makeRealResult = [](UserFunctionInterface *, unsigned int count, int) -> double * {
    gEngine.realResult.assign(count, 0.0);
    return gEngine.refuse ? nullptr : gEngine.realResult.data();
  };
  record.makeStringResult = [](UserFunctionInterface *, unsigned int count) -> char ** {
    gEngine.stringResult.assign(count, nullptr);
    return gEngine.refuse ? nullptr : gEngine.stringResult.data();
  };
  record.copyText = [](const char *text) -> char * {
    return gEngine.refuse ? nullptr : &gEngine.texts.emplace_back(text)[0];
  };
  return record;
}

double reals[] = {1.5, 2.5, 3.5};
char textA[] = "alpha", textB[] = "beta";
char *texts[] = {textA, textB};
char *nullText[] = {nullptr};

// Every reader on one argument slot, against what the readers should see
// there: nothing, reals, texts, or another type (read as reals by all but
// the vector reader). The copies have room for two elements.
TEST(UserFunctionInterfaceTest, ReadersReadOnlyWhatIsThere) {
  enum Seen { None, Real, String, Other };
  const struct {
    const char *what;
    int index;
    void *elements;
    uint32_t count;
    int32_t type;
    Seen seen;
  } cases[] = {
      {"real", 0, reals, 3, UserFunctionReal, Real},
      {"one real", 0, reals, 1, UserFunctionReal, Real},
      {"string", 0, texts, 2, UserFunctionString, String},
      {"null text", 0, nullText, 1, UserFunctionString, String},
      {"other type", 0, reals, 3, 5, Other},
      {"no elements", 0, reals, 0, UserFunctionReal, None},
      {"null elements", 0, nullptr, 3, UserFunctionReal, None},
      {"last slot", 31, reals, 3, UserFunctionReal, Real},
      {"index = count", 4, reals, 3, UserFunctionReal, None},
      {"negative index", -1, reals, 3, UserFunctionReal, None},
      {"index 32", 32, reals, 3, UserFunctionReal, None},
  };
  for (const auto &c : cases) {
    UserFunctionInterface record = makeRecord();
    record.numArguments = c.index == 4 ? 4 : 40; // more than 32 count as 32
    record.arguments[c.index >= 0 && c.index < 32 ? c.index : 0] = {c.elements, c.count, c.type, nullptr};
    if (c.index == 4)
      record.arguments[4] = {reals, 3, UserFunctionReal, nullptr}; // present, beyond the count
    const bool real = c.seen == Real || c.seen == Other, string = c.seen == String;
    auto *const elements = static_cast<char **>(c.elements);
    const bool text = string && elements[0];
    const unsigned held = c.seen == None ? 0 : std::min(c.count, 2u);

    double value = -1;
    EXPECT_EQ(sp_GetScalarReal(&record, c.index, &value), real) << c.what;
    EXPECT_EQ(value, real ? reals[0] : -1) << c.what;
    YString scalar("unchanged");
    EXPECT_EQ(sp_GetScalarString(&record, c.index, &scalar), text) << c.what;
    EXPECT_STREQ(scalar.tocs(), text ? "alpha" : "unchanged") << c.what;
    const double *realElements = reals;
    unsigned int count = 99;
    sp_GetRealIfVector(&record, c.index, &realElements, &count);
    EXPECT_EQ(count, c.seen == Real ? c.count : 0) << c.what;
    EXPECT_EQ(realElements, c.seen == Real ? c.elements : nullptr) << c.what;
    char *const *stringElements = texts;
    sp_GetStringIfVector(&record, c.index, &stringElements, &count);
    EXPECT_EQ(count, string ? c.count : 0) << c.what;
    EXPECT_EQ(stringElements, string ? c.elements : nullptr) << c.what;

    double data[3] = {-1, -1, -1}, copied[3] = {-1, -1, -1};
    char sentinel[] = "sentinel";
    char *copiedTexts[3] = {sentinel, sentinel, sentinel};
    EXPECT_EQ(sp_GetRealIfData(&record, c.index, data, 2), real ? int(held) : 0) << c.what;
    sp_CopyRealIfData(&record, c.index, copied, 16);
    sp_CopyStringIfData(&record, c.index, copiedTexts, 16);
    for (unsigned i = 0; i < 3; ++i) {
      EXPECT_EQ(data[i], real && i < held ? reals[i] : -1) << c.what << " " << i;
      EXPECT_EQ(copied[i], real && i < held ? reals[i] : -1) << c.what << " " << i;
      EXPECT_EQ(copiedTexts[i], string && i < held ? elements[i] : sentinel) << c.what << i;
    }
  }
}

TEST(UserFunctionInterfaceTest, CopiesStopAtTheRoomAndTheElements) {
  UserFunctionInterface record = makeRecord();
  record.numArguments = 1;
  record.arguments[0] = {reals, 3, UserFunctionReal, nullptr};
  const struct {
    int room, copied, bytes, bytesCopied;
  } cases[] = {{0, 0, 0, 0}, {-4, 0, -8, 0}, {1, 1, 7, 0}, {3, 3, 15, 1}, {10, 3, 80, 3}};
  for (const auto &c : cases) {
    double data[10] = {}, copied[10] = {};
    EXPECT_EQ(sp_GetRealIfData(&record, 0, data, c.room), c.copied) << c.room;
    sp_CopyRealIfData(&record, 0, copied, c.bytes);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(copied[i], i < c.bytesCopied ? reals[i] : 0) << c.bytes << " " << i;
  }
  double value = 0;
  EXPECT_FALSE(sp_GetScalarReal(nullptr, 0, &value) || sp_GetScalarReal(&record, 0, nullptr));
  EXPECT_EQ(sp_GetRealIfData(&record, 0, nullptr, 3), 0);
  sp_CopyRealIfData(&record, 0, nullptr, 24);
  sp_GetRealIfVector(&record, 0, nullptr, nullptr);
  sp_GetStringIfVector(nullptr, 0, nullptr, nullptr);
}

TEST(UserFunctionInterfaceTest, ResultsGoThroughTheEngine) {
  UserFunctionInterface record = makeRecord();
  EXPECT_TRUE(sp_SetScalarReal(&record, 2.75));
  EXPECT_EQ(gEngine.realResult, std::vector<double>{2.75});
  YString text("result");
  EXPECT_TRUE(sp_SetScalarString(&record, text));
  ASSERT_EQ(gEngine.stringResult.size(), 1u);
  EXPECT_STREQ(gEngine.stringResult[0], "result");
  EXPECT_NE(gEngine.stringResult[0], text.tocs()); // the engine's own copy
  EXPECT_NE(sp_MakeStringResult(&record, 3), nullptr);
  EXPECT_EQ(gEngine.stringResult.size(), 3u);
  EXPECT_STREQ(sp_CopyJs(&record, YString("copied")), "copied");

  gEngine.refuse = true;
  EXPECT_FALSE(sp_SetScalarReal(&record, 1) || sp_SetScalarString(&record, text));
  EXPECT_EQ(sp_MakeStringResult(&record, 1), nullptr);
  EXPECT_EQ(sp_CopyJs(&record, text), nullptr);
  gEngine.refuse = false;
  UserFunctionInterface noRoom = makeRecord(); // the text is copied, the result has no room
  noRoom.makeStringResult = [](UserFunctionInterface *, unsigned int) -> char ** { return nullptr; };
  EXPECT_FALSE(sp_SetScalarString(&noRoom, text));

  UserFunctionInterface bare = makeRecord(); // an engine without result functions
  bare.makeRealResult = nullptr;
  bare.makeStringResult = nullptr;
  EXPECT_FALSE(sp_SetScalarReal(&bare, 1) || sp_SetScalarString(&bare, text));
  EXPECT_EQ(sp_MakeStringResult(&bare, 1), nullptr);
  EXPECT_FALSE(sp_SetScalarString(nullptr, text) || sp_SetScalarReal(nullptr, 1));
}

} // namespace
