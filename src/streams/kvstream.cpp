#include "kvsupport/streams/kvstream.h"

#include "kvsupport/streams/kvbuf.h"
#include "kvsupport/strings/CharQueue.h"
#include "kvsupport/strings/YString.h"

#include <cstring>
#include <string>

namespace {

// Lines of an input file that begin with these three bytes are encrypted.
constexpr char kEncryptedLineMarker[] = {'?', '@', '@'};
constexpr int kDecryptedLineCapacity = 512;

} // namespace

kvstream::kvstream() = default;

kvstream::~kvstream() {
  delete buffer_;
  delete lineQueue_;
}

void kvstream::setBuffer(kvbuf *buffer) {
  if (buffer == buffer_)
    return;
  delete buffer_;
  buffer_ = buffer;
}

void kvstream::setAllowEncryption(EncryptInterface *decryptor) {
  decryptor_ = decryptor;
  if (!lineQueue_)
    lineQueue_ = new CharQueue(80);
}

// Reads the next line of the buffer into the line queue, counting its bytes,
// and decrypts it when it is marked. Returns false when the buffer has no
// more input.
bool kvstream::fillLineQueue() {
  if (buffer_->eof())
    return false;
  for (;;) {
    int c = buffer_->get();
    if (c == -1)
      break;
    lineQueue_->add(static_cast<char>(c));
    countTaken(1);
    if (c == '\n')
      break;
  }
  const char *line = *lineQueue_;
  if (lineQueue_->getLength() >= 3 && std::memcmp(line, kEncryptedLineMarker, 3) == 0) {
    lineIsEncrypted_ = 1;
    if (decryptResult_ == 0) {
      char output[kDecryptedLineCapacity];
      int outputLength = 0;
      decryptResult_ = decryptor_->decryptLine(line, output, &outputLength);
      if (decryptResult_ == 0) {
        // The decrypted text replaces the line; an empty one makes the
        // caller read on.
        lineQueue_->flush();
        if (outputLength > kDecryptedLineCapacity)
          outputLength = kDecryptedLineCapacity;
        for (int i = 0; i < outputLength; ++i)
          lineQueue_->add(output[i]);
      }
    }
  } else {
    if (lineIsEncrypted_)
      decryptor_->endOfEncryptedLines();
    lineIsEncrypted_ = 0;
  }
  return true;
}

int kvstream::getSlow() {
  if (!buffer_)
    return 0;
  if (!decryptor_) {
    if (buffer_->fillReadWindow()) {
      auto c = static_cast<unsigned char>(*buffer_->readNext());
      buffer_->readAdvance(1);
      countTaken(1);
      return c;
    }
    int c = buffer_->get();
    if (c != -1)
      countTaken(1);
    return c;
  }
  while (lineQueue_->isEmpty())
    if (!fillLineQueue())
      break;
  if (lineQueue_->isEmpty())
    return -1;
  return static_cast<unsigned char>(lineQueue_->pop());
}

void kvstream::getline(char *line, int size) {
  if (!buffer_ || !line || size <= 0)
    return;
  for (int i = 0; i < size; ++i) {
    char c = static_cast<char>(get());
    line[i] = c;
    if (c == '\n' || c == static_cast<char>(0xFF)) {
      line[i] = '\0';
      return;
    }
  }
}

namespace {

// Lines are gathered in pieces of this many bytes; a line up to this long
// without NUL becomes the text in one step.
constexpr size_t kPiece = 511;
constexpr size_t kWholeLineLimit = kPiece * 1024;

// Stores a line of `length` bytes as the text of *line. A NUL ends the
// text of the 511-byte piece of the line it falls in; the pieces after it
// are kept, as when the line is gathered piece by piece.
void appendLineText(YString *line, const char *text, size_t length) {
  if (length == 0)
    return;
  if (length <= kWholeLineLimit && !std::memchr(text, '\0', length) && line->length() == 0) {
    *line = YString(text, static_cast<int>(length));
    return;
  }
  for (size_t at = 0; at < length; at += kPiece) {
    size_t piece = length - at < kPiece ? length - at : kPiece;
    *line &= YString(text + at, static_cast<int>(strnlen(text + at, piece)));
  }
}

} // namespace

