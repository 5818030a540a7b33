#pragma once

#include <cstddef>
#include <cstdint>

/// The byte source and sink behind every kvstream. The base class gives the
/// defaults a buffer without that ability has: seeking and telling answer -1,
/// closing and flushing do nothing. Buffers own files and memory: they are
/// not copyable.
class kvbuf {
public:
  kvbuf() = default;
  kvbuf(const kvbuf &) = delete;
  kvbuf &operator=(const kvbuf &) = delete;
  virtual ~kvbuf() = default;

  virtual void close() {}
  /// True when the last read met the end of the input.
  virtual bool eof() = 0;
  virtual bool fail() { return false; }
  /// The next byte, or -1 at the end.
  virtual int get() = 0;
  /// Reads up to `size` bytes; returns how many were read.
  virtual size_t read(char *buffer, size_t size) = 0;
  /// Writes `size` bytes; returns how many were written.
  virtual size_t write(const char *data, size_t size) = 0;
  virtual void put(char c) { write(&c, 1); }
  /// Writes at the buffer's own position, whatever is pending.
  virtual size_t writeSync(const char *data, size_t size) { return write(data, size); }
  /// Writes `data`, a block allocated with operator new[] that the buffer
  /// owns from this call on, and releases it.
  virtual size_t takeAndWrite(const char *data, size_t size);
  /// Writes `data` (a block allocated with operator new[], owned by the
  /// buffer from this call on) at `position`, leaving the read/write
  /// position where it was. Returns the bytes written.
  virtual size_t writeAt(int64_t position, const char *data, size_t size);
  /// Writes min(block size, `limit`) bytes of block `blockIndex` of the
  /// shared block heap `managerId`, then frees the block. Returns the bytes
  /// written; 0 when the heap or the block is not available.
  virtual int64_t takeAndwriteSharedBlock(int managerId, int64_t blockIndex, int64_t limit);
  /// Whether the buffer is open.
  virtual explicit operator bool() = 0;
  /// Moves to `position` from the start.
  virtual int seekg(int64_t position) { return -1; }
  /// Moves by `offset` from the start (origin 0), the current position (1)
  /// or the end (2).
  virtual int seekg(int64_t offset, int origin) { return -1; }
  virtual int64_t tellg() { return -1; }
  virtual void flush() {}
  /// Whether a write has failed since the buffer was opened.
  virtual bool writeFailed() const { return false; }

  // Read-ahead window. A buffer that holds input it has fetched but not yet
  // handed out may show it here, so that character readers take it without
  // a virtual call per byte. Taking bytes from the window is the same as
  // reading them with get(); every other operation of the buffer first
  // settles what was taken. Buffers that cannot show their input leave the
  // window empty.

  /// The first unread byte of the window; equal to readEnd() when empty.
  const char *readNext() const { return readNext_; }
  /// One past the last byte of the window.
  const char *readEnd() const { return readEnd_; }
  /// Takes `count` bytes from the window (at most readEnd() - readNext()).
  void readAdvance(size_t count) { readNext_ += count; }
  /// Fills the window when it is empty; false when no input can be shown
  /// (the end of the input, an error, or a buffer without a window), in
  /// which case get() is the way to read on.
  virtual bool fillReadWindow() { return readNext_ != readEnd_; }

protected:
  /// Set by buffers that show a window.
  void setReadWindow(const char *next, const char *end) const {
    readNext_ = next;
    readEnd_ = end;
  }

private:
  // Mutable so that const accessors of a buffer can settle the window.
  mutable const char *readNext_ = nullptr;
  mutable const char *readEnd_ = nullptr;
};
