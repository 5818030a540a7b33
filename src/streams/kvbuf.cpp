#include "kvsupport/streams/kvbuf.h"

#include "streams/SharedBlockWriter_p.h"

size_t kvbuf::takeAndWrite(const char *data, size_t size) {
  size_t written = writeSync(data, size);
  delete[] data;
  return written;
}

size_t kvbuf::writeAt(int64_t position, const char *data, size_t size) {
  int64_t back = tellg();
  seekg(position);
  size_t written = write(data, size);
  seekg(back);
  delete[] data;
  return written;
}

int64_t kvbuf::takeAndwriteSharedBlock(int managerId, int64_t blockIndex, int64_t limit) {
  return kv::streams::writeSharedBlock(managerId, blockIndex, limit,
                              [this](const char *data, size_t size) { return writeSync(data, size); });
}
