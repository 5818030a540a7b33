#pragma once

#include "kvsupport/strings/YString.h"

#include <cstdio>
#include <memory>

/// An MD5 digest (RFC 1321) being computed. Digests are written as 32
/// upper-case hexadecimal digits, two per byte in digest order.
///
/// `get` digests a copy of the state, so adding may go on after it and a
/// later `get` gives the digest of everything added. The object owns its
/// state: it can be moved, not copied. Its memory stays constant however
/// much is added. One thread at a time.
class MD5_Impl {
public:
  /// A digest of nothing yet.
  MD5_Impl();
  ~MD5_Impl();
  MD5_Impl(MD5_Impl &&other) noexcept;
  MD5_Impl &operator=(MD5_Impl &&other) noexcept;
  MD5_Impl(const MD5_Impl &) = delete;
  MD5_Impl &operator=(const MD5_Impl &) = delete;

  /// Adds the stream's bytes from its position to its end (pipes too), read
  /// in pieces of 16384 bytes. False for a null stream or a read error
  /// (`ferror`: a directory, a stream not open for reading, an I/O error);
  /// what was read before the error stays added.
  bool addFile(FILE *stream);
  /// Adds the text's bytes, without the terminating zero; null adds nothing.
  void addString(const char *text);
  /// Adds `size` bytes at `data`.
  void addBytes(const void *data, size_t size);
  /// The digest of everything added so far.
  YString get() const;
  /// Back to a digest of nothing.
  void reinit();

  struct State;

private:
  std::unique_ptr<State> state_;
};

/// The digest of the stream's remaining bytes; empty text for a null stream
/// or a read error.
YString sp_GetMD5(FILE *stream);
/// The digest of the text's bytes (without the terminating zero); empty text
/// for a null text.
YString sp_GetMD5(const char *text);
