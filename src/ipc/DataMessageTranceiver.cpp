#include "kvsupport/ipc/DataMessageTranceiver.h"

#include "ipc/MessageFrame_p.h"
#include "os/PlatformData_p.h"
#include "strings/YStringLending_p.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

YString &processName() {
  static YString name;
  return name;
}

// Every live transceiver of the process, newest first. Transceivers of
// different threads may come and go at once, hence the lock; each is used
// only by its own thread.
std::mutex &listLock() {
  static auto *lock = new std::mutex;
  return *lock;
}
struct Member {
  DataMessageTranceiver *transceiver;
  std::thread::id thread;
  YString name; // a copy of its own: read by other threads under the lock
};
// Never destroyed: a transceiver with static storage may go after it would.
std::vector<Member> &transceivers() {
  static auto *list = new std::vector<Member>;
  return *list;
}

// The members made on the calling thread, which alone may use them.
std::vector<DataMessageTranceiver *> ownThreadMembers() {
  std::lock_guard<std::mutex> guard(listLock());
  std::vector<DataMessageTranceiver *> own;
  for (const Member &member : transceivers())
    if (member.thread == std::this_thread::get_id())
      own.push_back(member.transceiver);
  return own;
}

bool listed(DataMessageTranceiver *t) {
  std::lock_guard<std::mutex> guard(listLock());
  for (const Member &member : transceivers())
    if (member.transceiver == t)
      return true;
  return false;
}

bool isWordBreak(char c) { return c == ' ' || c == '\t'; }

// Commands are at most 256 MiB, so their lengths fit an int.
YString firstWord(const char *text, const char **rest) {
  const char *end = text;
  while (*end && !isWordBreak(*end))
    ++end;
  *rest = end;
  return YString(text, static_cast<int>(end - text));
}

// Smaller texts are copied: holding a record's storage would cost more.
constexpr int32_t kLeastTakenText = 64 * 1024;
constexpr size_t kRecordHeadBytes = 12;
constexpr size_t kRecordTrailerBytes = 8;

} // namespace

bool kv::detail::TransceiverAccess::takeReceivedText(DataMessageTranceiver *t, void **cursor,
                                                     YString *text, int *length) {
  char *block = static_cast<char *>(*cursor);
  kv::ipc::Payload *record = t->receivedRecord_;
  if (!t->recordTakable_ || !record || block != record->data() + kRecordHeadBytes)
    return false;
  int32_t declared;
  std::memcpy(&declared, block, 4);
  if (declared < kLeastTakenText ||
      record->size() != kRecordHeadBytes + 4 + size_t(declared) + kRecordTrailerBytes ||
      block[4 + declared] != '\0')
    return false;
  const void *nul = std::memchr(block + 4, '\0', size_t(declared));
  const int taken = nul ? int(static_cast<const char *>(nul) - (block + 4)) : declared;
  if (taken == 0)
    return false; // an empty text shares the one empty block
  *length = taken;
  *cursor = block + 4 + declared;
  t->receivedRecord_ = nullptr;
  *text = YStringLending::adopt(record->release(), kRecordHeadBytes);
  return true;
}

void kv::detail::TransceiverAccess::deliverConnect(DataMessageTranceiver *t, bool initiated) {
  if (t->eventLoop_)
    t->eventLoop_->quit();
  t->receiveConnect(initiated);
}

DataMessageTranceiver::DataMessageTranceiver() : receivers_(37, 2.0) {}

DataMessageTranceiver::DataMessageTranceiver(const char *name, const char *peerName, bool flag)
    : flag_(flag), receivers_(37, 2.0) {
  YString ownProcess = processName().isEmpty() ? kv::os::executableBaseName() : processName();
  platform_ = kv::os::createPlatformData(this, YString(name), YString(peerName), ownProcess);
  // Its own copy of the name: the string's count is not atomic, so other
  // threads must not share this transceiver's.
  Member member{this, std::this_thread::get_id(), YString(name)};
  std::lock_guard<std::mutex> guard(listLock());
  transceivers().insert(transceivers().begin(), member);
}

