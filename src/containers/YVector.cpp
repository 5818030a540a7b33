#include "kvsupport/containers/YVector.h"

namespace kv::detail {

void throwVectorOutOfMemory(std::string_view type, const char *where) {
  char message[KelvantaException::kMaxMessageLength + 1];
  std::snprintf(message, sizeof message,
                "*** Fatal error, out of memory ***\nDetected in YVector<%.*s>::%s",
                static_cast<int>(type.size()), type.data(), where);
  throw MemoryException(message);
}

} // namespace kv::detail
