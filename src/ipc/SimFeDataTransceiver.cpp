#include "kvsupport/ipc/SimFeDataTransceiver.h"

#include "ipc/PeerProblems_p.h"

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>

CopyDataObject *cdResultsArray[kCopyDataMessageIdCount] = {};

namespace {

// Record sizes travel as 32 bits and frames are limited to 256 MiB.
constexpr int64_t kMaxRecordBytes = int64_t(256) << 20;

bool validId(CopyDataMessageId id) { return id >= 0 && id < kCopyDataMessageIdCount; }

} // namespace

bool sp_ReadStringBlock(void **cursor, const char *limit, YString *text) {
  const char *at = static_cast<const char *>(*cursor);
  if (!at || !limit || limit < at || limit - at < 4)
    return false;
  int32_t length;
  std::memcpy(&length, at, 4);
  if (length < 0 || length > limit - at - 4)
    return false;
  *text = YString(at + 4, length);
  *cursor = const_cast<char *>(at + 4 + length);
  return true;
}

void CopyDataTextObject::readBlock(void **cursor, DataMessageTranceiver *receiver) {
  lastReadWhole_ = receiver && sp_ReadStringBlock(cursor, receiver->receiveLimit(), &text_);
  if (!lastReadWhole_)
    kv::ipc::reportPeerProblem("dropped a text block that does not fit its record");
}

void CopyDataTextObject::writeBlock(void **cursor) const { text_.writeBlock(cursor); }

bool CopyDataTextObject::answerRequest(SimFeDataTransceiver *) {
  return lastReadWhole_ && function();
}

void *CopyDataMessage::operator new(size_t header, size_t bytes) {
  void *record = std::calloc(1, bytes < header ? header : bytes);
  if (!record)
    throw std::bad_alloc();
  return record;
}

void CopyDataMessage::operator delete(void *record) { std::free(record); }

SimFeDataTransceiver::SimFeDataTransceiver(const char *name, const char *peerName)
    : DataMessageTranceiver(name, peerName, false), objects_(kCopyDataMessageIdCount) {}

SimFeDataTransceiver::~SimFeDataTransceiver() = default;

void SimFeDataTransceiver::setReceiveObject(YRef<CopyDataObject> object, CopyDataMessageId id) {
  if (validId(id))
    objects_[static_cast<size_t>(id)] = object;
}

bool SimFeDataTransceiver::sendObject(const CopyDataObject *object, CopyDataMessageId id,
                                      bool post, bool request) {
  if (!object || !validId(id) || object->getBlockBytes() < 0) {
    setLastError(TransceiverBadArgument);
    return false;
  }
  const int64_t size = int64_t(object->getBlockBytes()) + int64_t(kCopyDataMessageOverhead);
  if (size > kMaxRecordBytes) {
    setLastError(TransceiverTooLarge);
    return false;
  }
  if (!isConnected()) {
    setLastError(TransceiverNotConnected);
    return false;
  }
  CopyDataMessage *record = new (static_cast<size_t>(size)) CopyDataMessage;
  record->messageId = static_cast<uint16_t>(id);
  record->size = static_cast<uint32_t>(size);
  record->answerRequested = request ? 1 : 0;
  void *cursor = reinterpret_cast<char *>(record) + 12;
  object->writeBlock(&cursor);
  assert(static_cast<char *>(cursor) <= reinterpret_cast<char *>(record) + size - 8 &&
         "writeBlock wrote more than getBlockBytes");
  bool ok = post ? postMessage(record) : sendMessage(record);
  delete record;
  return ok;
}

bool SimFeDataTransceiver::sendSimFeMessage(CopyDataObject *object, CopyDataMessageId id) {
  return sendObject(object, id, false, false);
}

bool SimFeDataTransceiver::postSimFeMessage(CopyDataObject *object, CopyDataMessageId id) {
  return sendObject(object, id, true, false);
}

bool SimFeDataTransceiver::sendSimFeMessage(const YString &text, CopyDataMessageId id) {
  CopyDataTextObject object(text);
  return sendObject(&object, id, false, false);
}

bool SimFeDataTransceiver::callRemoteFunction(YRef<CopyDataObject> object, CopyDataMessageId id) {
  if (!object || !validId(id)) {
    setLastError(TransceiverBadArgument);
    return false;
  }
  setReceiveObject(object, id);
  return sendObject(object.get(), id, false, true);
}

void SimFeDataTransceiver::receiveMessage(UserDataMessage *message) {
  if (message->size < kCopyDataMessageOverhead) {
    kv::ipc::reportPeerProblem("dropped a copy-data message under 20 bytes");
    return;
  }
  auto *record = static_cast<CopyDataMessage *>(message);
  int16_t id;
  std::memcpy(&id, record, 2);
  if (!validId(id))
    return;
  // Held for the whole call: the object may be replaced while it reads.
  YRef<CopyDataObject> registered = objects_[static_cast<size_t>(id)];
  CopyDataObject *receiver = registered ? registered.get() : cdResultsArray[id];
  if (!receiver)
    return;
  void *cursor = reinterpret_cast<char *>(record) + 12;
  receiver->readBlock(&cursor, this);
  if (record->answerRequested == 1 && receiver->answerRequest(this)) {
    record->answerRequested = 0;
    sendObject(receiver, id, false, false);
  }
}
