#include "kvsupport/files/JFileBuffered.h"

#include "kvsupport/files/PathName.h"
#include "kvsupport/strings/Utf8File.h"
#include "os/JFile_p.h"

#include <utility>

namespace {

// The highest number a backup name carries; past it that name is used as it is.
constexpr int kMaxBackupNumber = 999;

// The target cut where sp_SplitPath cuts it, before the extension. Cut here
// rather than by sp_SplitPath so that a path past its part bounds still
// gets its backup beside it.
int extensionStart(const YString &target) {
  const char *text = target.tocs();
  const int length = target.length();
  int nameStart = 0;
  for (int i = 0; i < length; ++i)
    if (text[i] == '/' || text[i] == '\\')
      nameStart = i + 1;
  int dot = length;
  for (int i = nameStart; i < length; ++i)
    if (text[i] == '.')
      dot = i;
  return dot;
}

YString backupName(const YString &target, int number) {
  const int dot = extensionStart(target);
  YString name = target.substring(0, dot);
  name &= "-original";
  if (number > 0) {
    name &= "-";
    name &= YString(number);
  }
  name &= target.substring(dot, target.length() - dot);
  return name;
}

} // namespace

JFileBuffered::JFileBuffered(const char *target, bool binary) : target_(target) {
  if (target_.isEmpty())
    return;
  const YString directory = sp_GetDirFromPath(sp_GetFullPath(target_).tocs());
  stream_ = kv::os::createTempFileStream(directory.tocs(), binary, &tempPath_);
  status_ = stream_ ? JFileBufferedOk : JFileBufferedOpenFailed;
}

JFileBuffered::~JFileBuffered() {
  if (stream_)
    close();
}

JFileBuffered::JFileBuffered(JFileBuffered &&other) noexcept
    : stream_(std::exchange(other.stream_, nullptr)), target_(std::move(other.target_)),
      tempPath_(std::move(other.tempPath_)),
      status_(std::exchange(other.status_, JFileBufferedOpenFailed)) {}

JFileBuffered &JFileBuffered::operator=(JFileBuffered &&other) noexcept {
  if (this != &other) {
    if (stream_)
      close();
    stream_ = std::exchange(other.stream_, nullptr);
    target_ = std::move(other.target_);
    tempPath_ = std::move(other.tempPath_);
    status_ = std::exchange(other.status_, JFileBufferedOpenFailed);
  }
  return *this;
}

JFileBufferedStatus JFileBuffered::close() {
  if (!stream_)
    return JFileBufferedNotOpen;
  FILE *stream = std::exchange(stream_, nullptr);
  const char *temp = tempPath_.tocs();
  const char *target = target_.tocs();

  const bool exists = kv::os::fileExists(target);
  if (exists)
    kv::os::copyPermissions(stream, target);
  const bool written = kv::os::finishStream(stream);
  if (std::fclose(stream) != 0 || !written) {
    unlink_utf8(temp);
    return JFileBufferedWriteFailed;
  }

  if (!exists) {
    if (kv::os::replaceFile(temp, target))
      return JFileBufferedOk;
    unlink_utf8(temp);
    return JFileBufferedRenameFailed;
  }

  YString backup = backupName(target_, 0);
  for (int number = 1; number <= kMaxBackupNumber && kv::os::fileExists(backup.tocs()); ++number)
    backup = backupName(target_, number);

  if (!kv::os::keepAsBackup(target, backup.tocs())) {
    unlink_utf8(temp);
    return JFileBufferedRenameFailed;
  }
  if (!kv::os::replaceFile(temp, target)) {
    unlink_utf8(temp);
    return JFileBufferedReplaceFailed;
  }
  unlink_utf8(backup.tocs());
  return JFileBufferedOk;
}
