#include "kvsupport/streams/kvfstream.h"

#include "kvsupport/streams/kvfbuf.h"
#include "kvsupport/streams/kvfbuf_async.h"

#include <cstring>

kvfstream::kvfstream(bool async) {
  if (async)
    setBuffer(new kvfbuf_async());
  else
    setBuffer(new kvfbuf());
}

kvfstream::kvfstream(std::FILE *file, bool async) {
  if (async)
    setBuffer(new kvfbuf_async(file));
  else
    setBuffer(new kvfbuf(file));
}

kvfstream::kvfstream(const char *path, int mode, bool lock, bool async) : kvfstream(async) {
  open(path, mode, lock);
}

// After transferBuffer the stream may hold another kind of buffer, or none.
kvfbuf *kvfstream::fileBuffer() const { return dynamic_cast<kvfbuf *>(rdbuf()); }

void kvfstream::open(std::FILE *file) { setBuffer(new kvfbuf(file)); }

void kvfstream::open(const char *path, int mode, bool lock) {
  if (kvfbuf *buffer = fileBuffer())
    buffer->open(path, mode, lock);
}

// The C file, once every pending write of an asynchronous buffer is done.
std::FILE *kvfstream::fileForDirectReading() const {
  kvfbuf *buffer = fileBuffer();
  if (!buffer)
    return nullptr;
  if (auto *async = dynamic_cast<kvfbuf_async *>(buffer))
    async->flush();
  return buffer->stdioFile();
}

void kvfstream::gets(char *line, int size) {
  if (!line || size <= 0)
    return;
  line[0] = '\0';
  std::FILE *file = fileForDirectReading();
  if (!file || !std::fgets(line, size, file)) {
    line[0] = '\0';
    return;
  }
  size_t length = std::strlen(line);
  if (length > 0 && line[length - 1] == '\n')
    line[length - 1] = '\0';
}

kvfstream &kvfstream::operator>>(int &value) {
  if (std::FILE *file = fileForDirectReading())
    std::fscanf(file, "%d", &value); // on failure the value stays
  return *this;
}

kvfstream &kvfstream::operator>>(double &value) {
  if (std::FILE *file = fileForDirectReading())
    std::fscanf(file, "%lg", &value);
  return *this;
}

int64_t kvfstream::getFileSize() const {
  kvfbuf *buffer = fileBuffer();
  return buffer ? buffer->getFileSize() : 0;
}

void kvfstream::put(char c) {
  if (kvbuf *buffer = rdbuf())
    buffer->put(c);
}

void kvfstream::makeBuffer() { setBuffer(new kvfbuf()); }
