// Internal header, not API: reporting what peers did wrong.
#pragma once

#include <string>

namespace kv::ipc {

/// Sends a warning about a peer (a refused connection, a dropped record) to
/// the default message handler: the first of each text at once, repeats
/// counted and reported at the 10th, 100th, 1000th, ... occurrence.
void reportPeerProblem(const std::string &what);

} // namespace kv::ipc
