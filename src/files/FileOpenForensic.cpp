#include "kvsupport/files/FileOpenForensic.h"

#include "os/FileProbe_p.h"

#include <QFileInfo>

namespace {

const char *const kPhrases[] = {
    " cannot be opened because another file of the same name already exists",
    " does not exist",
    " cannot be opened for read because of insufficient privilege",
    " cannot be opened for read possibly because it is in use by another process",
    " cannot be opened because its directory does not exist",
    " cannot be opened for write possibly because of insufficient directory privilege",
    " cannot be opened for write because of insufficient privilege",
    " cannot be opened for write possibly because it is in use by another process",
};

bool exists(kv::os::PathLook look) {
  return look == kv::os::PathLook::File || look == kv::os::PathLook::Directory;
}

bool directoryExists(const YString &path) {
  const QByteArray directory = QFileInfo(QString::fromUtf8(path.tocs())).path().toUtf8();
  return kv::os::lookAtPath(directory.constData()) == kv::os::PathLook::Directory;
}

} // namespace

bool sp_CheckFileOpen(const YString &path, GfnOpenMode mode) {
  if (path.isEmpty())
    return false;
  const char *name = path.tocs();
  const bool existed = exists(kv::os::lookAtPath(name));
  if (mode == 3 && existed)
    return false;
  // Writing (mode 5) is tried as appending: a trial must never truncate.
  const bool write = mode == 3 || mode == 4 || mode == 5;
  if (write && mode != 3 && existed) {
    YString lockFile(path);
    lockFile &= ".lck";
    if (kv::os::lockHeldByAnotherProcess(lockFile.tocs()))
      return false;
  }
  return kv::os::opensAsFile(name, write);
}

bool sp_FileOpenForensic(const YString &path, GfnOpenMode mode, FileOpenForensic *reason) {
  if (!reason)
    return false;
  if (mode == 3 && sp_CheckFileOpen(path, 4)) {
    *reason = FileOpenAlreadyExists;
    return true;
  }
  const kv::os::PathLook look = kv::os::lookAtPath(path.tocs());
  if (mode == 0) {
    // A directory on the way that may not be searched hides whether the file
    // exists: that is a matter of rights, not of a missing file.
    if (look == kv::os::PathLook::Unsearchable)
      *reason = FileOpenReadDenied;
    else if (!exists(look))
      *reason = FileOpenDoesNotExist;
    else
      *reason = kv::os::mayAccess(path.tocs(), false) ? FileOpenReadInUse : FileOpenReadDenied;
  } else if (mode == 3 || mode == 5) {
    if (!exists(look))
      *reason = directoryExists(path) ? FileOpenDirectoryDenied : FileOpenNoDirectory;
    else
      *reason = kv::os::mayAccess(path.tocs(), true) ? FileOpenWriteInUse : FileOpenWriteDenied;
  } else {
    *reason = FileOpenInternalError;
  }
  return true;
}

bool sp_FileOpenForensicMsg(const YString &path, GfnOpenMode mode, YString *message) {
  FileOpenForensic reason = FileOpenInternalError;
  if (!message || !sp_FileOpenForensic(path, mode, &reason))
    return false;
  if (reason == FileOpenInternalError) {
    *message = "Internal error";
    return true;
  }
  YString sentence("The file ");
  sentence &= path;
  sentence &= kPhrases[reason];
  *message = sentence;
  return true;
}