DataMessageTranceiver::~DataMessageTranceiver() {
  *alive_ = false;
  if (platform_) {
    std::lock_guard<std::mutex> guard(listLock());
    auto &list = transceivers();
    list.erase(std::remove_if(list.begin(), list.end(),
                              [this](const Member &m) { return m.transceiver == this; }),
               list.end());
  }
  delete platform_;
  platform_ = nullptr;
  delete eventLoop_;
}

// Runs a platform operation, which may run handlers that delete this
// transceiver; only a transceiver still alive records the outcome.
template <class Operation> bool DataMessageTranceiver::finish(Operation operation) {
  std::shared_ptr<bool> alive = alive_;
  const bool ok = operation();
  if (*alive)
    lastError_ = ok ? TransceiverOk : platform_->error;
  return ok;
}

bool DataMessageTranceiver::connect(bool *newlyConnected, int peerHandle) {
  if (newlyConnected)
    *newlyConnected = false;
  if (!platform_) {
    lastError_ = TransceiverNotConnected;
    return false;
  }
  if (connected_ && platform_->isConnected()) {
    lastError_ = TransceiverOk;
    return true;
  }
  std::shared_ptr<bool> alive = alive_;
  const bool ok = finish([&] { return platform_->connect(peerHandle); });
  if (*alive)
    connected_ = ok;
  if (newlyConnected)
    *newlyConnected = ok;
  return ok;
}

bool DataMessageTranceiver::waitForConnect() {
  if (isConnected())
    return true;
  if (!platform_ || !QCoreApplication::instance() || platform_->hasFatalError())
    return false;
  if (!eventLoop_)
    eventLoop_ = new QEventLoop;
  std::shared_ptr<bool> alive = alive_;
  eventLoop_->exec();
  return *alive && isConnected();
}

bool DataMessageTranceiver::isConnected() { return platform_ && platform_->isConnected(); }

bool DataMessageTranceiver::sendCommand(const YString &text, CommandMode mode) {
  if (!platform_) {
    lastError_ = TransceiverNotConnected;
    return false;
  }
  const int m = static_cast<int>(mode);
  if (m < 0 || m > 65534 || m == 1 || m == 5 || m == 6 || text.isEmpty()) {
    lastError_ = TransceiverBadArgument;
    return false;
  }
  return finish([&] { return platform_->sendCommand(text, m); });
}

bool DataMessageTranceiver::sendCommand(const YString &text, bool flagged) {
  return sendCommand(text, flagged ? CommandModeFlagged : CommandModeNormal);
}

bool DataMessageTranceiver::sendMessage(UserDataMessage *message) {
  if (!platform_) {
    lastError_ = TransceiverNotConnected;
    return false;
  }
  if (!message || message->size < sizeof(UserDataMessage)) {
    lastError_ = TransceiverBadArgument;
    return false;
  }
  return finish([&] { return platform_->sendMessage(message); });
}

bool DataMessageTranceiver::sendMessagePieces(const RecordPiece *pieces, int count) {
  if (!platform_) {
    lastError_ = TransceiverNotConnected;
    return false;
  }
  bool valid = pieces && count >= 1 && count <= kMaxRecordPieces;
  size_t total = 0;
  for (int i = 0; valid && i < count; ++i) {
    valid = pieces[i].data || pieces[i].bytes == 0;
    total += pieces[i].bytes;
  }
  UserDataMessage header{};
  valid = valid && pieces[0].bytes >= sizeof header;
  if (valid)
    std::memcpy(&header, pieces[0].data, sizeof header);
  if (!valid || header.size != total || header.posted != 0) {
    lastError_ = TransceiverBadArgument;
    return false;
  }
  return finish([&] { return platform_->sendMessagePieces(pieces, count); });
}

bool DataMessageTranceiver::postMessage(UserDataMessage *message) {
  if (!platform_) {
    lastError_ = TransceiverNotConnected;
    return false;
  }
  if (!message || message->size < sizeof(UserDataMessage)) {
    lastError_ = TransceiverBadArgument;
    return false;
  }
  return finish([&] { return platform_->postMessage(message); });
}

bool DataMessageTranceiver::sendMessage(void *data, int length) {
  if (!platform_) {
    lastError_ = TransceiverNotConnected;
    return false;
  }
  if (length < 0 || (!data && length > 0)) {
    lastError_ = TransceiverBadArgument;
    return false;
  }
  return finish([&] { return platform_->sendMessage(data, length); });
}

