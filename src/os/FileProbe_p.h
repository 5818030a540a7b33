// Internal header, not API: trying whether a file opens, without leaving a
// trace, and what the file system says about a path.
#pragma once

namespace kv::os {

/// What a look at a path found.
enum class PathLook {
  Missing,     ///< nothing of that name (or a component is no directory)
  File,        ///< something that is not a directory
  Directory,   ///< a directory
  Unsearchable ///< a directory on the way may not be searched: nothing is known
};

/// Looks at `path`, following symbolic links.
PathLook lookAtPath(const char *path);

/// Whether the process's effective user may read (or write) `path`.
bool mayAccess(const char *path, bool write);

/// Whether `path` opens as a file: for reading, or for appending when
/// `write`. A directory never opens as a file. Special files do not block
/// the probe, and nothing is truncated or written. A missing file is
/// created exclusively for the test and deleted again; a file that appears
/// meanwhile is someone else's: it is tried as an existing file and never
/// deleted.
bool opensAsFile(const char *path, bool write);

/// Whether another process holds a lock on the lock file `lockPath`,
/// told from the kernel's lock table without taking or touching the lock.
bool lockHeldByAnotherProcess(const char *lockPath);

} // namespace kv::os
