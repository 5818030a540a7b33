#pragma once

#include "kvsupport/streams/kvstream.h"

#include <cstdint>
#include <cstdio>

class kvfbuf;

/// The library's file stream. Its buffer is a kvfbuf, or a kvfbuf_async
/// (writes done by a background thread) when constructed with `async`.
class kvfstream : public kvstream {
public:
  /// An unopened buffer.
  explicit kvfstream(bool async = false);
  /// A buffer over an open file, which the stream then owns.
  kvfstream(std::FILE *file, bool async);
  /// Opens `path` with kvOpenMode bits, optionally guarded by a lock file.
  kvfstream(const char *path, int mode, bool lock = false, bool async = false);

  /// Replaces the buffer with a synchronous one over `file`.
  void open(std::FILE *file);
  /// Opens `path` in the current buffer.
  void open(const char *path, int mode, bool lock = false);
  /// Reads at most size - 1 bytes of one line straight from the file and
  /// removes one trailing newline. An empty text when nothing was read.
  void gets(char *line, int size);
  kvfstream &operator>>(int &value);
  kvfstream &operator>>(double &value);
  /// The open file's size in bytes; 0 when closed.
  int64_t getFileSize() const;
  void put(char c);
  void makeBuffer() override;

private:
  kvfbuf *fileBuffer() const;
  std::FILE *fileForDirectReading() const;
};
