// Internal header, not API: what profile files need of the platform. Every
// function that can fail returns 0 on success and an errno value otherwise.
#pragma once

#include "kvsupport/strings/YString.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace kv::os {

/// What tells one version of a file from another without reading it. Two
/// versions are the same only when every field agrees; times are in
/// nanoseconds, so that changes within one second are told apart.
struct FileVersion {
  bool exists = false;
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t mtimeNs = 0;
  int64_t ctimeNs = 0;

  bool operator==(const FileVersion &other) const {
    return exists == other.exists && device == other.device && inode == other.inode &&
           size == other.size && mtimeNs == other.mtimeNs && ctimeNs == other.ctimeNs;
  }
  bool operator!=(const FileVersion &other) const { return !(*this == other); }
};

/// The version of what `path` names (following symbolic links). A missing
/// file gives 0 with `exists` false; other failures give their errno.
int fileVersion(const char *path, FileVersion *version);

/// An open descriptor of the file a cache was read from: through it the
/// version costs half a stat of the path. The descriptor alone cannot tell
/// that the path names another file now without a change to the held one
/// (a whole directory exchanged, or an entry replaced within the file
/// system clock's tick of the held file's last change), so the path is
/// still asked whenever the held file changed recently, and at least once a
/// second. A process holds a bounded number of them; the rest ask the path.
class FileWatch {
public:
  FileWatch() = default;
  ~FileWatch() { close(); }
  FileWatch(const FileWatch &) = delete;
  FileWatch &operator=(const FileWatch &) = delete;

  /// The version of what `path` names now; as fileVersion.
  int version(const char *path, FileVersion *now);

  /// Watches the open descriptor `fd` (taken over) instead of any before.
  void adopt(int fd);
  void close();

private:
  int fd_ = -1;
  bool trusted_ = false;  // the path named the held file well after its last change
  FileVersion confirmed_; // the held file's version when the path last agreed
  int64_t pathAskedNs_ = 0;
};

/// Reads the whole regular file `path` into `*bytes`. The file is opened
/// without blocking and checked to be a regular file before anything is
/// read (EISDIR for a directory, EINVAL for any other kind). `*before` and
/// `*after` receive the version of the open file before and after the read:
/// when they differ, someone changed the file in place while it was read.
/// On success `*watch` keeps the file open.
int readRegularFile(const char *path, std::string *bytes, FileVersion *before, FileVersion *after,
                    FileWatch *watch);

/// Whether the existing file `path` may be replaced: 0 when it is missing or
/// is a regular file that this process may read and write; otherwise the
/// reason (EISDIR, EINVAL for other kinds, EACCES or EROFS).
int checkReplaceable(const char *path);

/// A replacement of a file being written; see writeReplacement.
struct Replacement {
  int fd = -1;
  std::string target;
  std::string temporary;
};

/// The hidden temporary beside `target` through which it is replaced:
/// ".<name>.kvnew" in the same directory. Only the holder of the file's
/// mutex writes it, so one name per file suffices.
std::string temporaryPathFor(const char *target);

/// Writes `size` bytes into a fresh temporary beside `target` (which must be
/// the final target, not a symbolic link to it), with the permissions of
/// the file it replaces, and makes them durable. On failure nothing is left
/// behind.
int writeReplacement(const char *target, const char *data, size_t size, Replacement *replacement);

/// Renames the temporary over the target, makes the directory entry durable
/// and reports the version of the new file. The temporary is gone either way.
/// `*watch` lets go of the old file before the rename (a network file system
/// keeps a file renamed over while open as a hidden copy beside it) and
/// then watches the new one.
int commitReplacement(Replacement *replacement, FileVersion *written, FileWatch *watch);

/// Removes the temporary of an abandoned replacement.
void discardReplacement(Replacement *replacement);

/// Removes a temporary that a writer which died left beside `target`.
void removeStaleTemporary(const char *target);

/// The canonical form of the absolute path `path`: symbolic links and "."
/// and ".." resolved for as much of it as exists. `path` itself when nothing
/// of it can be resolved.
YString canonicalPath(const YString &path);

/// The modification time of `path` in whole seconds; -1 when it is missing.
long long modificationSeconds(const char *path);

/// The change counter of profile files whose path hash is `hash`: a
/// counter in memory shared by every process of the user, bumped by every
/// writer after it replaced such a file. Null when the shared memory is
/// not available (then only the file version tells of changes). Paths that
/// share a counter only cost each other a spare re-read.
volatile uint64_t *changeCounter(uint32_t hash);

/// Reads and bumps a counter from changeCounter; the bump returns the new value.
uint64_t loadCounter(volatile uint64_t *counter);
uint64_t bumpCounter(volatile uint64_t *counter);

/// Creates the directory `path` and its missing parents with mode 0700.
int createDirectories(const char *path);

/// Creates `path` as a new, empty file; EEXIST when something is there.
int createFileExclusive(const char *path);

} // namespace kv::os
