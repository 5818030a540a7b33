#include "kvsupport/ipc/SimFeDataTransceiver.h"

#include "common/EndpointDir.h"
#include "common/ChildProcess.h"
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
  ASSERT_TRUE(front.sendSimFeMessage(&abc, 4));
  ASSERT_TRUE(front.sendSimFeMessage(YString("abc"), 4));
  const std::string expected("\x04\x00\x00\x00\x1b\x00\x00\x00"
                             "\x00\x00\x00\x00\x03\x00\x00\x00"
                             "abc\x00\x00\x00\x00\x00\x00\x00\x00",
                             27);
  ASSERT_EQ(raw.records.size(), 2u);
  EXPECT_EQ(raw.records[0], expected);
  EXPECT_EQ(raw.records[1], expected);
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
  struct Case {
    int id;
    int tableReads, fallbackReads;
  };
  const Case cases[] = {{3, 1, 0}, {5, 1, 1}, {6, 1, 1}, {22, 1, 1}};
  for (const Case &c : cases) {
    EXPECT_TRUE(pair.front.sendSimFeMessage(YString("text"), c.id)) << c.id;
    EXPECT_EQ(table->reads, c.tableReads) << c.id;
    EXPECT_EQ(fallback.reads, c.fallbackReads) << c.id;
  }
  EXPECT_STREQ(table->getText().tocs(), "text");
  cdResultsArray[5] = nullptr;
}

TEST(SimFeDataTransceiverTest, RemoteCallAnswersIntoTheCallersObject) {
  Pair pair;
  for (bool answers : {true, false}) {
    pair.sim.setReceiveObject(YRef<CopyDataObject>(new EchoText(answers)), 9);
    auto *request = new CopyDataTextObject(YString("ping"));
    YRef<CopyDataObject> held(request);
    ASSERT_TRUE(pair.front.callRemoteFunction(held, 9));
    EXPECT_STREQ(request->getText().tocs(), answers ? "echo ping" : "ping");
  }
  // Undelivered: not connected.
  SimFeDataTransceiver alone(kvtest::uniqueName("X").c_str(), "nobody");
  EXPECT_FALSE(alone.callRemoteFunction(YRef<CopyDataObject>(new CopyDataTextObject()), 1));
  EXPECT_EQ(alone.getLastError(), TransceiverNotConnected);
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
  auto *request = new CopyDataTextObject(YString(big.c_str()));
  YRef<CopyDataObject> held(request);
  ASSERT_TRUE(pair.front.callRemoteFunction(held, 8));
  const YString echoed(("echo " + big).c_str());
  EXPECT_EQ(target->reads, 1);
  EXPECT_TRUE(target->getText() == echoed);
  EXPECT_TRUE(request->getText() == echoed);
  EXPECT_EQ(request->getBlockBytes(), int(big.size()) + 9);
}

// Records from a peer that does not follow the format: the block reader
// stays inside the record and a bad block changes nothing.
TEST(SimFeDataTransceiverTest, MalformedRecordsChangeNothing) {
  EndpointDir dir;
  const std::string a = kvtest::uniqueName("RAW"), b = kvtest::uniqueName("SIM");
  DataMessageTranceiver raw(a.c_str(), b.c_str(), false);
  SimFeDataTransceiver sim(b.c_str(), a.c_str());
  ASSERT_TRUE(raw.connect(nullptr, 0));
  auto *target = new EchoText(true);
  target->setText(YString("unchanged"));
  sim.setReceiveObject(YRef<CopyDataObject>(target), 2);
  struct Case {
    const char *what;
    uint32_t size;
    int32_t length; // the text block's length field
    int reads;
  };
  const Case cases[] = {
      {"under 20 bytes", 19, 3, 0},
      {"length past the end", 27, 20, 1},
      {"negative length", 27, -1, 1},
      {"huge length", 27, 0x7FFFFFFF, 1},
  };
  int reads = 0;
  for (const Case &c : cases) {
    std::vector<char> bytes(c.size, 0);
    auto *record = reinterpret_cast<CopyDataMessage *>(bytes.data());
    record->messageId = 2;
    record->size = c.size;
    if (c.size >= 16) {
      record->answerRequested = 1;
      std::memcpy(bytes.data() + 12, &c.length, 4);
      if (c.size > 16)
        std::memset(bytes.data() + 16, 'z', c.size - 16);
    }
    EXPECT_TRUE(raw.sendMessage(record)) << c.what;
    reads += c.reads;
    EXPECT_EQ(target->reads, reads) << c.what;
    EXPECT_STREQ(target->getText().tocs(), "unchanged") << c.what;
  }
}

TEST(SimFeDataTransceiverTest, StringBlockReaderBoundaries) {
  char buffer[16] = {};
  const int32_t three = 3;
  std::memcpy(buffer, &three, 4);
  std::memcpy(buffer + 4, "abc", 3);
  for (int limit = 0; limit <= 8; ++limit) {
    void *cursor = buffer;
    YString text("old");
    const bool fits = limit >= 7;
    EXPECT_EQ(sp_ReadStringBlock(&cursor, buffer + limit, &text), fits) << limit;
    EXPECT_EQ(cursor, fits ? static_cast<void *>(buffer + 7) : static_cast<void *>(buffer));
    EXPECT_STREQ(text.tocs(), fits ? "abc" : "old");
  }
  void *nowhere = nullptr;
  YString text;
  EXPECT_FALSE(sp_ReadStringBlock(&nowhere, buffer + 8, &text));
  EXPECT_FALSE(sp_ReadStringBlock(&nowhere, nullptr, &text));
}

} // namespace
