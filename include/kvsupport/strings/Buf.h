#pragma once

#include <cstddef>
#include <cstring>

/// A growable character buffer on the heap, always NUL-terminated. Grows by
/// doubling. Copies are deep.
class Buf {
public:
  static constexpr int kDefaultSize = 80;

  /// Starts empty with `size` bytes (at least 1).
  explicit Buf(int size = kDefaultSize);
  Buf(const Buf &other);
  Buf &operator=(const Buf &other);
  ~Buf();

  /// Appends `c`, first doubling the capacity when the length has reached
  /// capacity - 1. Throws MemoryException when the heap is exhausted.
  void add(char c) {
    if (length_ >= capacity_ - 1)
      grow();
    data_[length_++] = c;
    data_[length_] = '\0';
  }
  /// Adds each character of `text` (null adds nothing).
  void append(const char *text);
  /// Adds the `length` bytes at `text`, as many add() calls would (nothing
  /// when `length` is not positive).
  void append(const char *text, int length) {
    if (!text || length <= 0)
      return;
    if (capacity_ - 1 - length_ < length)
      growFor(length);
    std::memcpy(data_ + length_, text, static_cast<size_t>(length));
    length_ += length;
    data_[length_] = '\0';
  }
  /// Empties the text; the capacity is kept.
  void flush() {
    length_ = 0;
    data_[0] = '\0';
  }
  /// Drops the last `n` characters (all of them when `n` exceeds the
  /// length; nothing when `n` is not positive).
  void remove(int n);
  /// The last character, sign-extended; 0 when the buffer is empty.
  int lastChar() const {
    return length_ > 0 ? static_cast<int>(static_cast<signed char>(data_[length_ - 1])) : 0;
  }
  int getLength() const { return length_; }
  int getCapacity() const { return capacity_; }
  operator const char *() const { return data_; }
  /// Hands the text to the caller, who releases it with free(), and starts
  /// again empty with kDefaultSize bytes.
  char *detach();

private:
  friend class CharQueue;
  void grow();
  // Doubles the capacity until `length` more bytes fit.
  void growFor(int length);

  char *data_;
  int length_;
  int capacity_;
};
