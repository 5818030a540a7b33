#include "kvsupport/ipc/DataMessageTranceiver.h"

#include "ipc/MessageFrame_p.h"
#include "os/PlatformData_p.h"

#include "common/ChildProcess.h"
#include "common/EndpointDir.h"
#include "common/ProcessSync.h"
#include "common/TestFiles.h"

#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using kvtest::EndpointDir;

// A transceiver that records what reaches it.
class Probe : public DataMessageTranceiver {
public:
  Probe(const std::string &name, const std::string &peer)
      : DataMessageTranceiver(name.c_str(), peer.c_str(), false) {}
  using DataMessageTranceiver::sendMessagePieces;
  std::vector<std::string> commands;
  std::vector<int> modes;
  std::vector<std::vector<char>> records;
  std::vector<int> postedFlags;
  std::vector<std::string> blocks;
  std::vector<bool> connects;
  int exits = 0;
  std::function<void(UserDataMessage *)> onRecord;
  std::function<void(const std::string &)> onCommand;

protected:
  void processExited() override { ++exits; }
  void receiveCommand(const YString &text, CommandMode mode) override {
    commands.push_back(text.tocs());
    modes.push_back(mode);
    if (onCommand)
      onCommand(text.tocs());
  }
  void receiveConnect(bool initiated) override { connects.push_back(initiated); }
  void receiveMessage(UserDataMessage *message) override {
    const char *bytes = reinterpret_cast<const char *>(message);
    EXPECT_EQ(receiveLimit(), bytes + message->size);
    records.emplace_back(bytes, bytes + message->size);
    postedFlags.push_back(message->posted);
    if (onRecord)
      onRecord(message);
  }
  void receiveMessage(void *data, int length) override {
    blocks.emplace_back(static_cast<char *>(data), static_cast<size_t>(length));
  }
};

class Recorder : public DataMessageReceiver {
public:
  Recorder(const char *name, std::vector<std::string> *log)
      : DataMessageReceiver(YString(name)), log_(log) {}
  void receive(const YString &command) override { log_->push_back(command.tocs()); }

private:
  std::vector<std::string> *log_;
};

