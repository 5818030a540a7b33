#pragma once

#include "kvsupport/strings/Buf.h"

/// A first-in-first-out queue of characters over a Buf. Characters are read
/// from a head position; the space before it is reclaimed when the buffer
/// would otherwise have to grow.
class CharQueue {
public:
  explicit CharQueue(int size = Buf::kDefaultSize) : buf_(size) {}

  /// Appends `c`. When the buffer is full and characters have been read, the
  /// unread part first moves to the front.
  void add(char c);
  /// Adds each character of `text` (null adds nothing).
  void append(const char *text);
  /// The next character; 0 when the queue is empty, which also resets it.
  char pop();
  /// The number of unread characters.
  int getLength() const { return buf_.length_ - head_; }
  bool isEmpty() const { return head_ == buf_.length_; }
  /// The size of the underlying buffer in bytes.
  int getCapacity() const { return buf_.capacity_; }
  /// Empties the queue.
  void flush();
  /// The unread text.
  operator const char *() const { return buf_.data_ + head_; }

private:
  Buf buf_;
  int head_ = 0;
};
