#include "kvsupport/files/JFile.h"

#include "kvsupport/files/PathName.h"
#include "os/JFile_p.h"

#include <utility>

JFile::JFile(const char *name, const char *mode) { open(name, mode); }

JFile::JFile(const char *name, FILE *stream) : stream_(stream), name_(name) {}

JFile::~JFile() { close(); }

JFile::JFile(JFile &&other) noexcept
    : stream_(std::exchange(other.stream_, nullptr)), name_(std::move(other.name_)) {}

JFile &JFile::operator=(JFile &&other) noexcept {
  if (this != &other) {
    close();
    stream_ = std::exchange(other.stream_, nullptr);
    name_ = std::move(other.name_);
  }
  return *this;
}

FILE *JFile::open(const char *name, const char *mode) {
  close();
  if (!name || !mode)
    return nullptr;
  const YString path(name); // `name` may be our own recorded name
  stream_ = kv::os::openFileStream(path.tocs(), mode);
  if (stream_)
    name_ = sp_GetFullPath(path);
  return stream_;
}

FILE *JFile::reopen(const char *mode) {
  if (name_.isEmpty())
    return nullptr;
  const YString name = name_;
  return open(name.tocs(), mode);
}

void JFile::close() {
  if (stream_)
    std::fclose(stream_);
  stream_ = nullptr;
}

bool JFile::attach(JFile &other) {
  if (stream_ || &other == this)
    return false;
  stream_ = std::exchange(other.stream_, nullptr);
  name_ = std::move(other.name_);
  return true;
}

FILE *JFile::detach() { return std::exchange(stream_, nullptr); }
