// Internal header, not API: starting, watching and reaping child programs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv::os {

/// Why a child could not be started.
enum class SpawnFailure { None, NotFound, NotExecutable, BadFormat, Other };

/// A started child: its process id and a handle that becomes readable
/// (poll, QSocketNotifier) when the child ends.
struct SpawnedChild {
  int pid = -1;
  int endHandle = -1;
};

/// Starts `argv[0]` (searched in PATH when it has no slash) with the
/// arguments, inheriting no descriptor above 2. With `ownSession` the child
/// gets a session of its own and the null device as its standard channels.
SpawnFailure spawnProgram(const std::vector<std::string> &argv, bool ownSession,
                          SpawnedChild *child);

/// Waits for the child to end and reaps it; its exit code, 128 + N when it
/// was killed by signal N. Closes the end handle.
int reapChild(SpawnedChild *child);

/// Leaves a running child to be reaped later by `reapEndedChildren`; closes
/// the end handle.
void leaveChild(SpawnedChild *child);

/// Reaps the children left by `leaveChild` that have ended (all of them,
/// waiting, with `waitForAll`); how many were reaped.
int reapEndedChildren(bool waitForAll);

/// In a freshly forked child: marks every descriptor above 2 close-on-exec.
void markDescriptorsCloseOnExec();

} // namespace kv::os
