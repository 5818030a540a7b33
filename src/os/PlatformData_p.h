// Internal header, not API: the operating-system side of a
// DataMessageTranceiver (its endpoint, connection and traffic), and the
// entry points through which it hands incoming traffic to its transceiver.
#pragma once

#include "kvsupport/ipc/DataMessageTranceiver.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

/// One transceiver's endpoint and connection. Created and used on the
/// transceiver's thread only.
class PlatformData {
public:
  virtual ~PlatformData() = default;

  virtual bool isConnected() = 0;
  /// Connects by endpoint handle, or by title with 0.
  virtual bool connect(int peerHandle) = 0;
  /// Raw bytes, synchronously.
  virtual bool sendMessage(const void *data, int length) = 0;
  /// A record, synchronously (posted flag 0).
  virtual bool sendMessage(UserDataMessage *message) = 0;
  /// A record in pieces (1 to kMaxRecordPieces; its header, posted flag 0,
  /// at the start of the first), synchronously.
  virtual bool sendMessagePieces(const RecordPiece *pieces, int count) = 0;
  /// A record, posted (posted flag 1).
  virtual bool postMessage(UserDataMessage *message) = 0;
  /// A command of `mode` (a valid mode: the transceiver checked it).
  virtual bool sendCommand(const YString &text, int mode) = 0;
  virtual int getHandle() = 0;
  virtual bool waitForMessage(int ms) = 0;
  virtual bool setBlockWrites(bool block) = 0;
  virtual bool hasFatalError() = 0;
  virtual YString getFatalMsg() = 0;
  /// Ends the connection (if any), forgets the peer, restores the title.
  virtual void resetConnection() = 0;
  virtual void allowSetForegroundWindow() = 0;

  /// Why the last operation failed.
  TransceiverError error = TransceiverOk;

  YString ownName;
  YString peerName;
  YString ownProcessName;
  YString peerProcessName;
  int peerProcessId = 0;
};

class CopyDataObject;

namespace kv::detail {

/// What the platform layer may do to its transceiver.
struct TransceiverAccess {
  static void deliverCommand(DataMessageTranceiver *t, const YString &text, int mode) {
    t->receiveCommandInternal(text, static_cast<CommandMode>(mode));
  }
  /// `alive` turns false when the handler deleted the transceiver. The
  /// record lies in `storage` when given: its text may then be taken.
  static void deliverRecord(DataMessageTranceiver *t, UserDataMessage *message, const char *end,
                            const std::shared_ptr<bool> &alive,
                            kv::ipc::Payload *storage = nullptr) {
    const char *outer = t->receiveLimit_;
    kv::ipc::Payload *outerStorage = t->receivedRecord_;
    const bool outerTakable = t->recordTakable_;
    t->receiveLimit_ = end;
    t->receivedRecord_ = storage;
    t->recordTakable_ = false;
    t->receiveMessage(message);
    if (*alive) {
      t->receiveLimit_ = outer;
      t->receivedRecord_ = outerStorage;
      t->recordTakable_ = outerTakable;
    }
  }
  /// While a record is handled: when the text block at `*cursor` (its
  /// 4-byte length, then the bytes) is all the record holds after its
  /// 12-byte header, a large text, and the record's storage may be taken,
  /// `*text` takes the storage with the text where it lies (cut at a NUL,
  /// length in `*length`), `*cursor` moves past the block and true is
  /// returned. The record is then the text's; nothing may write to it any
  /// more.
  static bool takeReceivedText(DataMessageTranceiver *t, void **cursor, YString *text, int *length);
  /// `object` reads its block at `*cursor` from the handled record, and may
  /// take the record's storage with its text.
  static void readTakingRecord(DataMessageTranceiver *t, CopyDataObject *object, void **cursor);
  static void deliverBytes(DataMessageTranceiver *t, void *data, int length) {
    t->receiveMessage(data, length);
  }
  static void deliverConnect(DataMessageTranceiver *t, bool initiated);
  static void deliverExit(DataMessageTranceiver *t) { t->notifyProcessExit(); }
  static int sendTimeout(const DataMessageTranceiver *t) { return t->sendTimeoutMs_; }
};

} // namespace kv::detail

namespace kv::os {

/// Makes the endpoint of `owner`, titled `name`. Never null; a failure
/// shows as hasFatalError.
PlatformData *createPlatformData(DataMessageTranceiver *owner, const YString &name,
                                 const YString &peerName, const YString &processName);

/// The live endpoints of this user: handle and title. Endpoints found stale
/// (their connect refused and their lock free) are removed on the way;
/// `*removed` (may be null) counts them.
std::vector<std::pair<int, std::string>> listEndpoints(int *removed);

/// The directory holding this user's endpoints, made when missing; empty
/// with `*error` set when it is not a private directory of this user.
std::string endpointDirectory(std::string *error);

/// Tests only: accepted connections count as coming from user `uid`
/// (negative: their real user).
void setPeerUidForTesting(long uid);

/// The base name of the running executable, without directory or extension.
YString executableBaseName();

} // namespace kv::os
