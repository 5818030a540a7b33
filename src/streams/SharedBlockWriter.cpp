#include "streams/SharedBlockWriter_p.h"

#include "kvsupport/ipc/SharedBlockManager.h"

namespace kv::streams {

bool takeSharedBlock(const SharedBlockToken &token, int64_t index, TakenSharedBlock *taken) {
  SharedBlockManager *manager = token.get();
  void *data = nullptr;
  if (!manager || manager->getBlockSize() <= 0 || manager->get(&data, index) != SharedBlockOk)
    return false;
  *taken =
      TakenSharedBlock{manager, index, static_cast<const char *>(data), manager->getBlockSize()};
  return true;
}

void returnSharedBlock(const TakenSharedBlock &taken) {
  if (!taken.manager)
    return;
  taken.manager->release(taken.index);
  taken.manager->free(taken.index);
}

} // namespace kv::streams
