#include "kvsupport/streams/kvbuf.h"

#include "kvsupport/ipc/SharedBlockManager.h"
#include "streams/SharedBlockWriter_p.h"

#include <algorithm>

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
  SharedBlockToken token(managerId);
  kv::streams::TakenSharedBlock block;
  if (!kv::streams::takeSharedBlock(token, blockIndex, &block))
    return 0;
  int64_t count = std::max<int64_t>(std::min(block.blockSize, limit), 0);
  size_t written = writeSync(block.data, static_cast<size_t>(count));
  kv::streams::returnSharedBlock(block);
  return static_cast<int64_t>(written);
}
