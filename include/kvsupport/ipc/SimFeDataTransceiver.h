#pragma once

#include "kvsupport/ipc/DataMessageTranceiver.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class SimFeDataTransceiver;

/// The id of a copy-data message: 0 to 22; others are not delivered.
using CopyDataMessageId = int;
constexpr int kCopyDataMessageIdCount = 23;

/// A block that lies in memory already: `prefixBytes` bytes of `prefix`,
/// then the first `textBytes` bytes of `text`.
struct CopyDataSharedBlock {
  unsigned char prefix[8] = {};
  int prefixBytes = 0;
  YString text; ///< shares the object's text, which so stays as it is while a send waits
  int textBytes = 0;
};

/// A typed object that travels in a copy-data message: it writes its content
/// into the record and reads it back on the other side.
class CopyDataObject {
public:
  virtual ~CopyDataObject() = default;
  /// Reads the content at *cursor and advances it. The record ends at
  /// `receiver->receiveLimit()`: a reader never goes past it, and leaves the
  /// object unchanged when the content does not fit.
  virtual void readBlock(void **cursor, DataMessageTranceiver *receiver) = 0;
  /// Writes exactly getBlockBytes() bytes at *cursor and advances it.
  virtual void writeBlock(void **cursor) const {}
  virtual int getBlockBytes() const { return 0; }
  /// For an object whose block is mostly bytes it holds: that block, shared
  /// instead of written, so that a synchronous send copies none of it.
  /// False (the default): sends gather the block through writeBlock.
  virtual bool shareBlock(CopyDataSharedBlock *block) const { return false; }
  /// After readBlock of a remote call: true to send the object, as it now
  /// stands, back to the caller.
  virtual bool answerRequest(SimFeDataTransceiver *receiver) = 0;
};

/// Plain text in the block form of YString: a 32-bit length, then the bytes.
class CopyDataTextObject : public CopyDataObject {
public:
  CopyDataTextObject() = default;
  explicit CopyDataTextObject(const YString &text) : text_(text), length_(text.length()) {}
  CopyDataTextObject(const CopyDataTextObject &) = default;
  CopyDataTextObject &operator=(const CopyDataTextObject &) = default;

  /// A block that does not fit the record leaves the text unchanged.
  void readBlock(void **cursor, DataMessageTranceiver *receiver) override;
  void writeBlock(void **cursor) const override;
  int getBlockBytes() const override { return length_ + 4; }
  bool shareBlock(CopyDataSharedBlock *block) const override;
  /// Answers a remote call when the last block read was whole and
  /// `function` says so.
  bool answerRequest(SimFeDataTransceiver *receiver) override;
  /// What a remote call does with the text; false (no answer) here.
  virtual bool function() { return false; }

  const YString &getText() const { return text_; }
  void setText(const YString &text) {
    text_ = text;
    length_ = text.length();
  }

private:
  YString text_;
  int length_ = 0; // of text_: large texts are not scanned again for each send
  bool lastReadWhole_ = false;
};

/// Reads a YString block (32-bit length, bytes) at *cursor that must end at
/// or before `limit`; advances the cursor and answers true, or answers false
/// and changes nothing. A NUL byte ends the text early.
bool sp_ReadStringBlock(void **cursor, const char *limit, YString *text);

/// The record of a copy-data message (little-endian): the message header,
/// the answer-requested word, the object's block, then 8 zero bytes.
struct CopyDataMessage : UserDataMessage {
  uint32_t answerRequested;
  /// Zero-filled storage of `bytes` bytes (at least the header).
  static void *operator new(size_t header, size_t bytes);
  static void operator delete(void *record);
};
constexpr size_t kCopyDataMessageOverhead = 20;

/// The default receivers of this process, by message id (all null at
/// start): used when a transceiver has no object registered for an id.
extern CopyDataObject *cdResultsArray[kCopyDataMessageIdCount];

/// The transceiver between the front end and a simulator: sends
/// CopyDataObjects tagged with a message id, hands incoming ones to the
/// object registered for their id, and makes remote calls.
class SimFeDataTransceiver : public DataMessageTranceiver {
public:
  SimFeDataTransceiver(const char *name, const char *peerName);
  ~SimFeDataTransceiver() override;

  /// Registers `object` for `id`, replacing an earlier one; ids outside 0
  /// to 22 are ignored.
  void setReceiveObject(YRef<CopyDataObject> object, CopyDataMessageId id);
  /// Sends the object synchronously: true once the peer handled it.
  bool sendSimFeMessage(CopyDataObject *object, CopyDataMessageId id);
  /// Posts the object: true once it is handed to the connection.
  bool postSimFeMessage(CopyDataObject *object, CopyDataMessageId id);
  /// Sends the text as a CopyDataTextObject would, synchronously.
  bool sendSimFeMessage(const YString &text, CopyDataMessageId id);
  /// Registers the object for `id` and sends it asking for an answer; the
  /// peer's answer, if it gives one, has been read into the object by the
  /// time this returns. False when the request was not delivered.
  bool callRemoteFunction(YRef<CopyDataObject> object, CopyDataMessageId id);

protected:
  using DataMessageTranceiver::receiveMessage;
  void receiveMessage(UserDataMessage *message) override;

private:
  bool sendObject(const CopyDataObject *object, CopyDataMessageId id, bool post, bool request);
  bool sendSharedBlock(const CopyDataSharedBlock &block, CopyDataMessageId id, bool request,
                       uint32_t size);
  std::vector<YRef<CopyDataObject>> objects_;
  std::vector<char> spareRecord_; // storage of the last record sent, for the next
};
