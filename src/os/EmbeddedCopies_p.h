// Internal header, not API: temporary copies of embedded files, made so that
// no other user or process can take or plant them, and recorded per process
// so that the copies of a process that died are swept.
#pragma once

#include "kvsupport/strings/YString.h"

#include <cstdint>
#include <cstdio>

namespace kv::os {

/// What makes a copy the copy it is, whatever its name leads to later.
struct CopyIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
};

/// Creates the file `path` if no file, directory or link of that name
/// exists (never following a symbolic link), with mode 0600 whatever the
/// umask, and opens it as a C stream in `mode` (a creating mode: "w", "a",
/// "w+", "a+", with 'b' allowed). Null with `*taken` true when the name is
/// in use; null with `*taken` false on any other failure.
std::FILE *createCopy(const char *path, const char *mode, CopyIdentity *identity, bool *taken);

/// Deletes `path` only while it still names the copy `identity`.
void removeCopy(const char *path, const CopyIdentity &identity);

/// 64 random bits, for names no one can guess.
uint64_t randomNameBits();

/// This process's record of its copies, in the user's record directory
/// below `tempDir`; null when that directory cannot be used safely (a link,
/// another owner's, open to others). Opening it first sweeps the records of
/// processes that died: their copies that still are what was recorded, and
/// were not kept, are deleted, then the records. Nothing unrecorded is ever
/// deleted.
class CopyRecord;
CopyRecord *openCopyRecord(const char *tempDir);

/// Notes a new copy (`kept` false) or a copy left behind on purpose (`kept`
/// true, which a sweep then spares).
void noteCopy(CopyRecord *record, const char *path, const CopyIdentity &identity, bool kept);

/// Deletes the record file and frees the record.
void closeCopyRecord(CopyRecord *record);

} // namespace kv::os
