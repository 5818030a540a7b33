// Fuzz support shared by the targets: a check that stops the run with a
// message, and a scratch file per process.
#pragma once

#include <QCoreApplication>
#include <QDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace kvfuzz {

/// Stops the run (a finding) when `condition` is false.
inline void check(bool condition, const char *what = "invariant") {
  if (!condition) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

/// A file in the temporary directory named after this process and `name`,
/// removed when the process ends.
inline const std::string &scratchFile(const char *name) {
  static const std::string path =
      (QDir::tempPath() + QStringLiteral("/kvfuzz_%1_").arg(QCoreApplication::applicationPid()) +
       QString::fromUtf8(name))
          .toStdString();
  static const int cleanup = std::atexit([] { std::remove(path.c_str()); });
  (void)cleanup;
  return path;
}

/// Writes `bytes` to the scratch file `name`; false when it cannot.
inline bool writeScratchFile(const char *name, const std::string &bytes) {
  std::FILE *file = std::fopen(scratchFile(name).c_str(), "wb");
  if (!file)
    return false;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  return std::fclose(file) == 0;
}

/// A copy of `length` bytes of `text` and a terminator in a block of exactly
/// that size, so that any read beyond is caught.
inline std::unique_ptr<char[]> exactCopy(const char *text, size_t length) {
  std::unique_ptr<char[]> copy(new char[length + 1]);
  std::memcpy(copy.get(), text, length);
  copy[length] = '\0';
  return copy;
}

/// Reads a fuzz input front to back; past its end every byte reads as 0.
class Input {
public:
  Input(const uint8_t *data, size_t size) : data_(data), size_(size) {}
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  template <class T> T value() {
    T v{};
    unsigned char raw[sizeof(T)] = {};
    for (size_t i = 0; i < sizeof(T); ++i)
      raw[i] = byte();
    std::memcpy(&v, raw, sizeof(T));
    return v;
  }
  size_t left() const { return size_ - at_; }
  std::string rest() {
    std::string text(reinterpret_cast<const char *>(data_ + at_), size_ - at_);
    at_ = size_;
    return text;
  }

private:
  const uint8_t *data_;
  size_t size_;
  size_t at_ = 0;
};

} // namespace kvfuzz
