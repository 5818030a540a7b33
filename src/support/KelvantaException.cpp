#include "kvsupport/support/KelvantaException.h"

#include <cstring>

KelvantaException::KelvantaException(int32_t code, const char *message) noexcept : code_(code) {
  size_t length = message ? std::strlen(message) : 0;
  if (length > kMaxMessageLength)
    length = kMaxMessageLength;
  if (length)
    std::memcpy(message_, message, length);
  message_[length] = '\0';
}
