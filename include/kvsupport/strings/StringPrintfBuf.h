#pragma once

#include "kvsupport/strings/PrintfBuf.h"

#include <cstddef>

/// A formatting sink over a caller's fixed character buffer. It never writes
/// beyond the buffer: a piece that does not fit in the room left is dropped
/// whole (none of its characters remain, not even after the terminator),
/// later pieces that fit still follow, and the text stays NUL-terminated.
class StringPrintfBuf : public PrintfBuf {
public:
  /// Writes into `buffer` of `size` bytes; the text starts empty. With a null
  /// buffer or a size below 1 nothing can be written and every piece is
  /// dropped.
  StringPrintfBuf(char *buffer, int size);
  virtual ~StringPrintfBuf();
  StringPrintfBuf(const StringPrintfBuf &) = delete;
  StringPrintfBuf &operator=(const StringPrintfBuf &) = delete;

  /// The start of the text (null when constructed with a null buffer).
  const char *getBuffer() const { return buffer_; }
  /// The number of characters written so far.
  int getLength() const { return static_cast<int>(cursor_ - buffer_); }
  /// The characters that still fit, not counting the terminator.
  int getRoom() const { return room_; }

  void printf_local(const char *spec, int64_t value, int width) override;
  void printf_local(const char *spec, int value, int width) override;
  void printf_local(const char *spec, double value, int width) override;
  void printf_local(const char *spec, const char *text, int width) override;
  void printf_local(const char *text) override;

  /// Asks for room for at least `needed` characters; true when the room is
  /// now at least that. A fixed buffer cannot grow: always false.
  virtual bool reallocate(int needed);

protected:
  /// For sinks that set up their own buffer.
  StringPrintfBuf() = default;

  char *cursor_ = nullptr; ///< where the next piece goes
  int room_ = -1;          ///< characters that still fit, not counting the terminator
  char *buffer_ = nullptr; ///< the start of the text

private:
  void putText(const char *text, std::size_t length, int hint);
  template <class T> void putValue(const char *spec, T value, int width);
  int valueHint(int width) const;
  bool makeRoom(int hint, int length);
};

/// A formatting sink that grows as needed: it starts on a 128-byte buffer
/// inside the object and moves to the heap when a piece does not fit. Not
/// copyable (the text may live inside the object).
class VarStringPrintfBuf : public StringPrintfBuf {
public:
  static constexpr int kInlineSize = 128;
  /// The largest capacity the buffer grows to; pieces beyond it are dropped.
  static constexpr int kMaxCapacity = 1 << 30;

  VarStringPrintfBuf();
  ~VarStringPrintfBuf() override;
  VarStringPrintfBuf(const VarStringPrintfBuf &) = delete;
  VarStringPrintfBuf &operator=(const VarStringPrintfBuf &) = delete;

  /// The buffer's size in bytes.
  int getCapacity() const { return capacity_; }
  /// Whether the text is still in the object's own 128 bytes.
  bool isInline() const { return inlineInUse_; }

  /// Grows unless `needed` characters already fit: to the bytes used plus
  /// `needed` when that exceeds twice the capacity less the bytes used,
  /// otherwise to twice the capacity. Throws MemoryException when the heap
  /// is exhausted; false only beyond kMaxCapacity.
  bool reallocate(int needed) override;

private:
  char inline_[kInlineSize];
  int capacity_ = kInlineSize;
  bool inlineInUse_ = true;
};
