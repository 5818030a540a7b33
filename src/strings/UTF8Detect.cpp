#include "kvsupport/strings/UTF8Detect.h"

// The state is 1 between characters and 99 once the text is known to be
// invalid. Inside a character it is 10 * (bytes seen) + (bytes expected):
// a lead byte of an n-byte sequence gives 20 + n and each continuation byte
// adds 10 until the tens digit reaches n.
void UTF8Detect::add(unsigned int byte) {
  const unsigned int b = byte & 0xFF;
  if (state_ == kInvalid)
    return;
  if (state_ == kBetween) {
    if (b < 0x80)
      return;
    if ((b & 0xE0) == 0xC0)
      state_ = 22;
    else if ((b & 0xF0) == 0xE0)
      state_ = 23;
    else if ((b & 0xF8) == 0xF0)
      state_ = 24;
    else if ((b & 0xFC) == 0xF8)
      state_ = 25;
    else if ((b & 0xFE) == 0xFC)
      state_ = 26;
    else {
      result_ = UTF8D_INVALID;
      state_ = kInvalid;
      return;
    }
    if (state_ >= 25)
      result_ = UTF8D_LONG_FORMS;
    else if (result_ != UTF8D_LONG_FORMS)
      result_ = UTF8D_UTF8;
    return;
  }
  if ((b & 0xC0) != 0x80) {
    result_ = UTF8D_INVALID;
    state_ = kInvalid;
    return;
  }
  const int expected = state_ % 10;
  const int seen = state_ / 10;
  state_ = seen == expected ? kBetween : state_ + 10;
}

void UTF8Detect::add(const char *bytes, int count) {
  if (!bytes)
    return;
  for (int i = 0; i < count; ++i)
    add(static_cast<unsigned char>(bytes[i]));
}
