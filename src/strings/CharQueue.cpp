#include "kvsupport/strings/CharQueue.h"

#include <cstring>

void CharQueue::add(char c) {
  if (buf_.length_ >= buf_.capacity_ - 1 && head_ > 0) {
    const int unread = buf_.length_ - head_;
    std::memmove(buf_.data_, buf_.data_ + head_, static_cast<size_t>(unread));
    buf_.length_ = unread;
    buf_.data_[unread] = '\0';
    head_ = 0;
  }
  buf_.add(c);
}

void CharQueue::append(const char *text) {
  if (!text)
    return;
  while (*text)
    add(*text++);
}

char CharQueue::pop() {
  if (head_ >= buf_.length_) {
    flush();
    return 0;
  }
  return buf_.data_[head_++];
}

void CharQueue::flush() {
  buf_.flush();
  head_ = 0;
}
