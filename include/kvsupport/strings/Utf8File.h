#pragma once

#include <cstdint>
#include <cstdio>

/// File information filled by stat_utf8. Mode bits use the usual values
/// (0x8000 regular file, 0x4000 directory); the inode number is cut to its
/// low 16 bits and the ids to 16 bits, as the record has always held them.
struct Stat64 {
  uint32_t dev;
  uint16_t ino;
  uint16_t mode;
  int16_t nlink;
  int16_t uid;
  int16_t gid;
  uint32_t rdev;
  int64_t size;
  int64_t atime; ///< seconds since 1970
  int64_t mtime;
  int64_t ctime;
};

// File functions that take UTF-8 path names. Files are opened shared (other
// processes may read and write them meanwhile) and are not inherited by
// child programs.

/// Opens `path` with a C mode: "r", "w" or "a", optionally "+" and "b" or
/// "t" (text and binary are the same here; other mode letters are ignored).
/// Null on failure, with errno set (EINVAL for a null argument or a mode
/// that starts with none of "rwa").
FILE *fopen_utf8(const char *path, const char *mode);
/// The same, storing the stream in `*file` (null on failure): returns 0, or
/// the error code (EINVAL when `file` is null).
int fopen_s_utf8(FILE **file, const char *path, const char *mode);
/// Renames `from` to `to`: 0, or -1 with errno set. An existing `to` is
/// never replaced (EEXIST): remove it first.
int rename_utf8(const char *from, const char *to);
/// Deletes the file: 0, or -1 with errno set.
int unlink_utf8(const char *path);
/// Fills `info` for `path`: 0, or -1 with errno set (`info` then unchanged).
int stat_utf8(const char *path, Stat64 *info);
