#include "kvsupport/ipc/SimFeDataTransceiver.h"

#include "ipc/PeerProblems_p.h"
#include "os/PlatformData_p.h"

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

// The text of a block, cut at a NUL byte if it holds one; its length in
// *length (so that large texts are scanned once only).
static bool readStringBlock(void **cursor, const char *limit, YString *text, int *length) {
  const char *at = static_cast<const char *>(*cursor);
  if (!at || !limit || limit < at || limit - at < 4)
    return false;
  int32_t declared;
  std::memcpy(&declared, at, 4);
  if (declared < 0 || declared > limit - at - 4)
    return false;
  size_t taken = 0;
  *text = YString::fromBytes(at + 4, static_cast<size_t>(declared), &taken);
  *length = static_cast<int>(taken);
  *cursor = const_cast<char *>(at + 4 + declared);
  return true;
}

void kv::detail::TransceiverAccess::readTakingRecord(DataMessageTranceiver *t,
                                                     CopyDataObject *object, void **cursor) {
  const bool outer = t->recordTakable_;
  t->recordTakable_ = true;
  object->readBlock(cursor, t);
  t->recordTakable_ = outer;
}

bool sp_ReadStringBlock(void **cursor, const char *limit, YString *text) {
  int length;
  return readStringBlock(cursor, limit, text, &length);
}

void CopyDataTextObject::readBlock(void **cursor, DataMessageTranceiver *receiver) {
  // A large text that is all its record holds is taken where it lies.
  lastReadWhole_ =
      receiver &&
      (kv::detail::TransceiverAccess::takeReceivedText(receiver, cursor, &text_, &length_) ||
       readStringBlock(cursor, receiver->receiveLimit(), &text_, &length_));
  if (!lastReadWhole_)
    kv::ipc::reportPeerProblem("dropped a text block that does not fit its record");
}

// The block form of YString, from the length already known.
void CopyDataTextObject::writeBlock(void **cursor) const {
  char *at = static_cast<char *>(*cursor);
  const int32_t length = length_;
  std::memcpy(at, &length, 4);
  std::memcpy(at + 4, text_.tocs(), static_cast<size_t>(length_));
  *cursor = at + 4 + length_;
}

bool CopyDataTextObject::shareBlock(CopyDataSharedBlock *block) const {
  const int32_t length = length_;
  std::memcpy(block->prefix, &length, 4);
  block->prefixBytes = 4;
  block->text = text_;
  block->textBytes = length_;
  return true;
}

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

bool SimFeDataTransceiver::sendObject(const CopyDataObject *object, CopyDataMessageId id, bool post,
                                      bool request) {
  const int blockBytes = object ? object->getBlockBytes() : -1;
  if (!validId(id) || blockBytes < 0) {
    setLastError(TransceiverBadArgument);
    return false;
  }
  const int64_t size = int64_t(blockBytes) + int64_t(kCopyDataMessageOverhead);
  if (size > kMaxRecordBytes) {
    setLastError(TransceiverTooLarge);
    return false;
  }
  if (!isConnected()) {
    setLastError(TransceiverNotConnected);
    return false;
  }
  CopyDataSharedBlock shared;
  if (!post && object->shareBlock(&shared) && shared.prefixBytes >= 0 &&
      shared.prefixBytes <= int(sizeof shared.prefix) && shared.textBytes >= 0 &&
      shared.prefixBytes + int64_t(shared.textBytes) == blockBytes)
    return sendSharedBlock(shared, id, request, static_cast<uint32_t>(size));
  // The storage of the previous record is reused (zero-filled again): large
  // records in a row then cost no fresh memory. A send made while this one
  // waits (from a handler) finds none and takes its own.
  std::vector<char> storage = std::move(spareRecord_);
  storage.resize(static_cast<size_t>(size));
  std::memset(storage.data(), 0, 12);
  auto *record = reinterpret_cast<CopyDataMessage *>(storage.data());
  record->messageId = static_cast<uint16_t>(id);
  record->size = static_cast<uint32_t>(size);
  record->answerRequested = request ? 1 : 0;
  void *cursor = storage.data() + 12;
  object->writeBlock(&cursor);
  char *written = static_cast<char *>(cursor);
  assert(written <= storage.data() + size - 8 && "writeBlock wrote more than getBlockBytes");
  // Whatever the object left unwritten, and the trailer, are zero.
  std::memset(written, 0, static_cast<size_t>(storage.data() + size - written));
  std::shared_ptr<const bool> alive = aliveToken();
  bool ok = post ? postMessage(record) : sendMessage(record);
  if (*alive && storage.capacity() <= (16u << 20))
    spareRecord_ = std::move(storage);
  return ok;
}

// The record in pieces: its header and the block's prefix, the shared
// text, the zero trailer. The text is sent from where it lies.
bool SimFeDataTransceiver::sendSharedBlock(const CopyDataSharedBlock &block, CopyDataMessageId id,
                                           bool request, uint32_t size) {
  static const char trailer[8] = {};
  char head[12 + sizeof block.prefix] = {};
  CopyDataMessage header;
  header.messageId = static_cast<uint16_t>(id);
  header.posted = 0;
  header.size = size;
  header.answerRequested = request ? 1 : 0;
  std::memcpy(head, &header, 12);
  std::memcpy(head + 12, block.prefix, static_cast<size_t>(block.prefixBytes));
  const RecordPiece pieces[] = {{head, 12 + static_cast<size_t>(block.prefixBytes)},
                                {block.text.tocs(), static_cast<size_t>(block.textBytes)},
                                {trailer, sizeof trailer}};
  return sendMessagePieces(pieces, 3);
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
  std::shared_ptr<const bool> alive = aliveToken();
  // Read first: a reader may take the record's storage over with its text.
  const bool answerRequested = record->answerRequested == 1;
  kv::detail::TransceiverAccess::readTakingRecord(this, receiver, &cursor);
  // A default receiver is the host's: when its reader replaced it (and may
  // have deleted it), it is not touched again.
  const bool receiverStays = registered || cdResultsArray[id] == receiver;
  if (*alive && receiverStays && answerRequested && receiver->answerRequest(this) && *alive)
    sendObject(receiver, id, false, false);
}
