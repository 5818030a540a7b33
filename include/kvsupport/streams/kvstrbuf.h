#pragma once

#include "kvsupport/streams/kvbuf.h"

#include <string>

/// A buffer over an in-memory text: writes append, reads go from a read
/// position that seeks move.
class kvstrbuf : public kvbuf {
public:
  kvstrbuf() = default;
  /// The C text; null gives an empty buffer.
  explicit kvstrbuf(const char *text);
  /// The first `size` bytes of `text`; null or size 0 gives an empty buffer.
  kvstrbuf(const char *text, int size);

  bool eof() override { return atEnd_; }
  /// The byte at the read position, sign-extended, or -1 (and the end flag)
  /// at the end.
  int get() override;
  size_t read(char *buffer, size_t size) override;
  /// Appends; clears the end flag.
  size_t write(const char *data, size_t size) override;
  explicit operator bool() override { return true; }
  /// Moves the read position to `position` clamped into 0 to the length and
  /// returns it; -1 for a position beyond the 32-bit range.
  int seekg(int64_t position) override;
  /// From the start (origin 0), the read position (1) or the end (other).
  int seekg(int64_t offset, int origin) override;
  int64_t tellg() override { return static_cast<int64_t>(readAt_); }
  /// Empties the text; reading starts again at its beginning.
  void flush() override;

  int getNumBytes() const { return static_cast<int>(text_.size()); }
  const char *getString() const { return text_.c_str(); }

private:
  std::string text_;
  size_t readAt_ = 0;
  bool atEnd_ = false;
};
