#pragma once

#include "kvsupport/strings/YString.h"

#include <cstdio>

/// An owning wrapper of a C stdio stream and the name of its file. The
/// stream is closed when the object is destroyed. A JFile can be moved but
/// not copied, so a stream is never closed twice. One thread at a time.
class JFile {
public:
  /// Holds nothing.
  JFile() = default;
  /// Constructs and calls `open(name, mode)`.
  JFile(const char *name, const char *mode);
  /// Adopts the open `stream` under `name`; it is closed with this object.
  JFile(const char *name, FILE *stream);
  /// Closes the stream if one is held.
  ~JFile();
  JFile(const JFile &) = delete;
  JFile &operator=(const JFile &) = delete;
  /// Takes the other's stream and name; the other holds nothing afterwards.
  JFile(JFile &&other) noexcept;
  /// Closes this stream, then takes the other's stream and name.
  JFile &operator=(JFile &&other) noexcept;

  /// Closes a stream already held, then opens `name` (UTF-8) with the C
  /// stdio `mode`. On success the file name becomes the file's full path.
  /// Returns the stream, or null (null name or mode, or the file cannot be
  /// opened); the recorded name is kept on failure.
  FILE *open(const char *name, const char *mode);

  /// `open` on the recorded file name with a new mode; null when no name is
  /// recorded.
  FILE *reopen(const char *mode);

  /// Closes the stream if one is held; the stream becomes null.
  void close();

  /// Takes the other's stream and file name, leaving the other holding
  /// nothing, so that exactly one object closes the stream. False (and
  /// nothing changes) when this object already holds a stream.
  bool attach(JFile &other);

  /// Returns the stream and forgets it without closing it.
  FILE *detach();

  /// The stream; null when none is held.
  FILE *get() const { return stream_; }
  operator FILE *() const { return stream_; }
  /// The file name; empty when none is recorded.
  YString getFilename() const { return name_; }

private:
  FILE *stream_ = nullptr;
  YString name_;
};
