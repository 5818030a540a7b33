#pragma once

#include "kvsupport/files/FileLock.h"
#include "kvsupport/streams/kvbuf.h"

#include <atomic>
#include <cstdio>

/// Mode bits of kvfbuf::open.
enum kvOpenMode : int {
  kvRead = 1,
  kvWrite = 2,
  kvAppend = 8,
  kvKeepContents = 16,  ///< a read-write file keeps its contents
  kvBinary = 0x80,      ///< untranslated bytes
  kvRemoveFirst = 0x100 ///< an existing file is deleted before it is created again
};

/// A buffer over a C stdio file, optionally guarded by a lock file.
class kvfbuf : public kvbuf {
public:
  /// Closed.
  kvfbuf() = default;
  /// Wraps an open file, which the buffer then owns.
  explicit kvfbuf(std::FILE *file) : file_(file) {}
  /// Opens as open() does.
  kvfbuf(const char *path, int mode, bool lock);
  ~kvfbuf() override;

  /// Closes the file and releases the file lock.
  void close() override;
  bool eof() override;
  bool fail() override;
  int get() override;
  size_t read(char *buffer, size_t size) override;
  /// fwrite; a short write sets the write-failed flag.
  size_t write(const char *data, size_t size) override;
  void put(char c) override;
  explicit operator bool() override { return file_ != nullptr; }
  int seekg(int64_t position) override;
  int seekg(int64_t offset, int origin) override;
  int64_t tellg() override;
  void flush() override;
  /// Flushes, then waits until the file's data is on its device, so that it
  /// survives a crash of the system. False when closed or on failure, which
  /// also sets the write-failed flag.
  virtual bool syncData();
  bool writeFailed() const override { return writeFailed_.load(); }
  /// Shows the bytes the C file holds buffered for reading (plain
  /// synchronous buffers only; derived buffers keep their own positions).
  bool fillReadWindow() override;

  /// Hands the open file to the caller without closing it.
  virtual std::FILE *detach();
  /// Opens `path` with the mode bits of kvOpenMode ("r", "w", "a", "w+",
  /// "r+" or "a+", "b" for kvBinary), taking the lock file first when `lock`
  /// is set. Failure leaves the buffer closed.
  virtual void open(const char *path, int mode, bool lock);
  /// The file's descriptor, or -1.
  virtual int fd();
  /// The open file's size in bytes; 0 when closed.
  int64_t getFileSize() const;
  /// Gives the open C file a buffer of `size` bytes, owned by this buffer
  /// until it closes the file; for files read from start to end, where a
  /// larger buffer saves system calls. Only before the first read or write.
  /// False when the file is closed or the C library refuses. A file handed
  /// out by detach() keeps the memory for the rest of the process.
  bool setStdioBufferSize(size_t size);

  /// The open C file (still owned by the buffer), or null. Bytes taken from
  /// the read window are settled first, so the file's position is exact.
  std::FILE *stdioFile() const;

  /// The C mode string for mode bits (without the "b").
  static const char *cModeFor(int mode);

protected:
  std::FILE *file() const { return file_; }
  void setWriteFailed() { writeFailed_ = true; }

private:
  /// Tells the C file how many bytes of the read window were taken, and
  /// empties the window.
  void settleReadWindow() const;

  std::FILE *file_ = nullptr;
  char *stdioBuffer_ = nullptr; // given to the C file by setStdioBufferSize
  // Start of the shown read window inside the C file's buffer, or null.
  mutable const char *windowStart_ = nullptr;
  FileLock lock_;
  // Set by a short write or a failed flush, never cleared; the writer thread
  // of an asynchronous buffer sets it too.
  std::atomic<bool> writeFailed_{false};
};
