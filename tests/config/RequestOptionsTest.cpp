#include "kvsupport/config/RequestOptions.h"

#include "kvsupport/hooks/AutoFunc.h"
#include "kvsupport/support/Options.h"

#include "common/ChildProcess.h"
#include "common/EndpointDir.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kOptionsId = 7;

using kvtest::EndpointDir;

// Every carried field of the first definition of `name`, as one comparable text.
std::string describe(const char *name) {
  std::pair<const char *, OptionDefinition *> search{name, nullptr};
  sp_ForEachOptionDefinition(
      [](const OptionDefinition &d, void *data) {
        auto &s = *static_cast<std::pair<const char *, OptionDefinition *> *>(data);
        if (!s.second && std::strcmp(d.name.tocs(), s.first) == 0)
          s.second = new OptionDefinition(d);
      },
      &search);
  if (!search.second)
    return "undefined";
  const std::unique_ptr<OptionDefinition> found(search.second);
  const OptionDefinition &d = *found;
  return std::to_string(d.type) + "|" + d.defaultText.tocs() + "|" + std::to_string(d.defaultReal) +
         "|" + std::to_string(d.defaultBool) + std::to_string(d.isPath) +
         std::to_string(d.migrateable) + "|" + d.module.tocs() + "|" + std::to_string(d.line);
}

// Definitions either side makes: one of its own of each kind, and one name
// both define with different defaults.
void defineOptions(const char *side) {
  const std::string own = std::string("ReqOpt") + side;
  MakeOption(side, 11, YString((own + "Text").c_str()), YString("t\xC3\xA9xt"), true, true, false);
  MakeOption(side, 12, YString((own + "Real").c_str()), 2.5e-3, false);
  MakeOption(side, 13, YString((own + "Bool").c_str()), true, true);
  MakeOption(side, 14, YString("ReqOptShared"), side, false);
}

// Whether the definitions of `side`'s own options are all there, as made.
bool hasOwnOptions(const std::string &side) {
  return describe(("ReqOpt" + side + "Text").c_str()) ==
             "0|t\xC3\xA9xt|0.000000|011|" + side + "|11" &&
         describe(("ReqOpt" + side + "Real").c_str()) == "1||0.002500|000|" + side + "|12" &&
         describe(("ReqOpt" + side + "Bool").c_str()) == "2||0.000000|101|" + side + "|13";
}

// The simulator side: makes (or, bare, drops) its option table, serves one
// remote call, then checks what arrived.
class SimSide : public SimFeDataTransceiver {
public:
  using SimFeDataTransceiver::SimFeDataTransceiver;
  bool quit = false;

protected:
  void receiveCommand(const YString &, CommandMode) override { quit = true; }
};

int runSimSide() {
  const bool bare = kvtest::env("KV_BARE") == "1";
  if (bare) {
    executeAutoFunction("Exit", nullptr);
    if (describe("ReqOptParentText") != "undefined" || sp_OptionExists(YString("ReqOptShared")))
      return 2;
  } else {
    defineOptions("Child");
  }
  SimSide sim(kvtest::env("KV_NAME").c_str(), kvtest::env("KV_PEER").c_str());
  sim.setReceiveObject(YRef<CopyDataObject>(new RequestOptions), kOptionsId);
  kvtest::touchFile(kvtest::env("KV_READY"));
  while (!sim.quit)
    sim.waitForMessage(100);
  if (!hasOwnOptions("Parent"))
    return 3;
  const std::string shared = describe("ReqOptShared");
  return shared == (bare ? "0|Parent|0.000000|000|Parent|14" : "0|Child|0.000000|000|Child|14") ? 0
                                                                                                : 4;
}

