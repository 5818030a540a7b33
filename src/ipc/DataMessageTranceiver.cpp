#include "kvsupport/ipc/DataMessageTranceiver.h"

#include "os/PlatformData_p.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <mutex>
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
  static std::mutex lock;
  return lock;
}
std::vector<DataMessageTranceiver *> &transceivers() {
  static std::vector<DataMessageTranceiver *> list;
  return list;
}

std::vector<DataMessageTranceiver *> snapshot() {
  std::lock_guard<std::mutex> guard(listLock());
  return transceivers();
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

} // namespace

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
  std::lock_guard<std::mutex> guard(listLock());
  transceivers().insert(transceivers().begin(), this);
}

DataMessageTranceiver::~DataMessageTranceiver() {
  if (platform_) {
    std::lock_guard<std::mutex> guard(listLock());
    auto &list = transceivers();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  delete platform_;
  platform_ = nullptr;
  delete eventLoop_;
}

bool DataMessageTranceiver::finish(bool ok) {
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
  connected_ = finish(platform_->connect(peerHandle));
  if (newlyConnected)
    *newlyConnected = connected_;
  return connected_;
}

bool DataMessageTranceiver::waitForConnect() {
  if (isConnected())
    return true;
  if (!platform_ || !QCoreApplication::instance() || platform_->hasFatalError())
    return false;
  if (!eventLoop_)
    eventLoop_ = new QEventLoop;
  eventLoop_->exec();
  return isConnected();
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
  return finish(platform_->sendCommand(text, m));
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
  return finish(platform_->sendMessage(message));
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
  return finish(platform_->postMessage(message));
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
  return finish(platform_->sendMessage(data, length));
}

bool DataMessageTranceiver::testCommand(const YString &name) {
  testReply_ = YString();
  YString command("#TC ");
  command &= name;
  if (!sendCommand(command, CommandModeNormal))
    return false;
  return sp_stricmp(testReply_.tocs(), "1") == 0;
}

DataMessageTranceiver *DataMessageTranceiver::findTranceiver(const char *name) {
  if (!name)
    return nullptr;
  for (DataMessageTranceiver *t : snapshot())
    if (t->platform_ && sp_stricmp(t->platform_->ownName.tocs(), name) == 0)
      return t;
  return nullptr;
}

DataMessageTranceiver *DataMessageTranceiver::findTranceiverWithCommand(const char *name) {
  if (!name)
    return nullptr;
  for (DataMessageTranceiver *t : snapshot()) {
    // The list may change during a test (a handler may delete a
    // transceiver): only members still listed are asked.
    std::vector<DataMessageTranceiver *> now = snapshot();
    if (std::find(now.begin(), now.end(), t) == now.end())
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
    sendCommand(YString(receivers_.contains(argument) ? "#TCRV 1" : "#TCRV 0"),
                CommandModeNormal);
  } else if (word == "#TCRV") {
    testReply_ = argument;
  }
}
