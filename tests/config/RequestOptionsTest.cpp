#include "kvsupport/config/RequestOptions.h"

#include "kvsupport/hooks/AutoFunc.h"
#include "kvsupport/support/Options.h"

#include "common/ChildProcess.h"
#include "common/EndpointDir.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"
#include "os/PlatformData_p.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr int kOptionsId = 7;

using kvtest::EndpointDir;

// Every carried field of the first definition of `name`, as one comparable text.
std::string describe(const char *name) {
  std::pair<const char *, std::string> search{name, "undefined"};
  sp_ForEachOptionDefinition(
      [](const OptionDefinition &d, void *data) {
        auto &s = *static_cast<std::pair<const char *, std::string> *>(data);
        if (s.second == "undefined" && std::strcmp(d.name.tocs(), s.first) == 0)
          s.second = std::to_string(d.type) + "|" + d.defaultText.tocs() + "|" +
                     std::to_string(d.defaultReal) + "|" + std::to_string(d.defaultBool) +
                     std::to_string(d.isPath) + std::to_string(d.migrateable) + "|" +
                     d.module.tocs() + "|" + std::to_string(d.line);
      },
      &search);
  return search.second;
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
  void processExited() override { quit = true; } // the front end went: nothing to wait for
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
  for (int polls = 0; !sim.quit && polls < 600; ++polls) // never left behind for long
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
    auto child = kvtest::startReady("sim", dir.root + "/ready",
                                    {{"KV_NAME", sim}, {"KV_PEER", fe}, {"KV_BARE", bare}});
    SimFeDataTransceiver front(fe.c_str(), sim.c_str());
    ASSERT_TRUE(front.connect(nullptr, 0));
    ASSERT_TRUE(front.callRemoteFunction(YRef<CopyDataObject>(new RequestOptions), kOptionsId));
    EXPECT_TRUE(front.sendCommand(YString("quit"), CommandModeNormal));
    EXPECT_EQ(kvtest::waitChild(*child), 0);
    EXPECT_TRUE(*bare == '1' || hasOwnOptions("Child"));
    EXPECT_EQ(describe("ReqOptShared"), "0|Parent|0.000000|000|Parent|14");
  }
}

// A table with one definition, cut or corrupted: nothing of it is added.
TEST(RequestOptionsTest, TablesThatDoNotFitTheirRecordAddNothing) {
  EndpointDir dir;
  SimFeDataTransceiver sim(kvtest::uniqueName("SIM").c_str(), "nobody");
  sim.setReceiveObject(YRef<CopyDataObject>(new RequestOptions), kOptionsId);
  auto table = [](int32_t count, int32_t type) {
    std::string block;
    for (int32_t word : {count, type, 9})
      block.append(reinterpret_cast<const char *>(&word), 4);
    block += "ReqOptCut";
    block.append("\1\0\0\0d", 5);
    block.append(8 + 3, '\0');
    block.append("\4\0\0\0mod!\x63\0\0\0", 12);
    return block;
  };
  auto deliver = [&](const std::string &block) {
    std::vector<char> bytes(12 + block.size(), 0);
    auto *record = reinterpret_cast<CopyDataMessage *>(bytes.data());
    record->messageId = kOptionsId;
    record->size = static_cast<uint32_t>(bytes.size());
    std::memcpy(bytes.data() + 12, block.data(), block.size());
    kv::detail::TransceiverAccess::deliverRecord(&sim, record, bytes.data() + bytes.size(),
                                                 std::make_shared<bool>(true));
  };
  const std::string whole = table(1, OptionString);
  std::vector<std::string> bad = {table(1, 4),
                                  table(1, -1),
                                  table(2, OptionString),
                                  table(0x7FFFFFFF, OptionString),
                                  table(-1, OptionString),
                                  table(2, OptionString) + table(0, 9).substr(4)};
  for (size_t cut = 0; cut < whole.size(); ++cut)
    bad.push_back(whole.substr(0, cut));
  for (const std::string &block : bad) {
    deliver(block);
    ASSERT_FALSE(sp_OptionExists(YString("ReqOptCut"))) << &block - bad.data();
  }
  deliver(whole);
  EXPECT_EQ(describe("ReqOptCut"), "0|d|0.000000|000|mod!|99");
}

} // namespace
