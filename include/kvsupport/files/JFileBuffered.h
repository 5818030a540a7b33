#pragma once

#include "kvsupport/strings/YString.h"

#include <cstdio>

/// The outcome of `JFileBuffered::close` (and of its construction).
enum JFileBufferedStatus {
  JFileBufferedOk = 0,            ///< the target now holds what was written
  JFileBufferedNotOpen = 1,       ///< there was no open temporary file
  JFileBufferedRenameFailed = 2,  ///< a rename failed; target unchanged, temporary file deleted
  JFileBufferedOpenFailed = 3,    ///< the temporary file could not be created
  JFileBufferedReplaceFailed = 4, ///< the old target is kept under its backup name; temporary deleted
  JFileBufferedWriteFailed = 5    ///< writing failed; temporary deleted, target unchanged
};

/// Writes a file by way of a temporary file in the target's directory and
/// replaces the target only when all of the writing succeeded, so the target
/// is never left half-written. While the old target is replaced it is kept
/// under a backup name (base name + "-original" or "-original-N" +
/// extension) that is deleted once the new file is in place. The new file
/// gets the old target's permissions.
///
/// A JFileBuffered owns its temporary file: it can be moved but not copied.
class JFileBuffered {
public:
  /// Creates a fresh temporary file in the directory of `target` (a relative
  /// target is taken from the current directory) and opens it for writing,
  /// binary or text. `getStatus` is JFileBufferedOk when it is open, else
  /// JFileBufferedOpenFailed.
  JFileBuffered(const char *target, bool binary);
  /// Calls `close` when the temporary file is still open.
  ~JFileBuffered();
  JFileBuffered(const JFileBuffered &) = delete;
  JFileBuffered &operator=(const JFileBuffered &) = delete;
  /// Takes the other's temporary file; the other holds none afterwards.
  JFileBuffered(JFileBuffered &&other) noexcept;
  /// Closes this one (as `close`), then takes the other's temporary file.
  JFileBuffered &operator=(JFileBuffered &&other) noexcept;

  /// The temporary file's stream, to write through; null when not open.
  operator FILE *() const { return stream_; }

  /// Finishes the temporary file and puts it in the target's place; see
  /// JFileBufferedStatus. The temporary file never outlives this call.
  JFileBufferedStatus close();

  /// The status of construction.
  JFileBufferedStatus getStatus() const { return status_; }
  /// The target path as given.
  YString getTarget() const { return target_; }
  /// The temporary file's path; empty when none was created.
  YString getTempPath() const { return tempPath_; }

private:
  FILE *stream_ = nullptr;
  YString target_;
  YString tempPath_;
  JFileBufferedStatus status_ = JFileBufferedOpenFailed;
};
