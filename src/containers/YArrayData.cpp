#include "kvsupport/containers/YArrayData.h"

#include "kvsupport/support/KelvantaException.h"

#include <cstdlib>
#include <cstring>

namespace {

void **allocateZeroedSlots(int64_t n) {
  void *slots = std::calloc(static_cast<size_t>(n), sizeof(void *));
  if (!slots)
    throw MemoryException("*** Fatal error, out of memory ***\nDetected in YArrayData");
  return static_cast<void **>(slots);
}

} // namespace

YArrayData::YArrayData(int64_t initialCapacity)
    : data_(nullptr), capacity_(initialCapacity > 1 ? initialCapacity : 1) {
  data_ = allocateZeroedSlots(capacity_);
}

YArrayData::YArrayData(const YArrayData &other)
    : growthFactor_(other.growthFactor_), data_(allocateZeroedSlots(other.capacity_)),
      count_(other.count_), capacity_(other.capacity_) {
  std::memcpy(data_, other.data_, static_cast<size_t>(count_) * sizeof(void *));
}

YArrayData &YArrayData::operator=(const YArrayData &other) {
  if (this != &other) {
    void **slots = allocateZeroedSlots(other.capacity_);
    std::memcpy(slots, other.data_, static_cast<size_t>(other.count_) * sizeof(void *));
    std::free(data_);
    data_ = slots;
    growthFactor_ = other.growthFactor_;
    count_ = other.count_;
    capacity_ = other.capacity_;
  }
  return *this;
}

YArrayData::~YArrayData() { std::free(data_); }

int64_t YArrayData::addDataAt(void *item, int64_t index) {
  if (index < 0)
    index = 0;
  if (index > count_)
    index = count_;
  if (count_ == capacity_) {
    int64_t grown = static_cast<int64_t>(static_cast<double>(capacity_) * growthFactor_);
    if (grown <= count_)
      grown = count_ + 1;
    void **slots = allocateZeroedSlots(grown);
    std::memcpy(slots, data_, static_cast<size_t>(count_) * sizeof(void *));
    std::free(data_);
    data_ = slots;
    capacity_ = grown;
  }
  std::memmove(data_ + index + 1, data_ + index,
               static_cast<size_t>(count_ - index) * sizeof(void *));
  data_[index] = item;
  ++count_;
  return index;
}

void YArrayData::checkAlloc(int64_t n) {
  if (capacity_ >= n)
    return;
  // Meant for an empty array, but the pointers already held are carried
  // over so that a late call never loses them.
  void **slots = allocateZeroedSlots(n);
  std::memcpy(slots, data_, static_cast<size_t>(count_) * sizeof(void *));
  std::free(data_);
  data_ = slots;
  capacity_ = n;
}

void YArrayData::removeDataItemAt(int64_t index) {
  if (index < 0 || index >= count_)
    return;
  std::memmove(data_ + index, data_ + index + 1,
               static_cast<size_t>(count_ - index - 1) * sizeof(void *));
  data_[--count_] = nullptr;
}