TEST(RequestOptionsTest, DefinitionsCrossBetweenProcessesLocalOnesStay) {
  if (kvtest::childRole() == "sim")
    std::exit(runSimSide());
  defineOptions("Parent");
  for (const char *bare : {"0", "1"}) {
    SCOPED_TRACE(std::string("bare child ") + bare);
    EndpointDir dir;
    const std::string fe = kvtest::uniqueName("FE"), sim = kvtest::uniqueName("SIM");
    const std::string ready = dir.root + "/ready";
    auto child = kvtest::startChild(
        "RequestOptionsTest.DefinitionsCrossBetweenProcessesLocalOnesStay", "sim",
        {{"KV_NAME", sim}, {"KV_PEER", fe}, {"KV_READY", ready}, {"KV_BARE", bare}});
    ASSERT_TRUE(kvtest::waitUntil([&] { return kvtest::fileExists(ready); }));
    SimFeDataTransceiver front(fe.c_str(), sim.c_str());
    ASSERT_TRUE(front.connect(nullptr, 0));
    ASSERT_TRUE(front.callRemoteFunction(YRef<CopyDataObject>(new RequestOptions), kOptionsId));
    EXPECT_TRUE(front.sendCommand(YString("quit"), CommandModeNormal));
    EXPECT_EQ(kvtest::waitChild(*child), 0);
    EXPECT_TRUE(*bare == '1' || hasOwnOptions("Child"));
    EXPECT_EQ(describe("ReqOptShared"), "0|Parent|0.000000|000|Parent|14");
  }
}

// A record of a table with one definition, cut or corrupted: nothing of it
// is added, and the endpoint serves on.
TEST(RequestOptionsTest, TablesThatDoNotFitTheirRecordAddNothing) {
  EndpointDir dir;
  const std::string a = kvtest::uniqueName("RAW"), b = kvtest::uniqueName("SIM");
  DataMessageTranceiver raw(a.c_str(), b.c_str(), false);
  SimFeDataTransceiver sim(b.c_str(), a.c_str());
  ASSERT_TRUE(raw.connect(nullptr, 0));
  sim.setReceiveObject(YRef<CopyDataObject>(new RequestOptions), kOptionsId);

  auto table = [](int32_t count, int32_t type, const std::string &name) {
    std::string block(reinterpret_cast<const char *>(&count), 4);
    auto word = [&](int32_t v) { block.append(reinterpret_cast<const char *>(&v), 4); };
    word(type);
    word(static_cast<int32_t>(name.size()));
    block += name;
    word(1);
    block += "d";
    block.append(8 + 3, '\0');
    word(4);
    block += "mod!";
    word(99);
    return block;
  };
  auto send = [&](const std::string &block) {
    std::vector<char> bytes(12 + block.size(), 0);
    auto *record = reinterpret_cast<CopyDataMessage *>(bytes.data());
    record->messageId = kOptionsId;
    record->size = static_cast<uint32_t>(bytes.size());
    std::memcpy(bytes.data() + 12, block.data(), block.size());
    return raw.sendMessage(record);
  };

  const std::string whole = table(1, OptionString, "ReqOptCut");
  ASSERT_EQ(whole.size(), 4u + 31 + 9 + 1 + 4);
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    ASSERT_TRUE(send(whole.substr(0, cut))) << cut;
    ASSERT_FALSE(sp_OptionExists(YString("ReqOptCut"))) << cut;
  }
  const std::string bad[] = {
      table(1, 4, "ReqOptCut"), table(1, -1, "ReqOptCut"), table(2, OptionString, "ReqOptCut"),
      table(0x7FFFFFFF, OptionString, "ReqOptCut"), table(-1, OptionString, "ReqOptCut"),
      // a good definition, then a bad one
      table(2, OptionString, "ReqOptCut") + table(0, 9, "X").substr(4)};
  for (const std::string &block : bad) {
    ASSERT_TRUE(send(block));
    EXPECT_FALSE(sp_OptionExists(YString("ReqOptCut")));
  }
  ASSERT_TRUE(send(whole));
  EXPECT_EQ(describe("ReqOptCut"), "0|d|0.000000|000|mod!|99");
}

} // namespace
