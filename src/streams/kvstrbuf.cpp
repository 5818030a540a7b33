#include "kvsupport/streams/kvstrbuf.h"

#include <algorithm>
#include <cstring>

namespace {
// Reads, writes and positions stay within the 32-bit range of the text's length.
constexpr size_t kMaxTransfer = 0x7FFFFFFF;
constexpr int64_t kMinPosition = -0x7FFFFFFF;
constexpr int64_t kMaxPosition = 0x7FFFFFFE;
} // namespace

kvstrbuf::kvstrbuf(const char *text) {
  if (text)
    text_ = text;
}

kvstrbuf::kvstrbuf(const char *text, int size) {
  if (text && size > 0)
    text_.assign(text, strnlen(text, static_cast<size_t>(size)));
}

int kvstrbuf::get() {
  if (readAt_ >= text_.size()) {
    atEnd_ = true;
    return -1;
  }
  return static_cast<signed char>(text_[readAt_++]);
}

size_t kvstrbuf::read(char *buffer, size_t size) {
  if (size >= kMaxTransfer)
    return 0;
  if (readAt_ >= text_.size()) {
    atEnd_ = true;
    return 0;
  }
  size_t n = std::min(size, text_.size() - readAt_);
  std::memcpy(buffer, text_.data() + readAt_, n);
  readAt_ += n;
  return n;
}

size_t kvstrbuf::write(const char *data, size_t size) {
  atEnd_ = false;
  if (size >= kMaxTransfer)
    return 0;
  text_.append(data, size);
  return size;
}

int kvstrbuf::seekg(int64_t position) {
  if (position < kMinPosition || position > kMaxPosition)
    return -1;
  if (position < 0)
    position = 0;
  readAt_ = std::min(static_cast<size_t>(position), text_.size());
  atEnd_ = false;
  return static_cast<int>(readAt_);
}

int kvstrbuf::seekg(int64_t offset, int origin) {
  int64_t base = origin == 0   ? 0
                 : origin == 1 ? static_cast<int64_t>(readAt_)
                               : static_cast<int64_t>(text_.size());
  if (offset < kMinPosition || offset > kMaxPosition)
    return -1;
  return seekg(base + offset);
}

void kvstrbuf::flush() {
  text_.clear();
  readAt_ = 0;
  atEnd_ = false;
}
