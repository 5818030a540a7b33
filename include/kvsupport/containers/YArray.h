#pragma once

#include "kvsupport/containers/YArrayData.h"

#include <cstdint>
#include <utility>

/// A growable array of values held by pointer in YArrayData: inserting and
/// removing move pointers, never the values. The array owns its values;
/// copies are deep.
template <class T> class YArray {
public:
  explicit YArray(int64_t initialCapacity = 4) : data_(initialCapacity) {}
  YArray(const YArray &other) : data_(other.data_.capacity()) {
    for (int64_t i = 0; i < other.size(); ++i)
      add(other[i]);
  }
  YArray(YArray &&other) noexcept : data_(1) { data_.swap(other.data_); }
  YArray &operator=(const YArray &other) {
    if (this != &other) {
      YArray copy(other);
      swap(copy);
    }
    return *this;
  }
  YArray &operator=(YArray &&other) noexcept {
    swap(other);
    return *this;
  }
  ~YArray() { clear(); }

  /// Appends a copy of `value`; returns its index.
  int64_t add(const T &value) { return data_.addDataAt(new T(value), data_.count()); }
  int64_t add(T &&value) { return data_.addDataAt(new T(std::move(value)), data_.count()); }
  /// Inserts a copy of `value` at `index` (clamped into 0 to size()); returns the index used.
  int64_t insertAt(int64_t index, const T &value) { return data_.addDataAt(new T(value), index); }
  /// Removes and destroys the value at `index`; out-of-range indexes do nothing.
  void removeAt(int64_t index) {
    if (index < 0 || index >= size())
      return;
    delete static_cast<T *>(data_.at(index));
    data_.removeDataItemAt(index);
  }
  /// Destroys every value.
  void clear() {
    for (int64_t i = 0; i < size(); ++i)
      delete static_cast<T *>(data_.at(i));
    data_.clear();
  }

  int64_t size() const { return data_.count(); }
  int64_t count() const { return data_.count(); }
  bool isEmpty() const { return data_.count() == 0; }
  /// Unchecked access: `index` must lie within 0 to size() - 1.
  T &operator[](int64_t index) { return *static_cast<T *>(data_.data()[index]); }
  const T &operator[](int64_t index) const { return *static_cast<T *>(data_.data()[index]); }
  /// The value at `index`, or null outside 0 to size() - 1.
  T *get(int64_t index) const { return static_cast<T *>(data_.at(index)); }

  void swap(YArray &other) noexcept { data_.swap(other.data_); }

private:
  YArrayData data_;
};
