#include "kvsupport/hooks/UserFunctionInterface.h"

#include "kvsupport/strings/YString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <sstream>
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
char textA[] = "alpha", textB[] = "beta", sentinel[] = "s";
char *texts[] = {textA, textB, nullptr};

// What every reader makes of argument `index`, in one line: both scalars,
// both vectors (count, and '=' when they point at the argument's elements),
// and the three copies into room for `room` elements ('s': left alone).
std::string readAll(const UserFunctionInterface &record, int index, int room) {
  const void *elements = index >= 0 && index < 32 ? record.arguments[index].elements : nullptr;
  auto where = [&](const void *p) { return p ? (p == elements ? "=" : "?") : "0"; };
  double value = -1, data[4] = {-1, -1, -1, -1}, copied[4] = {-1, -1, -1, -1};
  YString text("-");
  const double *realElements = reals;
  char *const *stringElements = texts;
  unsigned int realCount = 99, stringCount = 99;
  char *copiedTexts[4] = {sentinel, sentinel, sentinel, sentinel};
  std::ostringstream out;
  out << sp_GetScalarReal(&record, index, &value) << ':' << value << ' ';
  out << sp_GetScalarString(&record, index, &text) << ':' << text.tocs() << ' ';
  sp_GetRealIfVector(&record, index, &realElements, &realCount);
  sp_GetStringIfVector(&record, index, &stringElements, &stringCount);
  out << realCount << where(realElements) << ' ' << stringCount << where(stringElements) << ' ';
  out << sp_GetRealIfData(&record, index, data, room);
  // Room in bytes for `room` elements and a part of one more.
  sp_CopyRealIfData(&record, index, copied, room * 8 + 7);
  sp_CopyStringIfData(&record, index, copiedTexts, room * 8 + 7);
  for (double *row : {data, copied})
    out << ' ' << row[0] << ',' << row[1] << ',' << row[2] << ',' << row[3];
  for (int i = 0; i < 4; ++i)
    out << (i ? ',' : ' ') << (copiedTexts[i] ? copiedTexts[i] : "0");
  return out.str();
}

TEST(UserFunctionInterfaceTest, ReadersReadOnlyWhatIsThere) {
  const char *nothing = "0:-1 0:- 00 00 0 -1,-1,-1,-1 -1,-1,-1,-1 s,s,s,s";
  const struct {
    int index;
    void *elements;
    uint32_t count;
    int32_t type;
    int room;
    const char *seen;
  } cases[] = {
      {0, reals, 3, UserFunctionReal, 2, "1:1.5 0:- 3= 00 2 1.5,2.5,-1,-1 1.5,2.5,-1,-1 s,s,s,s"},
      {0, reals, 3, UserFunctionReal, 4, "1:1.5 0:- 3= 00 3 1.5,2.5,3.5,-1 1.5,2.5,3.5,-1 s,s,s,s"},
      {0, reals, 3, UserFunctionReal, -1, "1:1.5 0:- 3= 00 0 -1,-1,-1,-1 -1,-1,-1,-1 s,s,s,s"},
      {0, texts, 2, UserFunctionString, 1,
       "0:-1 1:alpha 00 2= 0 -1,-1,-1,-1 -1,-1,-1,-1 alpha,s,s,s"},
      {0, texts + 2, 1, UserFunctionString, 2, "0:-1 0:- 00 1= 0 -1,-1,-1,-1 -1,-1,-1,-1 0,s,s,s"},
      {0, reals, 3, 5, 2, "1:1.5 0:- 00 00 2 1.5,2.5,-1,-1 1.5,2.5,-1,-1 s,s,s,s"}, // another type
      {0, reals, 0, UserFunctionReal, 2, nothing},
      {0, nullptr, 3, UserFunctionReal, 2, nothing},
      {4, reals, 3, UserFunctionReal, 2, nothing}, // the index is the count
      {-1, reals, 3, UserFunctionReal, 2, nothing},
      {32, reals, 3, UserFunctionReal, 2, nothing},
  };
  UserFunctionInterface record;
  for (const auto &c : cases) {
    record = makeRecord();
    record.numArguments = c.index == 4 ? 4 : 40; // more than 32 count as 32
    // The argument in slot 31 for index -1, in slot 0 for index 32.
    record.arguments[c.index & 31] = {c.elements, c.count, c.type, nullptr};
    EXPECT_EQ(readAll(record, c.index, c.room), c.seen) << "case " << &c - cases;
  }
  double value = 0; // on the last case's record: a real at 0
  EXPECT_FALSE(sp_GetScalarReal(nullptr, 0, &value) || sp_GetScalarReal(&record, 0, nullptr));
  EXPECT_EQ(sp_GetRealIfData(&record, 0, nullptr, 3), 0);
  sp_CopyRealIfData(&record, 0, nullptr, 24);
  sp_GetStringIfVector(nullptr, 0, nullptr, nullptr);
}

TEST(UserFunctionInterfaceTest, ResultsGoThroughTheEngine) {
  UserFunctionInterface record = makeRecord();
  const YString text("result");
  EXPECT_TRUE(sp_SetScalarReal(&record, 2.75) && sp_SetScalarString(&record, text));
  EXPECT_EQ(gEngine.realResult, std::vector<double>{2.75});
  EXPECT_EQ(gEngine.texts.back(), "result"); // the engine's own copy is the result
  EXPECT_EQ(gEngine.stringResult, std::vector<char *>{&gEngine.texts.back()[0]});

  gEngine.refuse = true;
  EXPECT_FALSE(sp_SetScalarReal(&record, 1) || sp_SetScalarString(&record, text));
  gEngine.refuse = false;
  UserFunctionInterface noRoom = makeRecord(); // the text is copied, the result has no room
  noRoom.makeStringResult = [](UserFunctionInterface *, unsigned int) -> char ** {
    return nullptr;
  };
  EXPECT_FALSE(sp_SetScalarString(&noRoom, text));

  noRoom.makeRealResult = nullptr; // now an engine without result functions
  noRoom.makeStringResult = nullptr;
  EXPECT_FALSE(sp_SetScalarReal(&noRoom, 1) || sp_SetScalarString(&noRoom, text));
  EXPECT_EQ(sp_MakeStringResult(&noRoom, 1), nullptr);
  EXPECT_FALSE(sp_SetScalarString(nullptr, text) || sp_SetScalarReal(nullptr, 1));
}

} // namespace
