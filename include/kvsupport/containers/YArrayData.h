#pragma once

#include <cstdint>
#include <utility>

/// The untyped storage of the library's pointer arrays: a contiguous,
/// growable array of object pointers with insertion and removal anywhere.
/// It never owns the objects it points to.
class YArrayData {
public:
  /// Capacity max(`initialCapacity`, 1), every slot zero, count 0.
  explicit YArrayData(int64_t initialCapacity = 1);
  /// Copies the slots (deep), so both arrays may be destroyed independently.
  YArrayData(const YArrayData &other);
  YArrayData &operator=(const YArrayData &other);
  ~YArrayData();

  /// Inserts `item` at `index` clamped into 0 to count (negative: front,
  /// large: end), growing by the growth factor when full. Returns the index
  /// where it was stored.
  int64_t addDataAt(void *item, int64_t index);
  /// Makes room for `n` slots before the array is filled (zeroed beyond the
  /// pointers held, which are kept); a capacity of at least n changes nothing.
  void checkAlloc(int64_t n);
  /// Removes the pointer at `index`; an index outside 0 to count - 1 does nothing.
  void removeDataItemAt(int64_t index);

  int64_t count() const { return count_; }
  int64_t capacity() const { return capacity_; }
  double growthFactor() const { return growthFactor_; }
  /// The pointer at `index`, or null outside 0 to count - 1.
  void *at(int64_t index) const { return index >= 0 && index < count_ ? data_[index] : nullptr; }
  void **data() const { return data_; }
  void swap(YArrayData &other) noexcept {
    std::swap(growthFactor_, other.growthFactor_);
    std::swap(data_, other.data_);
    std::swap(count_, other.count_);
    std::swap(capacity_, other.capacity_);
  }
  /// Forgets every pointer (count 0); the capacity stays.
  void clear() { count_ = 0; }

private:
  double growthFactor_ = 1.5;
  void **data_;
  int64_t count_ = 0;
  int64_t capacity_;
};
