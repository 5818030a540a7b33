// Fuzzes what a peer can send a transceiver: the bytes after the first one
// are a stream of frames, cut into reads of a size taken from the first byte
// (differentially: cut anywhere, the decoder yields the same frames as from
// one read). Every frame then goes through the record checks, the connect
// record reader, and, for message records, the copy-data receiver with its
// text block reader (even ids) and option table reader (odd ids).
#include "ipc/MessageFrame_p.h"
#include "os/PlatformData_p.h"

#include "kvsupport/config/RequestOptions.h"
#include "kvsupport/ipc/SimFeDataTransceiver.h"

#include "FuzzSupport.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using kvfuzz::check;

class FuzzReceiver : public SimFeDataTransceiver {
public:
  FuzzReceiver() : SimFeDataTransceiver("fuzz", "nobody") {
    for (int id = 0; id < kCopyDataMessageIdCount; ++id)
      setReceiveObject(id % 2 ? YRef<CopyDataObject>(new RequestOptions)
                              : YRef<CopyDataObject>(new CopyDataTextObject),
                       id);
  }
  void deliver(kv::ipc::Payload &record) {
    static const std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    kv::detail::TransceiverAccess::deliverRecord(this,
                                                 reinterpret_cast<UserDataMessage *>(record.data()),
                                                 record.data() + record.size(), alive);
  }
};

std::vector<kv::ipc::Frame> decode(const uint8_t *data, size_t size, size_t piece, bool *bad) {
  kv::ipc::FrameDecoder decoder;
  std::vector<kv::ipc::Frame> frames;
  for (size_t at = 0; at < size && !decoder.bad();) {
    size_t n = std::min(piece, size - at);
    size_t direct = 0;
    if (char *space = decoder.directSpace(&direct)) {
      n = std::min(n, direct);
      std::memcpy(space, data + at, n);
      decoder.commitDirect(n);
    } else {
      decoder.append(reinterpret_cast<const char *>(data) + at, n);
    }
    at += n;
    kv::ipc::Frame frame;
    while (decoder.take(&frame))
      frames.push_back(std::move(frame));
  }
  *bad = decoder.bad();
  return frames;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1)
    return 0;
  const size_t piece = 1 + data[0] % 37;
  ++data;
  --size;
  bool badWhole = false, badCut = false;
  std::vector<kv::ipc::Frame> whole = decode(data, size, size ? size : 1, &badWhole);
  std::vector<kv::ipc::Frame> cut = decode(data, size, piece, &badCut);
  check(badWhole == badCut, "cut and whole agree on a bad stream");
  check(whole.size() == cut.size(), "cut and whole give the same frames");
  static FuzzReceiver receiver;
  for (size_t i = 0; i < whole.size(); ++i) {
    check(whole[i].payload == cut[i].payload, "same payloads");
    kv::ipc::Frame &frame = whole[i];
    check(frame.payload.size() == frame.header.length, "payload of its length");
    kv::ipc::ConnectRecord record;
    if (kv::ipc::decodeConnectRecord(frame.payload, &record))
      check(record.processName.size() < kv::ipc::kConnectNameBytes, "name within its field");
    if (kv::ipc::checkCommand(frame.payload))
      check(std::strlen(frame.payload.data()) + 1 == frame.payload.size(), "one terminator");
    if (kv::ipc::checkUserRecord(frame.payload))
      receiver.deliver(frame.payload);
  }
  return 0;
}
