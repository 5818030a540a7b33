#include "ipc/MessageFrame_p.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kv::ipc {
namespace {

void put16(unsigned char *at, uint16_t value) {
  at[0] = static_cast<unsigned char>(value);
  at[1] = static_cast<unsigned char>(value >> 8);
}
void put32(unsigned char *at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    at[i] = static_cast<unsigned char>(value >> (8 * i));
}
uint16_t get16(const unsigned char *at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }
uint32_t get32(const unsigned char *at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
         static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

// Payloads this large are read straight into their frame, not copied out of
// the read buffer.
constexpr size_t kDirectReadThreshold = 16384;

} // namespace

void encodeFrameHeader(const FrameHeader &header, unsigned char *out) {
  put32(out, header.magic);
  put16(out + 4, header.kind);
  put16(out + 6, header.flags);
  put32(out + 8, header.sequence);
  put32(out + 12, header.length);
}

bool decodeFrameHeader(const unsigned char *in, FrameHeader *header) {
  header->magic = get32(in);
  header->kind = get16(in + 4);
  header->flags = get16(in + 6);
  header->sequence = get32(in + 8);
  header->length = get32(in + 12);
  return header->magic == kFrameMagic && header->length <= kMaxFramePayload;
}

void FrameDecoder::append(const char *data, size_t size) {
  while (size > 0 && !bad_) {
    if (headerHave_ < kFrameHeaderBytes) {
      size_t take = std::min(size, kFrameHeaderBytes - headerHave_);
      std::memcpy(headerBytes_ + headerHave_, data, take);
      headerHave_ += take;
      data += take;
      size -= take;
      if (headerHave_ < kFrameHeaderBytes)
        return;
      if (!decodeFrameHeader(headerBytes_, &current_.header)) {
        bad_ = true;
        return;
      }
      if (current_.header.length >= kDirectReadThreshold &&
          spare_.capacity() >= current_.header.length)
        current_.payload.swap(spare_);
      current_.payload.resize(current_.header.length);
      payloadHave_ = 0;
      if (current_.header.length == 0) {
        finishFrame();
        continue;
      }
    }
    size_t take = std::min(size, current_.payload.size() - payloadHave_);
    std::memcpy(current_.payload.data() + payloadHave_, data, take);
    payloadHave_ += take;
    data += take;
    size -= take;
    if (payloadHave_ == current_.payload.size())
      finishFrame();
  }
}

void Payload::resize(size_t size) {
  if (size > capacity_) {
    void *grown = std::realloc(data_, size);
    if (!grown)
      throw std::bad_alloc();
    data_ = static_cast<char *>(grown);
    capacity_ = size;
  }
  size_ = size;
}

char *Payload::release() {
  char *storage = data_;
  if (storage && capacity_ > size_) {
    if (void *cut = std::realloc(storage, size_ ? size_ : 1))
      storage = static_cast<char *>(cut);
  }
  data_ = nullptr;
  size_ = capacity_ = 0;
  return storage;
}

char *FrameDecoder::directSpace(size_t *size) {
  if (bad_ || headerHave_ < kFrameHeaderBytes)
    return nullptr;
  size_t missing = current_.payload.size() - payloadHave_;
  if (missing < kDirectReadThreshold)
    return nullptr;
  *size = missing;
  return current_.payload.data() + payloadHave_;
}

void FrameDecoder::commitDirect(size_t size) {
  payloadHave_ += size;
  if (payloadHave_ == current_.payload.size())
    finishFrame();
}

void FrameDecoder::finishFrame() {
  ready_.push_back(std::move(current_));
  current_ = Frame();
  headerHave_ = 0;
  payloadHave_ = 0;
}

void FrameDecoder::recycle(Payload &&storage) {
  // Kept up to a bound: one huge frame must not pin its memory for good.
  constexpr size_t kMaxSpare = 16u << 20;
  if (storage.capacity() >= kDirectReadThreshold && storage.capacity() <= kMaxSpare &&
      storage.capacity() > spare_.capacity()) {
    spare_ = std::move(storage);
    spare_.clear();
  }
}

bool FrameDecoder::take(Frame *frame) {
  if (ready_.empty())
    return false;
  *frame = std::move(ready_.front());
  ready_.pop_front();
  return true;
}

bool checkUserRecord(const Payload &payload) {
  if (payload.size() < 8)
    return false;
  uint32_t size = get32(reinterpret_cast<const unsigned char *>(payload.data()) + 4);
  return size == payload.size();
}

bool checkCommand(const Payload &payload) {
  return payload.size() >= 2 && payload.back() == '\0' &&
         std::memchr(payload.data(), '\0', payload.size() - 1) == nullptr;
}

std::vector<char> encodeConnectRecord(const ConnectRecord &record) {
  std::vector<char> bytes(kConnectRecordBytes, 0);
  auto *at = reinterpret_cast<unsigned char *>(bytes.data());
  put16(at, record.first);
  put32(at + 4, record.size);
  put32(at + 8, static_cast<uint32_t>(record.handle));
  put32(at + 12, static_cast<uint32_t>(record.handle >> 32));
  put32(at + 16, record.processId);
  size_t nameBytes = std::min(record.processName.size(), kConnectNameBytes - 1);
  std::memcpy(bytes.data() + 20, record.processName.data(), nameBytes);
  return bytes;
}

bool decodeConnectRecord(const Payload &payload, ConnectRecord *record) {
  if (payload.size() != kConnectRecordBytes)
    return false;
  const auto *at = reinterpret_cast<const unsigned char *>(payload.data());
  const char *name = payload.data() + 20;
  const void *end = std::memchr(name, '\0', kConnectNameBytes);
  if (get16(at) != 0 || !end)
    return false;
  record->first = 0;
  record->size = get32(at + 4);
  record->handle = get32(at + 8) | static_cast<uint64_t>(get32(at + 12)) << 32;
  record->processId = get32(at + 16);
  record->processName.assign(name, static_cast<const char *>(end));
  return true;
}

} // namespace kv::ipc
