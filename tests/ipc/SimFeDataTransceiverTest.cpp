#include "kvsupport/ipc/SimFeDataTransceiver.h"

#include "common/ChildProcess.h"
#include "common/EndpointDir.h"
#include "common/ProcessSync.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using kvtest::EndpointDir;

// The raw records that reach a plain transceiver.
class RawPeer : public DataMessageTranceiver {
public:
  RawPeer(const std::string &name, const std::string &peer)
      : DataMessageTranceiver(name.c_str(), peer.c_str(), false) {}
  std::vector<std::string> records;

protected:
  void receiveMessage(UserDataMessage *message) override {
    records.emplace_back(reinterpret_cast<char *>(message), message->size);
  }
};

// A text object that counts what it read and, for remote calls, answers
// "echo " + text when told to.
class EchoText : public CopyDataTextObject {
public:
  explicit EchoText(bool answers) : answers_(answers) {}
  int reads = 0;
  void readBlock(void **cursor, DataMessageTranceiver *receiver) override {
    ++reads;
    CopyDataTextObject::readBlock(cursor, receiver);
  }
  bool function() override {
    if (!answers_)
      return false;
    YString answer("echo ");
    answer &= getText();
    setText(answer);
    return true;
  }

private:
  bool answers_;
};

// Offers a shared block that does not add up to its block size: a sender
// must not trust it, and writes the block instead.
class BadShare : public CopyDataTextObject {
public:
  using CopyDataTextObject::CopyDataTextObject;
  bool shareBlock(CopyDataSharedBlock *block) const override {
    CopyDataTextObject::shareBlock(block);
    block->textBytes -= 1;
    return true;
  }
};

struct Pair {
  Pair()
      : a(kvtest::uniqueName("FE")), b(kvtest::uniqueName("SIM")), front(a.c_str(), b.c_str()),
        sim(b.c_str(), a.c_str()) {
    EXPECT_TRUE(front.connect(nullptr, 0));
  }
  EndpointDir dir;
  std::string a, b;
  SimFeDataTransceiver front, sim;
};

TEST(SimFeDataTransceiverTest, TextRecordLayout) {
  EndpointDir dir;
  const std::string a = kvtest::uniqueName("FE"), b = kvtest::uniqueName("RAW");
  SimFeDataTransceiver front(a.c_str(), b.c_str());
  RawPeer raw(b, a);
  ASSERT_TRUE(front.connect(nullptr, 0));
  CopyDataTextObject abc(YString("abc"));
  EXPECT_EQ(abc.getBlockBytes(), 7);
  BadShare bad(YString("abc"));
  ASSERT_TRUE(front.sendSimFeMessage(&abc, 4));
  ASSERT_TRUE(front.sendSimFeMessage(YString("abc"), 4));
  ASSERT_TRUE(front.sendSimFeMessage(&bad, 4));
  const std::string expected("\x04\x00\x00\x00\x1b\x00\x00\x00"
                             "\x00\x00\x00\x00\x03\x00\x00\x00"
                             "abc\x00\x00\x00\x00\x00\x00\x00\x00",
                             27);
  EXPECT_EQ(raw.records, std::vector<std::string>(3, expected));
  EXPECT_FALSE(front.sendSimFeMessage(&abc, 23));
  EXPECT_EQ(front.getLastError(), TransceiverBadArgument);
  EXPECT_FALSE(front.sendSimFeMessage(nullptr, 1));
}

TEST(SimFeDataTransceiverTest, ReceiverByIdTableThenDefaultsThenDropped) {
  Pair pair;
  auto table = new EchoText(false);
  pair.sim.setReceiveObject(YRef<CopyDataObject>(table), 3);
  pair.sim.setReceiveObject(YRef<CopyDataObject>(new EchoText(false)), 23); // ignored
  pair.sim.setReceiveObject(YRef<CopyDataObject>(new EchoText(false)), -1); // ignored
  EchoText fallback(false);
  cdResultsArray[5] = &fallback;
  for (int id : {3, 5, 6, 22}) // 6 and 22 have no receiver at all
    EXPECT_TRUE(pair.front.sendSimFeMessage(YString("text"), id)) << id;
  EXPECT_EQ(table->reads + 10 * fallback.reads, 11);
  EXPECT_STREQ(table->getText().tocs(), "text");
  cdResultsArray[5] = nullptr;
}