bool DataMessageTranceiver::testCommand(const YString &name) {
  testReply_ = YString();
  YString command("#TC ");
  command &= name;
  std::shared_ptr<bool> alive = alive_;
  if (!sendCommand(command, CommandModeNormal) || !*alive)
    return false;
  return sp_stricmp(testReply_.tocs(), "1") == 0;
}

DataMessageTranceiver *DataMessageTranceiver::findTranceiver(const char *name) {
  if (!name)
    return nullptr;
  std::lock_guard<std::mutex> guard(listLock());
  for (const Member &member : transceivers())
    if (sp_stricmp(member.name.tocs(), name) == 0)
      return member.transceiver;
  return nullptr;
}

// Asking a peer means sending through the transceiver: only those of the
// calling thread are asked, since a transceiver is used by its own thread.
DataMessageTranceiver *DataMessageTranceiver::findTranceiverWithCommand(const char *name) {
  if (!name)
    return nullptr;
  for (DataMessageTranceiver *t : ownThreadMembers()) {
    // A handler run during an earlier test may have deleted this one.
    if (!listed(t))
      continue;
    if (t->isConnected() && t->testCommand(YString(name)))
      return t;
  }
  return nullptr;
}

bool DataMessageTranceiver::installReceiver(YRef<DataMessageReceiver> receiver) {
  if (!receiver || receivers_.contains(receiver->getName()))
    return false;
  receivers_.insert(receiver->getName(), receiver);
  return true;
}

bool DataMessageTranceiver::waitForMessage(int ms) {
  return platform_ && platform_->waitForMessage(ms);
}

int DataMessageTranceiver::getHandle() { return platform_ ? platform_->getHandle() : 0; }

bool DataMessageTranceiver::setBlockWrites(bool block) {
  return platform_ && platform_->setBlockWrites(block);
}

bool DataMessageTranceiver::hasFatalError() { return platform_ && platform_->hasFatalError(); }

YString DataMessageTranceiver::getFatalMsg() {
  return platform_ ? platform_->getFatalMsg() : YString();
}

void DataMessageTranceiver::allowSetForegroundWindow() {
  if (platform_)
    platform_->allowSetForegroundWindow();
}

YString DataMessageTranceiver::getName() { return platform_ ? platform_->ownName : YString(); }

YString DataMessageTranceiver::getPeerProcessName() {
  return platform_ ? platform_->peerProcessName : YString();
}

int DataMessageTranceiver::getPeerProcessId() { return platform_ ? platform_->peerProcessId : 0; }

std::vector<TransceiverEndpoint> sp_ListTransceiverEndpoints(int *removed) {
  std::vector<TransceiverEndpoint> endpoints;
  for (const auto &[handle, title] : kv::os::listEndpoints(removed))
    endpoints.push_back({handle, YString(title.c_str())});
  return endpoints;
}

void DataMessageTranceiver::setProcessName(const YString &name) { processName() = name; }

void DataMessageTranceiver::notifyProcessExit() {
  connected_ = false;
  platform_->resetConnection();
  if (eventLoop_)
    eventLoop_->quit();
  processExited();
}

void DataMessageTranceiver::receiveCommandInternal(const YString &text, CommandMode mode) {
  const char *at = text.tocs();
  if (at[0] != '#') {
    if (receivers_.isEmpty()) {
      receiveCommand(text, mode);
      return;
    }
    const char *rest;
    YRef<DataMessageReceiver> *found = receivers_.find(firstWord(at, &rest));
    if (!found) {
      receiveCommand(text, mode);
      return;
    }
    YRef<DataMessageReceiver> receiver = *found; // stays alive through its call
    receiver->receive(text);
    return;
  }
  const char *rest;
  YString word = firstWord(at, &rest);
  while (isWordBreak(*rest))
    ++rest;
  YString argument = firstWord(rest, &rest);
  if (word == "#TC") {
    sendCommand(YString(receivers_.contains(argument) ? "#TCRV 1" : "#TCRV 0"), CommandModeNormal);
  } else if (word == "#TCRV") {
    testReply_ = argument;
  }
}
