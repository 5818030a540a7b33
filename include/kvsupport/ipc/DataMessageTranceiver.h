#pragma once

#include "kvsupport/containers/YHashTable.h"
#include "kvsupport/containers/YRef.h"
#include "kvsupport/strings/YString.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class QEventLoop;
class PlatformData;
namespace kv::ipc {
class Payload;
}
namespace kv::detail {
struct TransceiverAccess;
}

/// The header every message record begins with (little-endian on the wire,
/// which is the host order here). The caller's fields follow it.
struct UserDataMessage {
  uint16_t messageId; ///< the caller's
  uint16_t posted;    ///< 1 when posted, 0 when sent; set by the transceiver
  uint32_t size;      ///< the whole record in bytes, header included
};

/// A run of bytes of a record that is sent without first being gathered.
struct RecordPiece {
  const void *data;
  size_t bytes;
};
constexpr int kMaxRecordPieces = 4;

/// The mode carried with a command. Values 1, 5 and 6 are not modes (they
/// name the other kinds of traffic) and are refused by sendCommand; the
/// meaning of modes other than 0 and 2 lies with the callers. Modes range
/// over 0 to 65534.
enum CommandMode : int { CommandModeNormal = 0, CommandModeFlagged = 2 };

/// Why the last operation of a transceiver failed.
enum TransceiverError : int {
  TransceiverOk = 0,
  TransceiverNotConnected = 1, ///< no peer, or no endpoint (see hasFatalError)
  TransceiverPeerGone = 2,     ///< the connection ended before the peer answered
  TransceiverTimedOut = 3,     ///< no answer within the send time-out
  TransceiverQueueFull = 4,    ///< more than 16 MiB of posted records wait for the peer
  TransceiverTooLarge = 5,     ///< more than 256 MiB in one record
  TransceiverBadArgument = 6   ///< a malformed record, mode or text (or the peer refused it)
};

/// A live endpoint of this user: its handle and title.
struct TransceiverEndpoint {
  int handle;
  YString title;
};

/// Every live endpoint of this user, newest first. Endpoints found stale on
/// the way (their connect refused while their lock was free) are removed;
/// `*removed` (may be null) counts them.
std::vector<TransceiverEndpoint> sp_ListTransceiverEndpoints(int *removed);

/// A named handler of incoming commands whose first word is its name.
class DataMessageReceiver {
public:
  explicit DataMessageReceiver(const YString &name) : name_(name) {}
  virtual ~DataMessageReceiver() = default;
  const YString &getName() const { return name_; }
  /// Given the whole command text.
  virtual void receive(const YString &command) = 0;

private:
  YString name_;
};

/// A receiver that does nothing: a key for look-ups by name.
class TestDataMessageReceiver : public DataMessageReceiver {
public:
  using DataMessageReceiver::DataMessageReceiver;
  void receive(const YString &) override {}
};

/// Holds one integer for its callers; no behaviour here.
class DataMessageTransmitter {
public:
  explicit DataMessageTransmitter(int value) : value_(value) {}
  int getValue() const { return value_; }

private:
  int value_;
};

/// One end of a named point-to-point channel to another process: text
/// commands, raw byte blocks and message records. Sends are synchronous
/// (they return once the peer has handled the record); posted records are
/// handled by the peer later, in order, from its event loop.
///
/// Each end is an endpoint (a local socket, see the platform layer) named by
/// its handle and titled with its own name; `connect` finds the peer by
/// handle or title. All work happens on the thread that created the
/// transceiver, served by that thread's Qt event loop. Handlers may send,
/// wait or delete their transceiver.
///
/// A transceiver owns its endpoint: not copyable.
class DataMessageTranceiver {
public:
  /// No endpoint: isConnected, hasFatalError and waitForMessage answer
  /// false, getFatalMsg is empty, every other operation fails.
  DataMessageTranceiver();
  /// Creates the endpoint titled `name`, for talking to the peer titled
  /// `peerName`. `flag` is kept for the callers. When the endpoint cannot
  /// be made, hasFatalError says so and getFatalMsg why.
  DataMessageTranceiver(const char *name, const char *peerName, bool flag);
  /// Closes the connection and removes the endpoint's files.
  virtual ~DataMessageTranceiver();
  DataMessageTranceiver(const DataMessageTranceiver &) = delete;
  DataMessageTranceiver &operator=(const DataMessageTranceiver &) = delete;

  /// Connects to the peer: by endpoint handle, or, with 0, the newest live
  /// endpoint titled exactly the peer name. When connected already, true
  /// with `*newlyConnected` false. `newlyConnected` may be null.
  bool connect(bool *newlyConnected, int peerHandle);
  /// Runs an event loop until a peer connects (or the connection ends);
  /// then isConnected.
  bool waitForConnect();
  /// Whether the connection to the peer is open.
  bool isConnected();

