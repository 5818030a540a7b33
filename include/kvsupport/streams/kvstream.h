#pragma once

#include "kvsupport/streams/kvbuf.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>

class CharQueue;
class YString;

/// Decrypts the marked lines of an input file for a kvstream. Supplied by the
/// caller, who keeps it alive while the stream uses it.
class EncryptInterface {
public:
  /// Decrypts one marked line (`line`, its unread text, marker included) into
  /// `output` (512 bytes) and stores the output length in `*outputLength`.
  /// Returns 0 on success.
  virtual int decryptLine(const char *line, char *output, int *outputLength) = 0;
  /// Called when a plain line follows one or more decrypted lines.
  virtual void endOfEncryptedLines() = 0;

protected:
  ~EncryptInterface() = default;
};

/// The library's stream: a front object that owns one kvbuf and adds
/// character counting, line reading, formatted output and an optional hook
/// that decrypts marked input lines. Every operation on a stream without a
/// buffer is a harmless no-op. Streams own their buffer: not copyable.
class kvstream {
public:
  /// A stream without a buffer.
  kvstream();
  kvstream(const kvstream &) = delete;
  kvstream &operator=(const kvstream &) = delete;
  virtual ~kvstream();

  /// The next byte, or -1 at the end of input (0 without a buffer). Bytes
  /// the buffer shows in its read window are taken inline.
  int get() {
    if (!decryptor_ && buffer_ && buffer_->readNext() != buffer_->readEnd()) {
      auto c = static_cast<unsigned char>(*buffer_->readNext());
      buffer_->readAdvance(1);
      countTaken(1);
      return c;
    }
    return getSlow();
  }
  /// The bytes the next get() calls return, as far as the buffer's read
  /// window shows them without reading: sets *end past the last and returns
  /// the first (an empty range when none are shown, or while a decryption
  /// interface is installed). Lets readers scan runs of bytes in place.
  const char *peekWindow(const char **end) const {
    if (decryptor_ || !buffer_) {
      *end = nullptr;
      return nullptr;
    }
    *end = buffer_->readEnd();
    return buffer_->readNext();
  }
  /// Takes `count` bytes of the range peekWindow showed, exactly as `count`
  /// get() calls would.
  void skipWindow(size_t count) {
    buffer_->readAdvance(count);
    countTaken(count);
  }
  /// The next byte into `c`.
  void get(char &c) { c = static_cast<char>(get()); }
  /// Stores bytes into `line` until a newline or the end of input, either of
  /// which is replaced by a NUL; when `size` bytes were stored without one,
  /// the text is not terminated.
  void getline(char *line, int size);
  /// The next line without its newline (a CR before it stays). A last line
  /// without a newline is returned too. False at the end of input.
  bool getline(YString *line);
  /// Reads up to `size` bytes.
  size_t read(char *buffer, size_t size);
  /// Reads a text written by write(const YString&, bool); 1 or 0.
  int read(YString *text, bool longLength);
  /// Writes a text with a 16-bit length (cut to 32767 bytes) or, with
  /// `longLength`, a 32-bit length.
  bool write(const YString &text, bool longLength);
  /// Writes bytes; 0 without a buffer.
  size_t write(const char *data, size_t size);
  void printf(const char *format, ...) __attribute__((format(printf, 2, 3)));
  void vprintf(const char *format, va_list args) __attribute__((format(printf, 2, 0)));
  kvstream &operator<<(char c);
  kvstream &operator<<(int value);
  kvstream &operator<<(double value);
  /// Writes the text, or "(null)" for a null pointer.
  kvstream &operator<<(const char *text);

  /// True at the end of input (false without a buffer, and while decrypted
  /// bytes are still unread).
  bool eof();
  bool fail();
  void close();
  explicit operator bool();
  int seekg(int64_t position);
  int seekg(int64_t offset, int origin);
  int64_t tellg();
  size_t takeAndWrite(const char *data, size_t size);
  int64_t takeAndwriteSharedBlock(int managerId, int64_t blockIndex, int64_t limit);
  bool writeFailed() const;
  void flush();

  /// The buffer, or null.
  kvbuf *rdbuf() const { return buffer_; }
  /// Bytes taken from the buffer by get, getline and read since
  /// construction or clearCount (less the bytes of a plain line still unread).
  int getCharCount() const;
  void clearCount() { charCount_ = 0; }
  /// Installs a decryption interface (not owned).
  void setAllowEncryption(EncryptInterface *decryptor);
  bool encryptionAllowed() const { return decryptor_ != nullptr; }
  bool lineIsEncrypted() const { return lineIsEncrypted_ != 0; }
  /// The last value the decryption returned; 0 for success.
  int getEncryptReturn() const { return decryptResult_; }

  /// Gives the stream a new, empty buffer of its kind (none for the base).
  virtual void makeBuffer() {}
  /// Moves `source`'s buffer to `target` (destroying the target's own), then
  /// gives the source a fresh buffer of its kind.
  static void transferBuffer(kvstream *source, kvstream *target);

protected:
  /// Replaces the buffer (the old one is destroyed).
  void setBuffer(kvbuf *buffer);

private:
  // The count wraps rather than overflowing on inputs beyond 2 GiB.
  void countTaken(size_t count) {
    charCount_ = static_cast<int>(static_cast<unsigned>(charCount_) + static_cast<unsigned>(count));
  }
  int getSlow();
  bool getlineDecrypted(YString *line);
  bool fillLineQueue();

  int lineIsEncrypted_ = 0;
  CharQueue *lineQueue_ = nullptr;
  int charCount_ = 0;
  int decryptResult_ = 0;
  EncryptInterface *decryptor_ = nullptr;
  kvbuf *buffer_ = nullptr;
};

kvstream &operator<<(kvstream &stream, const YString &text);
