#pragma once

#include "kvsupport/support/KelvantaException.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

namespace kv::detail {

/// The readable name of a type ("int", "YString"), for messages.
template <class T> std::string_view typeName() {
  std::string_view name = __PRETTY_FUNCTION__;
  size_t start = name.find("T = ") + 4;
  size_t end = name.find_first_of(";]", start);
  return name.substr(start, end - start);
}

/// Throws the library's out-of-memory exception for YVector<type>::where.
[[noreturn]] void throwVectorOutOfMemory(std::string_view type, const char *where);

} // namespace kv::detail

/// A growable array of values. When an insertion needs more room, the
/// capacity becomes the needed size plus half the current capacity. When
/// memory cannot be had it throws MemoryException. Trivially copyable
/// elements are moved with realloc ("allocPrim"), others element by element
/// ("alloc").
template <class T> class YVector {
  static constexpr bool kPrimitive = std::is_trivially_copyable_v<T>;

public:
  YVector() = default;
  /// An empty vector with room for `capacity` elements.
  explicit YVector(int64_t capacity) { reserve(capacity); }
  YVector(std::initializer_list<T> values) {
    reserve(static_cast<int64_t>(values.size()));
    for (const T &value : values)
      append(value);
  }
  YVector(const YVector &other) {
    reserve(other.size_);
    for (const T &value : other)
      append(value);
  }
  YVector(YVector &&other) noexcept { swap(other); }
  YVector &operator=(YVector other) {
    swap(other);
    return *this;
  }
  ~YVector() {
    clear();
    release(data_);
  }

  int64_t size() const { return size_; }
  int64_t count() const { return size_; }
  int64_t capacity() const { return capacity_; }
  bool isEmpty() const { return size_ == 0; }
  T *data() { return data_; }
  const T *data() const { return data_; }
  /// Unchecked element access: `index` must lie within 0 to size() - 1.
  T &operator[](int64_t index) { return data_[index]; }
  const T &operator[](int64_t index) const { return data_[index]; }
  T &last() { return data_[size_ - 1]; }
  const T &last() const { return data_[size_ - 1]; }

  T *begin() { return data_; }
  T *end() { return data_ + size_; }
  const T *begin() const { return data_; }
  const T *end() const { return data_ + size_; }

  void append(const T &value) {
    if (size_ == capacity_) {
      T copy(value); // `value` may live in this vector
      grow(size_ + 1);
      new (data_ + size_) T(std::move(copy));
    } else {
      new (data_ + size_) T(value);
    }
    ++size_;
  }
  void append(T &&value) {
    if (size_ == capacity_) {
      T moved(std::move(value));
      grow(size_ + 1);
      new (data_ + size_) T(std::move(moved));
    } else {
      new (data_ + size_) T(std::move(value));
    }
    ++size_;
  }
  void push_back(const T &value) { append(value); }

  /// Inserts `value` before position `index`, clamped into 0 to size().
  void insert(int64_t index, const T &value) {
    index = index < 0 ? 0 : (index > size_ ? size_ : index);
    T copy(value);
    append(std::move(copy));
    for (int64_t i = size_ - 1; i > index; --i)
      std::swap(data_[i], data_[i - 1]);
  }
  /// Removes the element at `index`; out-of-range indexes do nothing.
  void removeAt(int64_t index) {
    if (index < 0 || index >= size_)
      return;
    for (int64_t i = index; i + 1 < size_; ++i)
      data_[i] = std::move(data_[i + 1]);
    data_[--size_].~T();
  }
  void removeLast() {
    if (size_ > 0)
      data_[--size_].~T();
  }
  /// Makes the size `newSize`: added elements are value-initialised.
  void resize(int64_t newSize) {
    if (newSize < 0)
      newSize = 0;
    if (newSize > capacity_)
      grow(newSize);
    while (size_ < newSize)
      new (data_ + size_++) T();
    while (size_ > newSize)
      data_[--size_].~T();
  }
  /// Makes room for at least `capacity` elements without changing the size.
  void reserve(int64_t capacity) {
    if (capacity > capacity_)
      reallocate(capacity);
  }
  /// Removes every element; the capacity stays.
  void clear() {
    while (size_ > 0)
      data_[--size_].~T();
  }
  void swap(YVector &other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

private:
  void grow(int64_t needed) { reallocate(needed + capacity_ / 2); }

  void reallocate(int64_t capacity) {
    if (capacity <= 0 || static_cast<uint64_t>(capacity) > SIZE_MAX / sizeof(T))
      outOfMemory();
    size_t bytes = static_cast<size_t>(capacity) * sizeof(T);
    if constexpr (kPrimitive) {
      void *grown = std::realloc(static_cast<void *>(data_), bytes);
      if (!grown)
        outOfMemory();
      data_ = static_cast<T *>(grown);
    } else {
      T *grown = static_cast<T *>(::operator new(bytes, std::nothrow));
      if (!grown)
        outOfMemory();
      for (int64_t i = 0; i < size_; ++i) {
        new (grown + i) T(std::move(data_[i]));
        data_[i].~T();
      }
      release(data_);
      data_ = grown;
    }
    capacity_ = capacity;
  }

  static void release(T *data) {
    if constexpr (kPrimitive)
      std::free(static_cast<void *>(data));
    else
      ::operator delete(data);
  }

  [[noreturn]] static void outOfMemory() {
    kv::detail::throwVectorOutOfMemory(kv::detail::typeName<T>(),
                                       kPrimitive ? "allocPrim" : "alloc");
  }

  T *data_ = nullptr;
  int64_t size_ = 0;
  int64_t capacity_ = 0;
};
