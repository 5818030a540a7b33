#include "kvsupport/config/RequestOptions.h"

#include "ipc/PeerProblems_p.h"
#include "support/Options_p.h"

#include "kvsupport/support/Options.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Bytes of a definition besides its three texts: type, three text lengths,
// the real, three flag bytes and the line.
constexpr int kFixedDefinitionBytes = 4 + 3 * 4 + 8 + 3 + 4;

template <typename T> void put(char *&at, T value) {
  std::memcpy(at, &value, sizeof value);
  at += sizeof value;
}

void putText(char *&at, const YString &text) {
  put<int32_t>(at, text.length());
  std::memcpy(at, text.tocs(), static_cast<size_t>(text.length()));
  at += text.length();
}

// Reads fixed-size fields and texts from a block that must end at `limit`;
// once a read does not fit, every later one fails too.
class BlockReader {
public:
  BlockReader(const char *at, const char *limit) : at_(at), limit_(limit), ok_(at && limit >= at) {}

  template <typename T> T take() {
    T value{};
    if (fits(sizeof value)) {
      std::memcpy(&value, at_, sizeof value);
      at_ += sizeof value;
    }
    return value;
  }
  YString takeText() {
    YString text;
    void *cursor = const_cast<char *>(at_);
    if (ok_ && sp_ReadStringBlock(&cursor, limit_, &text))
      at_ = static_cast<const char *>(cursor);
    else
      ok_ = false;
    return text;
  }
  bool fits(size_t bytes) {
    ok_ = ok_ && static_cast<size_t>(limit_ - at_) >= bytes;
    return ok_;
  }
  bool ok() const { return ok_; }
  const char *at() const { return at_; }

private:
  const char *at_;
  const char *limit_;
  bool ok_;
};

bool readDefinitions(BlockReader &in, std::vector<OptionDefinition> *definitions) {
  const int32_t count = in.take<int32_t>();
  // Each definition takes at least its fixed bytes: a count the record
  // cannot hold is refused before anything is reserved for it.
  if (!in.ok() || count < 0 || !in.fits(static_cast<size_t>(count) * kFixedDefinitionBytes))
    return false;
  definitions->reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    OptionDefinition d;
    const int32_t type = in.take<int32_t>();
    if (type < OptionString || type > OptionUnknown)
      return false;
    d.type = static_cast<OptionType>(type);
    d.name = in.takeText();
    d.defaultText = in.takeText();
    d.defaultReal = in.take<double>();
    d.defaultBool = in.take<uint8_t>() != 0;
    d.isPath = in.take<uint8_t>() != 0;
    d.migrateable = in.take<uint8_t>() != 0;
    d.module = in.takeText();
    d.line = in.take<int32_t>();
    if (!in.ok())
      return false;
    definitions->push_back(std::move(d));
  }
  return true;
}

} // namespace

int RequestOptions::getBlockBytes() const {
  int64_t bytes = 4;
  sp_ForEachOptionDefinition(
      [](const OptionDefinition &d, void *data) {
        *static_cast<int64_t *>(data) += kFixedDefinitionBytes + d.name.length() +
                                         d.defaultText.length() + d.module.length();
      },
      &bytes);
  return bytes > INT32_MAX ? -1 : static_cast<int>(bytes);
}

void RequestOptions::writeBlock(void **cursor) const {
  char *at = static_cast<char *>(*cursor);
  char *countAt = at;
  at += 4;
  int32_t count = 0;
  struct Writing {
    char *&at;
    int32_t &count;
  } writing{at, count};
  sp_ForEachOptionDefinition(
      [](const OptionDefinition &d, void *data) {
        auto &w = *static_cast<Writing *>(data);
        put<int32_t>(w.at, d.type);
        putText(w.at, d.name);
        putText(w.at, d.defaultText);
        put<double>(w.at, d.defaultReal);
        put<uint8_t>(w.at, d.defaultBool);
        put<uint8_t>(w.at, d.isPath);
        put<uint8_t>(w.at, d.migrateable);
        putText(w.at, d.module);
        put<int32_t>(w.at, d.line);
        ++w.count;
      },
      &writing);
  std::memcpy(countAt, &count, 4);
  *cursor = at;
}

void RequestOptions::readBlock(void **cursor, DataMessageTranceiver *receiver) {
  BlockReader in(static_cast<const char *>(*cursor), receiver ? receiver->receiveLimit() : nullptr);
  std::vector<OptionDefinition> definitions;
  if (!readDefinitions(in, &definitions)) {
    kv::ipc::reportPeerProblem("dropped an option table that does not fit its record");
    return;
  }
  *cursor = const_cast<char *>(in.at());
  for (const OptionDefinition &d : definitions)
    kv::support::addOptionDefinitionIfUndefined(d);
}