  /// Sends a command (text without NUL bytes), synchronously. Modes 1, 5,
  /// 6 and those outside 0 to 65534 are refused.
  bool sendCommand(const YString &text, CommandMode mode);
  /// Mode 2 for true, 0 for false.
  bool sendCommand(const YString &text, bool flagged);
  /// Sends a record (its size field gives its length, at least 8),
  /// synchronously: true once the peer handled it.
  bool sendMessage(UserDataMessage *message);
  /// Posts a record: it is handed to the connection (sent, or queued while
  /// the peer reads slowly) and handled by the peer from its event loop.
  /// Never blocks; false with TransceiverQueueFull past 16 MiB waiting.
  bool postMessage(UserDataMessage *message);
  /// Sends raw bytes (length 0 to 256 MiB), synchronously.
  bool sendMessage(void *data, int length);
  /// Whether the peer has a receiver named `name`.
  bool testCommand(const YString &name);

  /// The first transceiver of the process whose own name is `name`
  /// (ignoring ASCII case), or null.
  static DataMessageTranceiver *findTranceiver(const char *name);
  /// The first transceiver whose peer has a receiver named `name`, or null.
  static DataMessageTranceiver *findTranceiverWithCommand(const char *name);

  /// Adds the receiver unless one of the same name (ignoring case) is
  /// installed; whether it was added.
  bool installReceiver(YRef<DataMessageReceiver> receiver);

  /// Handles incoming traffic for up to `ms` milliseconds (0: what is
  /// there now); true as soon as a record, command or block was handled.
  bool waitForMessage(int ms);
  /// The endpoint's handle (0 without one).
  int getHandle();
  /// Nothing to switch here: false.
  bool setBlockWrites(bool block);
  bool hasFatalError();
  YString getFatalMsg();
  /// Nothing to do here.
  void allowSetForegroundWindow();
  YString getName();
  /// The peer's process name and id, learnt on connection (empty, 0 before).
  YString getPeerProcessName();
  int getPeerProcessId();

  /// How long a synchronous send waits for its answer, in milliseconds;
  /// negative (the default) waits as long as the connection lasts.
  void setSendTimeout(int ms) { sendTimeoutMs_ = ms; }
  int getSendTimeout() const { return sendTimeoutMs_; }
  /// Why the last send, post or connect failed (TransceiverOk after success).
  TransceiverError getLastError() const { return lastError_; }
  /// While a record is being handled: one past its last byte, so that
  /// readers of its fields stay inside it. Null otherwise.
  const char *receiveLimit() const { return receiveLimit_; }

  /// The name this process gives its peers (empty: the executable's base
  /// name); affects transceivers made afterwards.
  static void setProcessName(const YString &name);

protected:
  /// The peer process's connection ended (after its earlier records ran).
  virtual void processExited() {}
  /// A command no receiver took.
  virtual void receiveCommand(const YString &text, CommandMode mode) {}
  /// A connection was made: `initiated` on the connecting side.
  virtual void receiveConnect(bool initiated) {}
  /// A record; valid until this returns.
  virtual void receiveMessage(UserDataMessage *message) {}
  /// A block of raw bytes; valid until this returns.
  virtual void receiveMessage(void *data, int length) {}

  /// Sends a record given as up to kMaxRecordPieces pieces, one after the
  /// other, as sendMessage does, without gathering it first: the pieces
  /// stay unchanged and valid until it returns. The first begins with the
  /// record's header, whose size field gives the sum of the pieces.
  bool sendMessagePieces(const RecordPiece *pieces, int count);

  bool constructorFlag() const { return flag_; }
  void setLastError(TransceiverError error) { lastError_ = error; }
  /// Turns false when this transceiver is destroyed: a caller that ran
  /// handlers (a send, a wait) checks it before touching the object again.
  std::shared_ptr<const bool> aliveToken() const { return alive_; }

private:
  friend struct kv::detail::TransceiverAccess;
  void notifyProcessExit();
  void receiveCommandInternal(const YString &text, CommandMode mode);
  template <class Operation> bool finish(Operation operation);

  bool connected_ = false;
  bool flag_ = false;
  PlatformData *platform_ = nullptr;
  YHashTable<YString, YRef<DataMessageReceiver>> receivers_;
  YString testReply_;
  QEventLoop *eventLoop_ = nullptr;
  int sendTimeoutMs_ = -1;
  TransceiverError lastError_ = TransceiverOk;
  const char *receiveLimit_ = nullptr;
  kv::ipc::Payload *receivedRecord_ = nullptr; // the handled record's storage
  bool recordTakable_ = false;                 // while a copy-data reader may take it
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