bool kvstream::getline(YString *line) {
  // A whole line inside the read window, without NUL, is cut out with one
  // search and copied into the line's own block: unread bytes in the window
  // mean the input has not ended, so the buffer is not asked.
  if (buffer_ && !decryptor_ && buffer_->readNext() != buffer_->readEnd()) {
    const char *next = buffer_->readNext();
    size_t available = static_cast<size_t>(buffer_->readEnd() - next);
    const char *newline = static_cast<const char *>(std::memchr(next, '\n', available));
    if (newline) {
      size_t taken = static_cast<size_t>(newline - next);
      if (taken <= kWholeLineLimit && strnlen(next, taken) == taken) {
        line->assignSpan(next, taken);
        buffer_->readAdvance(taken + 1);
        countTaken(taken + 1);
        return true;
      }
    }
  }
  *line = YString();
  if (!buffer_ || eof())
    return false;
  if (decryptor_)
    return getlineDecrypted(line);
  // Whole lines inside the buffer's read window are cut out with memchr; a
  // line that runs over the window's end is gathered first.
  std::string gathered;
  for (;;) {
    if (buffer_->readNext() != buffer_->readEnd() || buffer_->fillReadWindow()) {
      const char *next = buffer_->readNext();
      size_t available = static_cast<size_t>(buffer_->readEnd() - next);
      const char *newline = static_cast<const char *>(std::memchr(next, '\n', available));
      size_t taken = newline ? static_cast<size_t>(newline - next) : available;
      buffer_->readAdvance(newline ? taken + 1 : taken);
      countTaken(newline ? taken + 1 : taken);
      if (newline && gathered.empty()) {
        appendLineText(line, next, taken);
        return true;
      }
      gathered.append(next, taken);
      if (newline)
        break;
      continue;
    }
    int c = buffer_->get();
    if (c == -1) {
      if (gathered.empty())
        return false;
      break;
    }
    countTaken(1);
    if (c == '\n')
      break;
    gathered.push_back(static_cast<char>(c));
  }
  appendLineText(line, gathered.data(), gathered.size());
  return true;
}

bool kvstream::getlineDecrypted(YString *line) {
  // Bytes gather in a chunk that is appended to the line whenever it fills.
  char chunk[512];
  int used = 0;
  bool readAny = false;
  for (;;) {
    int c = get();
    if (c == -1 || c == '\n') {
      chunk[used] = '\0';
      *line &= chunk;
      // A last line without a newline still counts as a line.
      return c == '\n' || readAny;
    }
    readAny = true;
    chunk[used++] = static_cast<char>(c);
    if (used == 511) {
      chunk[used] = '\0';
      *line &= chunk;
      used = 0;
    }
  }
}

size_t kvstream::read(char *buffer, size_t size) {
  if (!buffer_)
    return 0;
  if (!decryptor_) {
    size_t n = buffer_->read(buffer, size);
    countTaken(n);
    return n;
  }
  size_t n = 0;
  while (n < size) {
    int c = get();
    if (c == -1)
      break;
    buffer[n++] = static_cast<char>(c);
  }
  return n;
}

int kvstream::read(YString *text, bool longLength) {
  return longLength ? text->restoreLong(*this) : text->restore(*this, 0);
}

bool kvstream::write(const YString &text, bool longLength) {
  return longLength ? text.saveLong(*this) : text.save(*this);
}

size_t kvstream::write(const char *data, size_t size) {
  return buffer_ ? buffer_->write(data, size) : 0;
}

void kvstream::printf(const char *format, ...) {
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
}

void kvstream::vprintf(const char *format, va_list args) {
  if (!buffer_)
    return;
  YString text;
  text.sprintf(format, args);
  buffer_->write(text.tocs(), static_cast<size_t>(text.length()));
}

kvstream &kvstream::operator<<(char c) {
  if (buffer_)
    buffer_->write(&c, 1);
  return *this;
}

kvstream &kvstream::operator<<(int value) {
  printf("%d", value);
  return *this;
}

kvstream &kvstream::operator<<(double value) {
  printf("%g", value);
  return *this;
}

kvstream &kvstream::operator<<(const char *text) {
  if (!text)
    text = "(null)";
  write(text, std::strlen(text));
  return *this;
}

kvstream &operator<<(kvstream &stream, const YString &text) {
  stream.write(text.tocs(), static_cast<size_t>(text.length()));
  return stream;
}

bool kvstream::eof() {
  if (!buffer_)
    return false;
  if (decryptor_ && !lineQueue_->isEmpty())
    return false;
  return buffer_->eof();
}

bool kvstream::fail() { return buffer_ ? buffer_->fail() : false; }
void kvstream::close() {
  if (buffer_)
    buffer_->close();
}
kvstream::operator bool() { return buffer_ ? static_cast<bool>(*buffer_) : false; }
int kvstream::seekg(int64_t position) { return buffer_ ? buffer_->seekg(position) : -1; }
int kvstream::seekg(int64_t offset, int origin) {
  return buffer_ ? buffer_->seekg(offset, origin) : -1;
}
int64_t kvstream::tellg() { return buffer_ ? buffer_->tellg() : -1; }
void kvstream::flush() {
  if (buffer_)
    buffer_->flush();
}

size_t kvstream::takeAndWrite(const char *data, size_t size) {
  if (buffer_)
    return buffer_->takeAndWrite(data, size);
  delete[] data; // the block is ours from the call on, even with nowhere to write it
  return 0;
}

int64_t kvstream::takeAndwriteSharedBlock(int managerId, int64_t blockIndex, int64_t limit) {
  return buffer_ ? buffer_->takeAndwriteSharedBlock(managerId, blockIndex, limit) : 0;
}

bool kvstream::writeFailed() const { return buffer_ ? buffer_->writeFailed() : false; }

int kvstream::getCharCount() const {
  if (decryptor_ && !lineIsEncrypted_)
    return charCount_ - lineQueue_->getLength();
  return charCount_;
}

void kvstream::transferBuffer(kvstream *source, kvstream *target) {
  if (!source || !target || source == target)
    return;
  target->setBuffer(source->buffer_);
  source->buffer_ = nullptr;
  source->makeBuffer();
}
