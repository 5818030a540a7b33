// Internal header, not API: the frames that carry a transceiver's traffic
// over a byte stream, and the checks every record from a peer passes before
// anyone reads it.
//
// A frame is a 16-byte little-endian header (magic, kind, flags, sequence,
// payload length) and the payload. Kinds: 1 a connect record, 5 raw bytes,
// 6 a message record, any other a command of that mode. A frame that wants
// an answer carries FrameAnswerWanted; its answer has the same kind and
// sequence, the flag FrameAnswer and one payload byte (1 handled, 0 refused).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kv::ipc {

constexpr uint32_t kFrameMagic = 0x4B564D46; // "FMVK" on the wire
constexpr size_t kFrameHeaderBytes = 16;
constexpr uint32_t kMaxFramePayload = 256u << 20;
constexpr uint16_t kKindConnect = 1;
constexpr uint16_t kKindBytes = 5;
constexpr uint16_t kKindRecord = 6;
constexpr uint16_t kFrameAnswerWanted = 1;
constexpr uint16_t kFrameAnswer = 2;
constexpr size_t kConnectRecordBytes = 280;
constexpr size_t kConnectNameBytes = 256;

struct FrameHeader {
  uint32_t magic = kFrameMagic;
  uint16_t kind = 0;
  uint16_t flags = 0;
  uint32_t sequence = 0;
  uint32_t length = 0;
};

void encodeFrameHeader(const FrameHeader &header, unsigned char *out);
/// False for a bad magic or a payload over kMaxFramePayload.
bool decodeFrameHeader(const unsigned char *in, FrameHeader *header);

/// The bytes of a frame, in malloc'ed storage that grows without being
/// zero-filled (payloads are read into at once) and that a reader may take
/// over whole (a large text then needs no copy).
class Payload {
public:
  Payload() = default;
  Payload(Payload &&other) noexcept { swap(other); }
  Payload &operator=(Payload &&other) noexcept {
    Payload taken(std::move(other));
    swap(taken);
    return *this;
  }
  ~Payload() { std::free(data_); }

  char *data() { return data_; }
  const char *data() const { return data_; }
  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  char &operator[](size_t at) { return data_[at]; }
  char operator[](size_t at) const { return data_[at]; }
  char back() const { return data_[size_ - 1]; }
  bool operator==(const Payload &other) const {
    return size_ == other.size_ && (size_ == 0 || std::memcmp(data_, other.data_, size_) == 0);
  }

  /// Bytes past the old size are left as they are.
  void resize(size_t size);
  void clear() { size_ = 0; }
  void swap(Payload &other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }
  /// The storage, cut to the size, for the caller to free(); empty after.
  char *release();

private:
  char *data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

struct Frame {
  FrameHeader header;
  Payload payload;
};

/// Accumulates bytes read from a stream into whole frames. After a bad
/// header it takes nothing more: the connection is to be closed.
class FrameDecoder {
public:
  /// Takes `size` bytes; complete frames become available to `take`.
  void append(const char *data, size_t size);
  /// Where a large payload still missing can be read to directly (null
  /// when none is in progress or little of it is missing); `*size` its room.
  char *directSpace(size_t *size);
  /// Records that `size` bytes were read into directSpace.
  void commitDirect(size_t size);
  /// The oldest complete frame; false when none is ready.
  bool take(Frame *frame);
  bool bad() const { return bad_; }
  /// Offers a handled frame's storage for the next large frame, so that
  /// large frames in a row do not each take fresh memory from the system.
  void recycle(Payload &&storage);
  /// Whether part of a frame has been read.
  bool midFrame() const { return headerHave_ > 0; }

private:
  void finishFrame();
  unsigned char headerBytes_[kFrameHeaderBytes];
  size_t headerHave_ = 0;
  Frame current_;
  Payload spare_;
  size_t payloadHave_ = 0;
  std::deque<Frame> ready_;
  bool bad_ = false;
};

/// A message record: at least its 8-byte header, its size field its length.
bool checkUserRecord(const Payload &payload);
/// A command: non-empty text whose only NUL is its last byte.
bool checkCommand(const Payload &payload);

struct ConnectRecord {
  uint16_t first = 0;
  uint32_t size = 0; ///< 280 in an answer, 0 in a request
  uint64_t handle = 0;
  uint32_t processId = 0;
  std::string processName; ///< at most 255 bytes
};

/// 280 bytes; the name is cut to 255 bytes.
std::vector<char> encodeConnectRecord(const ConnectRecord &record);
/// False unless 280 bytes, first word 0 and a NUL within the name field.
bool decodeConnectRecord(const Payload &payload, ConnectRecord *record);

} // namespace kv::ipc
