#include "kvsupport/strings/Buf.h"

#include "kvsupport/support/KelvantaException.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

char *allocate(int size) {
  char *data = static_cast<char *>(std::malloc(static_cast<size_t>(size)));
  if (!data)
    throw MemoryException("*** Fatal error, out of memory ***\nDetected in Buf");
  data[0] = '\0';
  return data;
}

} // namespace

Buf::Buf(int size) : length_(0), capacity_(size < 1 ? 1 : size) { data_ = allocate(capacity_); }

Buf::Buf(const Buf &other) : length_(other.length_), capacity_(other.capacity_) {
  data_ = allocate(capacity_);
  std::memcpy(data_, other.data_, static_cast<size_t>(length_) + 1);
}

Buf &Buf::operator=(const Buf &other) {
  if (this != &other) {
    char *data = allocate(other.capacity_);
    std::memcpy(data, other.data_, static_cast<size_t>(other.length_) + 1);
    std::free(data_);
    data_ = data;
    length_ = other.length_;
    capacity_ = other.capacity_;
  }
  return *this;
}

Buf::~Buf() { std::free(data_); }

void Buf::grow() {
  if (capacity_ > INT_MAX / 2)
    throw MemoryException("*** Fatal error, out of memory ***\nDetected in Buf");
  char *data = static_cast<char *>(std::realloc(data_, static_cast<size_t>(capacity_) * 2));
  if (!data)
    throw MemoryException("*** Fatal error, out of memory ***\nDetected in Buf");
  data_ = data;
  capacity_ *= 2;
}

void Buf::growFor(int length) {
  while (capacity_ - 1 - length_ < length)
    grow();
}

void Buf::append(const char *text) {
  if (!text)
    return;
  while (*text)
    add(*text++);
}

void Buf::remove(int n) {
  if (n <= 0)
    return;
  length_ = n >= length_ ? 0 : length_ - n;
  data_[length_] = '\0';
}

char *Buf::detach() {
  char *fresh = allocate(kDefaultSize);
  char *text = data_;
  data_ = fresh;
  length_ = 0;
  capacity_ = kDefaultSize;
  return text;
}
