#include "kvsupport/hooks/UserFunctionInterface.h"

#include "kvsupport/strings/YString.h"

#include <gtest/gtest.h>

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

void setArgument(UserFunctionInterface &record, int index, void *elements, uint32_t count,
                 int32_t type) {
  record.arguments[index].elements = elements;
  record.arguments[index].count = count;
  record.arguments[index].type = type;
}

// Every reader on one argument slot. Columns: scalar real read, scalar
// string read, real vector count, string vector count, real data copied
// (room for 2), reals copied (16 bytes), texts copied (16 bytes).
TEST(UserFunctionInterfaceTest, ReadersReadOnlyWhatIsThere) {
  struct Case {
    const char *what;
    int index;
    void *elements;
    uint32_t count;
    int32_t type;
    bool real, string;
    unsigned realVector, stringVector;
    int realData, realCopied, stringCopied;
  } cases[] = {
      {"real", 0, reals, 3, UserFunctionReal, true, false, 3, 0, 2, 2, 0},
      {"one real", 0, reals, 1, UserFunctionReal, true, false, 1, 0, 1, 1, 0},
      {"string", 0, texts, 2, UserFunctionString, false, true, 0, 2, 0, 0, 2},
      {"null text", 0, nullText, 1, UserFunctionString, false, false, 0, 1, 0, 0, 1},
      {"other type", 0, reals, 3, 5, true, false, 0, 0, 2, 2, 0},
      {"no elements", 0, reals, 0, UserFunctionReal, false, false, 0, 0, 0, 0, 0},
      {"null elements", 0, nullptr, 3, UserFunctionReal, false, false, 0, 0, 0, 0, 0},
      {"last slot", 31, reals, 3, UserFunctionReal, true, false, 3, 0, 2, 2, 0},
      {"index = count", 4, reals, 3, UserFunctionReal, false, false, 0, 0, 0, 0, 0},
      {"negative index", -1, reals, 3, UserFunctionReal, false, false, 0, 0, 0, 0, 0},
      {"index 32", 32, reals, 3, UserFunctionReal, false, false, 0, 0, 0, 0, 0},
  };
  for (const Case &c : cases) {
    UserFunctionInterface record = makeRecord();
    record.numArguments = c.index == 4 ? 4 : 40; // more than 32 count as 32
    const int slot = c.index >= 0 && c.index < 32 ? c.index : 0;
    setArgument(record, slot, c.elements, c.count, c.type);
    if (c.index == 4)
      setArgument(record, 4, reals, 3, UserFunctionReal); // present, beyond the count

    double real = -1;
    EXPECT_EQ(sp_GetScalarReal(&record, c.index, &real), c.real) << c.what;
    EXPECT_EQ(real, c.real ? static_cast<double *>(c.elements)[0] : -1) << c.what;
    YString text("unchanged");
    EXPECT_EQ(sp_GetScalarString(&record, c.index, &text), c.string) << c.what;
    EXPECT_STREQ(text.tocs(), c.string ? "alpha" : "unchanged") << c.what;

    const double *realElements = reals;
    unsigned int count = 99;
    sp_GetRealIfVector(&record, c.index, &realElements, &count);
    EXPECT_EQ(count, c.realVector) << c.what;
    EXPECT_EQ(realElements, c.realVector ? c.elements : nullptr) << c.what;
    char *const *stringElements = texts;
    sp_GetStringIfVector(&record, c.index, &stringElements, &count);
    EXPECT_EQ(count, c.stringVector) << c.what;
    EXPECT_EQ(stringElements, c.stringVector ? c.elements : nullptr) << c.what;

    double data[4] = {-1, -1, -1, -1};
    EXPECT_EQ(sp_GetRealIfData(&record, c.index, data, 2), c.realData) << c.what;
    EXPECT_EQ(data[2], -1) << c.what;
    double copied[4] = {-1, -1, -1, -1};
    sp_CopyRealIfData(&record, c.index, copied, 16);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(copied[i], i < c.realCopied ? reals[i] : -1) << c.what << " " << i;
    char sentinel[] = "sentinel";
    char *copiedTexts[3] = {sentinel, sentinel, sentinel};
    sp_CopyStringIfData(&record, c.index, copiedTexts, 16);
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(copiedTexts[i], i < c.stringCopied ? static_cast<char **>(c.elements)[i] : sentinel)
          << c.what << " " << i;
  }
}

TEST(UserFunctionInterfaceTest, CopiesStopAtTheRoomAndTheElements) {
  UserFunctionInterface record = makeRecord();
  record.numArguments = 1;
  setArgument(record, 0, reals, 3, UserFunctionReal);
  const struct {
    int room, copied, bytes, bytesCopied;
  } cases[] = {{0, 0, 0, 0}, {-4, 0, -8, 0}, {1, 1, 7, 0}, {3, 3, 15, 1}, {10, 3, 80, 3}};
  for (const auto &c : cases) {
    double data[10] = {0, 0, 0, 0};
    EXPECT_EQ(sp_GetRealIfData(&record, 0, data, c.room), c.copied) << c.room;
    double copied[10] = {0, 0, 0, 0};
    sp_CopyRealIfData(&record, 0, copied, c.bytes);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(copied[i], i < c.bytesCopied ? reals[i] : 0) << c.bytes << " " << i;
  }
  double value = 0;
  EXPECT_FALSE(sp_GetScalarReal(nullptr, 0, &value));
  EXPECT_FALSE(sp_GetScalarReal(&record, 0, nullptr));
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
  EXPECT_FALSE(sp_SetScalarReal(&record, 1));
  EXPECT_FALSE(sp_SetScalarString(&record, text));
  EXPECT_EQ(sp_MakeStringResult(&record, 1), nullptr);
  EXPECT_EQ(sp_CopyJs(&record, text), nullptr);
  gEngine.refuse = false;

  UserFunctionInterface bare = makeRecord(); // an engine without result functions
  bare.makeRealResult = nullptr;
  bare.makeStringResult = nullptr;
  EXPECT_FALSE(sp_SetScalarReal(&bare, 1));
  EXPECT_FALSE(sp_SetScalarString(&bare, text));
  EXPECT_EQ(sp_MakeStringResult(&bare, 1), nullptr);
  EXPECT_FALSE(sp_SetScalarString(nullptr, text));
  EXPECT_FALSE(sp_SetScalarReal(nullptr, 1));
}

} // namespace
