#pragma once

#include <cstdint>
#include <exception>

/// The library's exception: a kind code and a message of at most 1000
/// characters. Thrown only for out-of-memory and internal assertions.
class KelvantaException : public std::exception {
public:
  /// Kind codes the library throws.
  enum Code : int32_t { OutOfMemory = 5, InternalError = 8 };

  static constexpr int kMaxMessageLength = 1000;

  /// Keeps `code` and a copy of `message` cut to kMaxMessageLength bytes
  /// (a null message counts as empty).
  KelvantaException(int32_t code, const char *message) noexcept;

  int32_t getCode() const noexcept { return code_; }
  const char *getMessage() const noexcept { return message_; }
  const char *what() const noexcept override { return message_; }

private:
  int32_t code_;
  char message_[kMaxMessageLength + 1];
};

/// Thrown when memory cannot be had: code 5.
class MemoryException : public KelvantaException {
public:
  explicit MemoryException(const char *message) noexcept
      : KelvantaException(OutOfMemory, message) {}
};
