// Internal header, not API: the file services of JFile and JFileBuffered.
#pragma once

#include "kvsupport/strings/YString.h"

#include <cstdio>

namespace kv::os {

/// Opens the file `path` (UTF-8) with a C stdio mode; null on failure.
FILE *openFileStream(const char *path, const char *mode);

/// Creates a new, empty file with a fresh name in `directory` and opens it
/// for writing; its path goes to `*path`. Null on failure (nothing created).
FILE *createTempFileStream(const char *directory, bool binary, YString *path);

/// Whether something exists under `path`.
bool fileExists(const char *path);

/// Flushes the stream and makes its data durable; false when either fails
/// or the stream carries an error.
bool finishStream(FILE *stream);

/// Gives the file behind `stream` the permissions of the file `model`, when
/// that exists.
void copyPermissions(FILE *stream, const char *model);

/// Keeps the file `target` under the new name `backup` as well, or instead,
/// without ever replacing an existing `backup`. False when that cannot be done.
bool keepAsBackup(const char *target, const char *backup);

/// Renames `from` to `to`, replacing what `to` named in one step.
bool replaceFile(const char *from, const char *to);

} // namespace kv::os