// Texts larger than the socket takes at once go out in pieces from where
// they lie, both ways, the answer sent from inside the handler.
TEST(SimFeDataTransceiverTest, LargeRemoteCallArrivesWholeBothWays) {
  Pair pair;
  auto *target = new EchoText(true);
  pair.sim.setReceiveObject(YRef<CopyDataObject>(target), 8);
  std::string big(3u << 20, ' ');
  for (size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<char>('a' + i * 7919 % 26);
  auto *request = new EchoText(true); // it is answered, it answers nothing back
  request->setText(YString(big.c_str()));
  YRef<CopyDataObject> held(request);
  ASSERT_TRUE(pair.front.callRemoteFunction(held, 8));
  const YString echoed(("echo " + big).c_str());
  EXPECT_EQ(target->reads, 1);
  EXPECT_TRUE(target->getText() == echoed);
  EXPECT_TRUE(request->getText() == echoed);
  EXPECT_EQ(request->getBlockBytes(), int(big.size()) + 9);
  // Undelivered: not connected.
  SimFeDataTransceiver alone(kvtest::uniqueName("X").c_str(), "nobody");
  EXPECT_FALSE(alone.callRemoteFunction(YRef<CopyDataObject>(new CopyDataTextObject()), 1));
  EXPECT_EQ(alone.getLastError(), TransceiverNotConnected);
}

// A large text that is all its record holds is kept where it arrived. It
// reads exactly as a copied one: cut at a NUL, whole when the trailer does
// not end it or a byte follows; copies outlive it and edit apart.
TEST(SimFeDataTransceiverTest, LargeTextsReadTheSameWhereverTheyAreKept) {
  EndpointDir dir;
  const std::string a = kvtest::uniqueName("RAW"), b = kvtest::uniqueName("SIM");
  RawPeer raw(a, b);
  SimFeDataTransceiver sim(b.c_str(), a.c_str());
  auto *target = new EchoText(false);
  sim.setReceiveObject(YRef<CopyDataObject>(target), 2);
  ASSERT_TRUE(raw.connect(nullptr, 0));
  constexpr int32_t kText = 70000;
  const struct {
    int nulAt; // -1: none
    char trailer;
    size_t extra; // bytes after the trailer
    int length;
  } cases[] = {
      {-1, 0, 0, kText}, {100, 0, 0, 100}, {0, 0, 0, 0}, {-1, 'x', 0, kText}, {-1, 0, 1, kText}};
  std::vector<YString> kept;
  for (const auto &c : cases) {
    std::vector<char> record(20 + 4 + kText + c.extra, 0);
    const uint16_t id = 2;
    const auto size = static_cast<uint32_t>(record.size());
    std::memcpy(record.data(), &id, 2);
    std::memcpy(record.data() + 4, &size, 4);
    std::memcpy(record.data() + 12, &kText, 4);
    for (int i = 0; i < kText; ++i)
      record[16 + i] = static_cast<char>('a' + i % 26);
    if (c.nulAt >= 0)
      record[16 + c.nulAt] = '\0';
    record[16 + kText] = c.trailer;
    ASSERT_TRUE(raw.sendMessage(reinterpret_cast<UserDataMessage *>(record.data())));
    EXPECT_EQ(target->getText().length(), c.length) << c.nulAt << c.trailer << c.extra;
    EXPECT_EQ(target->getBlockBytes(), 4 + c.length);
    EXPECT_EQ(std::string(target->getText().tocs()), std::string(record.data() + 16, c.length));
    kept.push_back(target->getText());
  }
  target->setText(YString("gone"));
  YString edited = kept[0];
  EXPECT_EQ(edited.getRefCount(), 2);
  edited &= "!";
  EXPECT_EQ(kept[0].getRefCount(), 1);
  EXPECT_EQ(kept[0].length(), kText);
  EXPECT_EQ(edited.length(), kText + 1);
  edited = kept[1];
  edited[0] = 'A'; // its own copy now
  EXPECT_EQ(kept[1].tocs()[0], 'a');
}

// A block is a length and that many bytes, all before the limit.
TEST(SimFeDataTransceiverTest, StringBlockReaderBoundaries) {
  const struct {
    int32_t length;
    int limit;        // bytes from the start of the block
    const char *text; // null: refused
  } cases[] = {
      {3, 7, "abc"},    {3, 6, nullptr},          {3, 8, "abc"},   {0, 4, ""},      {0, 3, nullptr},
      {-1, 8, nullptr}, {0x7FFFFFFF, 8, nullptr}, {3, 0, nullptr}, {3, -1, nullptr}};
  for (const auto &c : cases) {
    char buffer[16] = "-....abc";
    char *block = buffer + 1;
    std::memcpy(block, &c.length, 4);
    void *cursor = block;
    YString text("old");
    EXPECT_EQ(sp_ReadStringBlock(&cursor, block + c.limit, &text), c.text != nullptr) << c.limit;
    EXPECT_EQ(cursor, block + (c.text ? 4 + c.length : 0)) << c.length << " " << c.limit;
    EXPECT_STREQ(text.tocs(), c.text ? c.text : "old");
  }
  void *nowhere = nullptr;
  YString text;
  EXPECT_FALSE(sp_ReadStringBlock(&nowhere, "", &text) ||
               sp_ReadStringBlock(&nowhere, nullptr, &text));
}

} // namespace
