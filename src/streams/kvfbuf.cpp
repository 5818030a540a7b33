#include "kvsupport/streams/kvfbuf.h"

#include "kvsupport/strings/Utf8File.h"
#include "os/StdioFile_p.h"

#include <cstring>
#include <mutex>
#include <typeinfo>
#include <vector>

kvfbuf::kvfbuf(const char *path, int mode, bool lock) { open(path, mode, lock); }

kvfbuf::~kvfbuf() { kvfbuf::close(); }

void kvfbuf::settleReadWindow() const {
  if (!windowStart_)
    return;
  kv::os::stdioConsume(file_, static_cast<size_t>(readNext() - windowStart_));
  windowStart_ = nullptr;
  setReadWindow(nullptr, nullptr);
}

bool kvfbuf::fillReadWindow() {
  if (readNext() != readEnd())
    return true;
  settleReadWindow();
  // A derived buffer (the asynchronous one) reads at positions of its own.
  if (!file_ || typeid(*this) != typeid(kvfbuf))
    return false;
  const char *data = nullptr;
  size_t count = kv::os::stdioReadAhead(file_, &data);
  if (count == 0)
    return false;
  windowStart_ = data;
  setReadWindow(data, data + count);
  return true;
}

std::FILE *kvfbuf::stdioFile() const {
  settleReadWindow();
  return file_;
}

void kvfbuf::close() {
  settleReadWindow();
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  delete[] stdioBuffer_; // the C file that used it is closed
  stdioBuffer_ = nullptr;
  if (lock_.locked())
    lock_.unlock();
}

const char *kvfbuf::cModeFor(int mode) {
  if ((mode & 3) == 1)
    return "r";
  if ((mode & 11) == 2)
    return "w";
  if ((mode & 9) == 8)
    return "a";
  if ((mode & 27) == 3)
    return "w+";
  if ((mode & 27) == 19)
    return "r+";
  if ((mode & 9) == 9)
    return "a+";
  return "r";
}

namespace {
bool fileExists(const char *path) {
  Stat64 info;
  return stat_utf8(path, &info) == 0;
}
} // namespace

void kvfbuf::open(const char *path, int mode, bool lock) {
  settleReadWindow();
  if (lock && !(path && *path && lock_.lock(YString(path)))) {
    close(); // a failed open leaves the buffer closed
    return;
  }
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  delete[] stdioBuffer_; // the file that used it is closed
  stdioBuffer_ = nullptr;
  if (!lock && lock_.locked())
    lock_.unlock();
  if (!path || !*path)
    return;

  char cMode[4] = {0};
  std::strcpy(cMode, cModeFor(mode));
  bool creates = cMode[0] == 'w';
  if (creates && (mode & kvRemoveFirst) && fileExists(path)) {
    unlink_utf8(path);
    if (fileExists(path)) {
      close();
      return;
    }
  }
  if (mode & kvBinary)
    std::strcat(cMode, "b");
  file_ = fopen_utf8(path, cMode);
  if (!file_ && lock_.locked())
    lock_.unlock();
}

bool kvfbuf::eof() {
  settleReadWindow();
  return file_ ? std::feof(file_) != 0 : true;
}

bool kvfbuf::fail() {
  settleReadWindow();
  return file_ ? std::ferror(file_) != 0 : true;
}

int kvfbuf::get() {
  if (readNext() != readEnd()) {
    auto c = static_cast<unsigned char>(*readNext());
    readAdvance(1);
    return c;
  }
  settleReadWindow();
  return file_ ? std::fgetc(file_) : -1;
}

size_t kvfbuf::read(char *buffer, size_t size) {
  settleReadWindow();
  return file_ && size ? std::fread(buffer, 1, size, file_) : 0;
}

size_t kvfbuf::write(const char *data, size_t size) {
  settleReadWindow();
  if (!file_ || size == 0)
    return 0;
  size_t written = std::fwrite(data, 1, size, file_);
  if (written < size)
    writeFailed_ = true;
  return written;
}

void kvfbuf::put(char c) {
  settleReadWindow();
  if (file_ && std::fputc(static_cast<unsigned char>(c), file_) == EOF)
    writeFailed_ = true;
}

int kvfbuf::seekg(int64_t position) {
  settleReadWindow();
  return file_ ? kv::os::seekStdioFile(file_, position, 0) : 0;
}

int kvfbuf::seekg(int64_t offset, int origin) {
  settleReadWindow();
  return file_ ? kv::os::seekStdioFile(file_, offset, origin) : 0;
}

int64_t kvfbuf::tellg() {
  settleReadWindow();
  return file_ ? kv::os::tellStdioFile(file_) : -1;
}

void kvfbuf::flush() {
  settleReadWindow();
  if (file_ && std::fflush(file_) != 0)
    writeFailed_ = true;
}

bool kvfbuf::syncData() {
  settleReadWindow();
  if (!file_)
    return false;
  if (kv::os::syncStdioFileData(file_) != 0) {
    writeFailed_ = true;
    return false;
  }
  return true;
}

std::FILE *kvfbuf::detach() {
  settleReadWindow();
  std::FILE *file = file_;
  file_ = nullptr;
  if (stdioBuffer_) {
    // The file handed out still uses this memory and nobody will tell when
    // it closes: it stays, reachable, for the process's life (never freed,
    // not even by static destructors, as the C library may flush the file
    // at exit).
    static std::mutex handedOutLock;
    static auto *handedOut = new std::vector<char *>;
    std::lock_guard<std::mutex> guard(handedOutLock);
    handedOut->push_back(stdioBuffer_);
    stdioBuffer_ = nullptr;
  }
  return file;
}

bool kvfbuf::setStdioBufferSize(size_t size) {
  if (!file_ || size == 0 || windowStart_)
    return false;
  char *buffer = new char[size];
  if (std::setvbuf(file_, buffer, _IOFBF, size) != 0) {
    delete[] buffer;
    return false;
  }
  delete[] stdioBuffer_;
  stdioBuffer_ = buffer;
  return true;
}

int kvfbuf::fd() {
  settleReadWindow();
  return file_ ? kv::os::stdioFileDescriptor(file_) : -1;
}

int64_t kvfbuf::getFileSize() const {
  settleReadWindow();
  if (!file_)
    return 0;
  // Written bytes may still sit in the stdio buffer; count them too.
  std::fflush(file_);
  int64_t size = kv::os::stdioFileSize(file_);
  return size < 0 ? 0 : size;
}
