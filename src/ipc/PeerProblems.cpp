#include "ipc/PeerProblems_p.h"

#include "kvsupport/streams/MessageHandler.h"
#include "kvsupport/streams/MessageReporting.h"

#include <map>
#include <mutex>

namespace kv::ipc {

// A peer that keeps sending garbage must not flood the host's messages.
void reportPeerProblem(const std::string &what) {
  static std::mutex lock;
  static std::map<std::string, long> seen;
  long count;
  {
    std::lock_guard<std::mutex> guard(lock);
    count = ++seen[what];
  }
  long mark = 1;
  while (mark < count)
    mark *= 10;
  if (mark != count)
    return;
  YRef<MessageHandler> handler = sp_GetDefaultMessageHandler();
  if (count == 1)
    handler->warning("transceiver: %s", what.c_str());
  else
    handler->warning("transceiver: %s (%ld times)", what.c_str(), count);
}

} // namespace kv::ipc