std::vector<char> makeRecord(uint16_t id, uint32_t size, uint32_t stamp) {
  std::vector<char> bytes(std::max<uint32_t>(size, 12), 0);
  auto *header = reinterpret_cast<UserDataMessage *>(bytes.data());
  header->messageId = id;
  header->size = static_cast<uint32_t>(bytes.size());
  std::memcpy(bytes.data() + 8, &stamp, 4);
  for (size_t i = 12; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(stamp + i);
  return bytes;
}

// Counts the records of makeRecord that arrive, sent and posted apart, and
// those damaged or out of their order.
struct Arrivals {
  long count[2] = {0, 0}, bad = 0;
  uint32_t last[2] = {0, 0};
  void operator()(const UserDataMessage *message) {
    const char *bytes = reinterpret_cast<const char *>(message);
    const int kind = message->posted ? 1 : 0;
    uint32_t stamp;
    std::memcpy(&stamp, bytes + 8, 4);
    bad += stamp <= last[kind];
    for (size_t i = 12; i < message->size; ++i)
      bad += bytes[i] != static_cast<char>(stamp + i);
    last[kind] = stamp;
    ++count[kind];
  }
};

// Serves `end` until `done` holds; false when `timeoutMs` passes first.
bool serveUntil(DataMessageTranceiver &end, const std::function<bool()> &done,
                int timeoutMs = 30000) {
  return kvtest::waitUntil([&] { return end.waitForMessage(5), done(); }, timeoutMs);
}

std::string readTitle(const EndpointDir &dir, int handle) {
  return kvtest::readFile(dir.dir() + "/" + std::to_string(handle) + ".title");
}

// Two ends in a fresh endpoint directory, `left` looking for `right`.
struct Pair {
  EndpointDir dir;
  std::string a = kvtest::uniqueName("A"), b = kvtest::uniqueName("B");
  Probe left{a, b}, right{b, a};
};

TEST(DataMessageTranceiverTest, HandshakeCommandsAndRecordsSentOrPosted) {
  Pair pair;
  Probe &left = pair.left, &right = pair.right;
  EXPECT_EQ(readTitle(pair.dir, right.getHandle()), pair.b);
  struct stat info;
  ASSERT_EQ(::stat((pair.dir.dir() + "/" + std::to_string(right.getHandle())).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  // A peer that claims another user is refused on both sides.
  kv::os::setPeerUidForTesting(static_cast<long>(::geteuid()) + 1);
  EXPECT_FALSE(left.connect(nullptr, 0));
  kv::os::setPeerUidForTesting(-1);
  EXPECT_TRUE(right.connects.empty());

  bool fresh = false;
  ASSERT_TRUE(left.connect(&fresh, 0));
  EXPECT_TRUE(fresh);
  EXPECT_STREQ(right.getPeerProcessName().tocs(), "kvtest_ipc"); // the program's name
  EXPECT_FALSE(left.waitForMessage(0));
  EXPECT_EQ(left.connects, std::vector<bool>{true});
  EXPECT_EQ(right.connects, std::vector<bool>{false});
  EXPECT_EQ(readTitle(pair.dir, right.getHandle()), pair.b + "-Connected");
  ASSERT_TRUE(left.connect(&fresh, 0));
  EXPECT_FALSE(fresh);

  // A third end looking for b by title finds no unconnected b.
  Probe third(kvtest::uniqueName("C"), pair.b);
  EXPECT_FALSE(third.connect(nullptr, 0));
  EXPECT_EQ(third.getLastError(), TransceiverNotConnected);
  // By handle it may still connect, and replaces the first peer.
  ASSERT_TRUE(third.connect(nullptr, right.getHandle()));
  EXPECT_FALSE(left.isConnected());
  EXPECT_TRUE(third.sendCommand(YString("hello"), CommandModeNormal));
  EXPECT_EQ(right.commands.back(), "hello");
  ASSERT_TRUE(left.connect(nullptr, right.getHandle())); // back to the first peer
  // Ends of the replaced connections, served now, leave the new one alone.
  EXPECT_FALSE(right.waitForMessage(0) || left.waitForMessage(0));
  EXPECT_TRUE(left.isConnected() && right.isConnected());

  // Commands go to receivers by their first word, else to receiveCommand.
  std::vector<std::string> log;
  ASSERT_TRUE(right.installReceiver(YRef<DataMessageReceiver>(new Recorder("Plot", &log))));
  EXPECT_FALSE(right.installReceiver(YRef<DataMessageReceiver>(new Recorder("PLOT", &log))));
  EXPECT_TRUE(left.testCommand(YString("plot")));
  EXPECT_FALSE(left.testCommand(YString("other")));
  // Where each command went: to the receiver, to receiveCommand (with its
  // mode), nowhere, or refused by the sender.
  const struct {
    const char *text;
    int mode;
    std::string fate;
  } cases[] = {
      {"plot v(1)", 0, "Plot: plot v(1)"},
      {"PLOT\tx", 2, "Plot: PLOT\tx"},
      {"plotter v(1)", 0, "plotter v(1) 0"},
      {"run", 3, "run 3"},
      {"x", 1, "refused"},
      {"x", 5, "refused"},
      {"x", 6, "refused"},
      {"x", -1, "refused"},
      {"x", 65534, "x 65534"},
      {"x", 65535, "refused"},
      {"", 0, "refused"},
      {"#unknown hash word", 0, "nowhere"},
  };
  for (const auto &c : cases) {
    const size_t logged = log.size(), commands = right.commands.size();
    std::string fate = "nowhere";
    if (!left.sendCommand(YString(c.text), static_cast<CommandMode>(c.mode)))
      fate = left.getLastError() == TransceiverBadArgument ? "refused" : "failed";
    else if (log.size() > logged)
      fate = "Plot: " + log.back();
    else if (right.commands.size() > commands)
      fate = right.commands.back() + " " + std::to_string(right.modes.back());
    EXPECT_EQ(fate, c.fate) << c.text << " " << c.mode;
  }
  EXPECT_TRUE(left.sendCommand(YString("flagged"), true));
  EXPECT_EQ(right.modes.back(), 2);
  EXPECT_EQ(DataMessageTranceiver::findTranceiver(pair.b.c_str()), &right);
  EXPECT_EQ(DataMessageTranceiver::findTranceiverWithCommand("Plot"), &left);

  // Records: sent before the call returns, posted from the event loop.

  std::vector<char> record = makeRecord(7, 40, 1);
  auto *message = reinterpret_cast<UserDataMessage *>(record.data());
  ASSERT_TRUE(left.sendMessage(message));
  ASSERT_EQ(right.records.size(), 1u);
  EXPECT_EQ(right.postedFlags.back(), 0);
  EXPECT_EQ(right.records.back(), record);

  ASSERT_TRUE(left.postMessage(message) && left.postMessage(message));
  // A post is handled later: not even a synchronous send's wait runs it.
  ASSERT_TRUE(left.sendMessage(nullptr, 0));
  EXPECT_EQ(right.blocks, std::vector<std::string>{""});
  EXPECT_EQ(right.records.size(), 1u);
  EXPECT_TRUE(right.waitForMessage(2000));
  EXPECT_TRUE(serveUntil(right, [&] { return right.records.size() == 3; }));
  EXPECT_EQ(right.postedFlags.back(), 1);

  // Bad arguments fail before anything is sent.
  UserDataMessage tooSmall{1, 0, 4};
  EXPECT_FALSE(left.sendMessage(&tooSmall));
  EXPECT_EQ(left.getLastError(), TransceiverBadArgument);
  EXPECT_FALSE(left.postMessage(nullptr) || left.sendMessage(nullptr, 3) ||
               left.sendMessage(record.data(), -1));
  // A record in pieces arrives whole; pieces that do not add up to its size,
  // none, or a header marked posted are refused.
  const std::vector<char> whole = makeRecord(8, 40, 2);
  const RecordPiece pieces[] = {{whole.data(), 8}, {whole.data() + 8, 32}, {nullptr, 0}};
  ASSERT_TRUE(left.sendMessagePieces(pieces, 3));
  EXPECT_EQ(right.records.back(), whole);
  std::vector<char> marked = whole;
  reinterpret_cast<UserDataMessage *>(marked.data())->posted = 1;
  const RecordPiece markedPiece[] = {{marked.data(), marked.size()}};
  EXPECT_FALSE(left.sendMessagePieces(pieces, 1) || left.sendMessagePieces(pieces, 0) ||
               left.sendMessagePieces(markedPiece, 1));
}

// A handler that sends, whose peer's handler sends again: three sends deep,
// every one answered in order; then a handler that deletes its transceiver.
TEST(DataMessageTranceiverTest, NestedSendsAndHandlerDeletingItsTransceiver) {
  EndpointDir dir;
  const std::string a = kvtest::uniqueName("A"), b = kvtest::uniqueName("B");
  Probe left(a, b);
  auto *right = new Probe(b, a);
  ASSERT_TRUE(left.connect(nullptr, 0));
  // Each end answers a word with the next one, sent from its handler.
  const std::vector<std::string> words = {"one", "two", "three", "four"};
  std::vector<std::string> order;
  for (Probe *self : {&left, right})
    self->onCommand = [&, self](const std::string &text) {
      order.push_back(text);
      const auto at = std::find(words.begin(), words.end(), text);
      if (at + 1 < words.end()) {
        EXPECT_TRUE(self->sendCommand(YString(at[1].c_str()), CommandModeNormal));
      }
    };
  ASSERT_TRUE(left.sendCommand(YString("one"), CommandModeNormal));
  EXPECT_EQ(order, words);

  right->onCommand = [&](const std::string &text) {
    if (text == "die")
      delete right;
  };
  const int handle = right->getHandle();
  EXPECT_TRUE(left.sendCommand(YString("die"), CommandModeNormal)) << "answered before it went";
  EXPECT_FALSE(kvtest::fileExists(dir.dir() + "/" + std::to_string(handle)));
  EXPECT_TRUE(serveUntil(left, [&] { return left.exits == 1; }));
  EXPECT_FALSE(left.isConnected());

  // A transceiver deleted by its own handler while its send still waits:
  // the send returns without touching it.
  const std::string s = kvtest::uniqueName("S"), p = kvtest::uniqueName("P");
  auto *sender = new Probe(s, p);
  Probe peer(p, s);
  ASSERT_TRUE(sender->connect(nullptr, 0));
  peer.onCommand = [&](const std::string &text) {
    if (text == "call back")
      peer.sendCommand(YString("die"), CommandModeNormal);
  };
  sender->onCommand = [&](const std::string &text) {
    if (text == "die")
      delete sender;
  };
  sender->sendCommand(YString("call back"), CommandModeNormal);
  EXPECT_EQ(DataMessageTranceiver::findTranceiver(s.c_str()), nullptr);
}

// --- Malformed traffic, written by hand to a serving endpoint -------------

int rawConnect(const std::string &path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string frameBytes(uint16_t kind, uint16_t flags, uint32_t sequence, const std::string &payload,
                       uint32_t magic = kv::ipc::kFrameMagic, int64_t length = -1) {
  kv::ipc::FrameHeader header;
  header.magic = magic;
  header.kind = kind;
  header.flags = flags;
  header.sequence = sequence;
  header.length =
      length < 0 ? static_cast<uint32_t>(payload.size()) : static_cast<uint32_t>(length);
  unsigned char head[16];
  kv::ipc::encodeFrameHeader(header, head);
  return std::string(reinterpret_cast<char *>(head), 16) + payload;
}

std::string connectRecord(const std::string &name, size_t size = 280, bool terminated = true) {
  kv::ipc::ConnectRecord record;
  record.processName = name;
  record.processId = static_cast<uint32_t>(::getpid());
  std::vector<char> bytes = kv::ipc::encodeConnectRecord(record);
  if (!terminated)
    std::memset(bytes.data() + 20, 'x', 256);
  bytes.resize(size);
  return std::string(bytes.begin(), bytes.end());
}

std::string userRecord(uint32_t sizeField, size_t length) {
  std::string bytes(length, 'r');
  if (length >= 8) {
    UserDataMessage header{3, 0, sizeField};
    std::memcpy(&bytes[0], &header, 8);
  }
  return bytes;
}

// Directories planted where the endpoints go are refused, never used.
TEST(DataMessageTranceiverTest, PlantedEndpointDirectoriesAreRefused) {
  const std::function<void(const std::string &)> plants[] = {
      [](const std::string &d) { ::mkdir(d.c_str(), 0777), ::chmod(d.c_str(), 0777); },
      [](const std::string &d) { ::mkdir(d.c_str(), 0750); },
      [](const std::string &d) { ::symlink("/tmp", d.c_str()); },
      [](const std::string &d) { kvtest::writeFile(d, "x"); },
      [](const std::string &d) {
        ::mkdir(d.c_str(), 0700);
        if (::chown(d.c_str(), 65534, 65534) != 0)
          ::chmod(d.c_str(), 0777); // not root: still refused, for its mode
      },
  };
  for (const auto &plant : plants) {
    EndpointDir dir;
    plant(dir.dir());
    Probe probe(kvtest::uniqueName("P"), "none");
    EXPECT_TRUE(probe.hasFatalError()) << &plant - plants;
    EXPECT_NE(std::string(probe.getFatalMsg().tocs()).find("not a private directory"),
              std::string::npos)
        << probe.getFatalMsg().tocs();
    EXPECT_FALSE(probe.connect(nullptr, 0));
  }
}

TEST(DataMessageTranceiverTest, MalformedFramesAreDroppedWhileTheEndpointServesOn) {
  EndpointDir dir;
  Probe right(kvtest::uniqueName("B"), "anyone");
  const std::string path = dir.dir() + "/" + std::to_string(right.getHandle());
  const std::string hello = frameBytes(1, 1, 1, connectRecord("raw"));
  // What the endpoint did: closed the connection, or answered (the
  // handshake, then the record's "handled" flag) with how many deliveries.
  const struct {
    const char *what;
    std::string bytes; // after the handshake when `handshake`
    bool handshake;
    const char *outcome;
  } cases[] = {
      {"bad magic", frameBytes(1, 1, 1, connectRecord("raw"), 0x12345678), false, "closed 0"},
      {"oversize", frameBytes(0, 1, 2, "", kv::ipc::kFrameMagic, (256 << 20) + 1), true,
       "closed 0"},
      {"no connect record first", frameBytes(0, 1, 1, std::string("hi\0", 3)), false, "closed 0"},
      {"short connect record", frameBytes(1, 1, 1, connectRecord("raw", 279)), false, "closed 0"},
      {"unterminated name", frameBytes(1, 1, 1, connectRecord("raw", 280, false)), false,
       "closed 0"},
      {"empty command", frameBytes(0, 1, 2, ""), true, "refused 0"},
      {"record under 8", frameBytes(6, 1, 2, userRecord(6, 6)), true, "refused 0"},
      {"size field short", frameBytes(6, 1, 2, userRecord(20, 24)), true, "refused 0"},
      {"size field long", frameBytes(6, 1, 2, userRecord(28, 24)), true, "refused 0"},
      {"good command", frameBytes(0, 1, 2, std::string("ok\0", 3)), true, "delivered 1"},
      {"good record", frameBytes(6, 1, 2, userRecord(24, 24)), true, "delivered 1"},
  };
  for (const auto &c : cases) {
    const size_t before = right.commands.size() + right.records.size();
    const int fd = rawConnect(path);
    ASSERT_GE(fd, 0) << c.what;
    const std::string bytes = (c.handshake ? hello : "") + c.bytes;
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); // it may close on us: no SIGPIPE
    std::string back;
    bool closed = false;
    kvtest::waitUntil(
        [&] {
          right.waitForMessage(0);
          char buffer[4096];
          const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
          closed = closed || n == 0;
          back.append(buffer, n > 0 ? static_cast<size_t>(n) : 0);
          return closed || back.size() >= (c.handshake ? 16 + 280 : 0) + 17;
        },
        5000);
    ::close(fd);
    const std::string answered = back.size() != 16 + 280 + 17 ? "garbled"
                                 : back.back()                ? "delivered"
                                                              : "refused";
    EXPECT_EQ((closed ? "closed" : answered) + " " +
                  std::to_string(right.commands.size() + right.records.size() - before),
              c.outcome)
        << c.what;
  }
}

// A process of another user reaching an endpoint: run as root, the child
// takes another effective user id (keeping root's file access, so that the
// endpoint's directory does not stop it first) and sends a well-formed
// connect record. 0: the connection was closed on it without an answer.
int connectAsAnotherUser() {
  if (::seteuid(65534) != 0)
    return 2;
  ::setfsuid(0);
  const int fd = rawConnect(kvtest::env("KV_SOCKET"));
  const std::string hello = frameBytes(1, 1, 1, connectRecord(kvtest::env("KV_NAME")));
  int outcome = 3;
  if (fd >= 0) { // the endpoint may close on it before the record is written
    char answer;
    const ssize_t written = ::send(fd, hello.data(), hello.size(), MSG_NOSIGNAL);
    outcome = written != ssize_t(hello.size()) || ::read(fd, &answer, 1) <= 0 ? 0 : 5;
    ::close(fd);
  }
  return ::seteuid(0) == 0 ? outcome : 6; // root again: the leak checker at exit needs it
}

// Transceivers of different threads: each thread's sends are served by its
// own endpoints only, while the process-wide list changes under all of them.
TEST(DataMessageTranceiverTest, ThreadsWithTheirOwnTransceivers) {
  EndpointDir dir;
  constexpr int kThreads = 4, kCommands = 200;
  std::atomic<int> delivered{0};
  std::vector<QThread *> threads;
  for (int t = 0; t < kThreads; ++t) {
    const std::string a = kvtest::uniqueName("TA"), b = kvtest::uniqueName("TB");
    threads.push_back(QThread::create([a, b, &delivered] {
      Probe left(a, b), right(b, a);
      if (!left.connect(nullptr, 0))
        return;
      for (int i = 0; i < kCommands; ++i)
        delivered += left.sendCommand(YString(std::to_string(i).c_str()), CommandModeNormal) &&
                     right.commands.back() == std::to_string(i);
      EXPECT_EQ(DataMessageTranceiver::findTranceiver(a.c_str()), &left);
    }));
    threads.back()->start();
  }
  for (int i = 0; i < 50; ++i)
    DataMessageTranceiver::findTranceiver("nobody");
  for (QThread *thread : threads) {
    EXPECT_TRUE(thread->wait(60000));
    delete thread;
  }
  EXPECT_EQ(delivered.load(), kThreads * kCommands);
}

// --- Traffic with a peer in another process ---------------------------------

// The child: an endpoint named KV_NAME for peer KV_PEER that echoes every
// record the way it came (sent back as sent, posted as posted), counts
// commands, and on "hang N" does not serve for N milliseconds.
class EchoPeer : public Probe {
public:
  using Probe::Probe;
  bool done = false;
  Arrivals arrivals;

protected:
  void processExited() override { done = true; }
  void receiveMessage(UserDataMessage *message) override {
    arrivals(message);
    std::vector<char> copy(reinterpret_cast<char *>(message),
                           reinterpret_cast<char *>(message) + message->size);
    auto *echo = reinterpret_cast<UserDataMessage *>(copy.data());
    if (message->posted)
      while (!postMessage(echo) && getLastError() == TransceiverQueueFull)
        waitForMessage(5);
    else
      sendMessage(echo);
  }
  void receiveCommand(const YString &text, CommandMode) override {
    const std::string command = text.tocs();
    if (command.rfind("hang ", 0) == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(command.c_str() + 5)));
    else if (command == "counts")
      sendCommand(YString(("counts " + std::to_string(arrivals.count[0]) + " " +
                           std::to_string(arrivals.count[1]) + " " + std::to_string(arrivals.bad) +
                           " " + std::to_string(commands.size()))
                              .c_str()),
                  CommandModeNormal);
    commands.push_back(command);
  }
};

int runEchoPeer() {
  EchoPeer peer(kvtest::env("KV_NAME"), kvtest::env("KV_PEER"));
  if (peer.hasFatalError())
    return 2;
  kvtest::touchFile(kvtest::env("KV_READY"));
  if (kvtest::env("KV_BUSY") == "1") {
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
  }
  while (!peer.done)
    peer.waitForMessage(100);
  return peer.arrivals.bad == 0 ? 0 : 3;
}

// Starts the echoing peer KV_NAME in a child, once it serves.
std::unique_ptr<QProcess> startPeer(const EndpointDir &dir, const std::string &name,
                                    const std::string &peer, bool busy = false) {
  return kvtest::startReady("echo", dir.root + "/ready" + name,
                            {{"KV_NAME", name}, {"KV_PEER", peer}, {"KV_BUSY", busy ? "1" : "0"}});
}

// One peer process takes ten thousand records both ways, then hangs, then
// is killed mid-send; a second one is alive but never serves; a third
// one, of another user, is refused.
TEST(DataMessageTranceiverTest, PeerProcessRecordsHangKillAndLeftFiles) {
  if (kvtest::childRole() == "echo" || kvtest::childRole() == "foreign")
    std::exit(kvtest::childRole() == "echo" ? runEchoPeer() : connectAsAnotherUser());
  EndpointDir dir;
  const std::string a = kvtest::uniqueName("A"), b = kvtest::uniqueName("B");
  const std::string busy = kvtest::uniqueName("Busy");
  auto peer = startPeer(dir, b, a), stuck = startPeer(dir, busy, "x", true);
  Probe self(a, b);
  ASSERT_TRUE(self.connect(nullptr, 0));
  Arrivals echoed;
  self.onRecord = [&](UserDataMessage *message) { echoed(message); };
  const int total = 10000;
  for (int i = 1; i <= total; ++i) {
    // Mostly small records, some of every size up to 1 MiB.
    const uint32_t size = i % 499 == 0    ? 1u << 20
                          : i % 1999 == 0 ? 12
                                          : 12 + static_cast<uint32_t>(i * 7919 % 4096);
    std::vector<char> record = makeRecord(static_cast<uint16_t>(i), size, static_cast<uint32_t>(i));
    auto *message = reinterpret_cast<UserDataMessage *>(record.data());
    if (i % 2 == 0) {
      ASSERT_TRUE(self.sendMessage(message)) << i << " error " << self.getLastError();
    } else {
      while (!self.postMessage(message)) {
        ASSERT_EQ(self.getLastError(), TransceiverQueueFull) << i;
        self.waitForMessage(5);
      }
    }
  }
  ASSERT_TRUE(serveUntil(
      self, [&] { return echoed.count[0] + echoed.count[1] == total; }, 120000))
      << echoed.count[0] << " + " << echoed.count[1];
  EXPECT_EQ(echoed.count[0], total / 2);
  EXPECT_EQ(echoed.bad, 0);
  ASSERT_TRUE(self.sendCommand(YString("counts"), CommandModeNormal));
  EXPECT_EQ(self.commands.back(), "counts 5000 5000 0 0");

  // The late answer of a timed-out send is dropped; the next send gets its own.
  self.setSendTimeout(500);
  EXPECT_FALSE(self.sendCommand(YString("hang 1500"), CommandModeNormal));
  EXPECT_EQ(self.getLastError(), TransceiverTimedOut);
  self.setSendTimeout(-1);
  ASSERT_TRUE(self.sendCommand(YString("counts"), CommandModeNormal));
  EXPECT_EQ(self.commands.back(), "counts 5000 5000 0 2");

  std::thread killer([pid = peer->processId()] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(static_cast<pid_t>(pid), SIGKILL);
  });
  EXPECT_FALSE(self.sendCommand(YString("hang 30000"), CommandModeNormal));
  EXPECT_EQ(self.getLastError(), TransceiverPeerGone);
  killer.join();
  peer->waitForFinished();
  EXPECT_FALSE(self.isConnected());
  EXPECT_TRUE(serveUntil(self, [&] { return self.exits == 1; }));
  self.waitForMessage(50);
  EXPECT_EQ(self.exits, 1);
  if (::geteuid() == 0) { // taking another user id needs root
    auto foreign = kvtest::startChild(
        kvtest::currentTest(), "foreign",
        {{"KV_SOCKET", dir.dir() + "/" + std::to_string(self.getHandle())}, {"KV_NAME", b}});
    ASSERT_TRUE(kvtest::waitUntil([&] { // served while the child tries
      self.waitForMessage(20);
      return foreign->waitForFinished(0) || foreign->state() == QProcess::NotRunning;
    }));
    EXPECT_EQ(foreign->exitCode(), 0);
    EXPECT_EQ(self.connects.size(), 1u);
  }

  // The listing removes the killed endpoint's files, once; the busy one's stay.
  auto titles = [&] {
    std::map<std::string, int> found;
    int removed = 0;
    for (const auto &[handle, title] : kv::os::listEndpoints(&removed))
      found[title] = handle;
    found["removed"] = removed;
    return found;
  };
  std::map<std::string, int> before = titles();
  ASSERT_EQ(before.count(busy), 1u);
  EXPECT_EQ(before.count(b), 0u);
  EXPECT_EQ(before["removed"], 1);
  int files = 0;
  for (const char *suffix : {"", ".title", ".lck"})
    files += kvtest::fileExists(dir.dir() + "/" + std::to_string(before[busy]) + suffix);
  EXPECT_EQ(files, 3);
  EXPECT_EQ(titles()["removed"], 0);
  stuck->kill();
  stuck->waitForFinished();
}

} // namespace
