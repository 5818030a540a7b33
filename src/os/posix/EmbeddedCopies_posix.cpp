// Copies of embedded files on POSIX. A copy is created with
// O_CREAT|O_EXCL|O_NOFOLLOW, so a name another user planted (a symbolic link
// to a file of ours, say) or another process took is never opened, and it
// is made 0600 by fchmod, whatever the umask. It is deleted by name only
// while the name still leads to the same device and inode.
//
// Each process that makes copies keeps a record file in the user's record
// directory ("kvembedded-<uid>" below the temporary directory, 0700, ours):
// a line per copy, appended with one write. The record is flock()ed for the
// life of the process; the kernel drops the lock however the process ends,
// so a record whose lock can be taken belongs to a process that is gone,
// and its copies may go too.
#include "os/EmbeddedCopies_p.h"

#include "os/posix/PosixCalls_p.h"

#include <dirent.h>

#include <cinttypes>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <utility>

namespace kv::os {

class CopyRecord {
public:
  int fd = -1;
  std::string path;
};

namespace {

CopyIdentity identityOf(const struct stat &info) {
  return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

bool creatingMode(const char *mode) { return mode && (mode[0] == 'w' || mode[0] == 'a'); }

// Record lines: '+' or 'k', device, inode, then the path with '\\' and line
// feeds escaped, so every line reads back as written.
std::string recordLine(char state, const char *path, const CopyIdentity &identity) {
  char head[64];
  std::snprintf(head, sizeof head, "%c %" PRIu64 " %" PRIu64 " ", state, identity.device,
                identity.inode);
  std::string line = head;
  for (const char *p = path; *p; ++p)
    line += *p == '\\' ? "\\\\" : *p == '\n' ? "\\n" : std::string(1, *p);
  return line + '\n';
}

bool parseRecordLine(const std::string &line, char *state, CopyIdentity *identity,
                     std::string *path) {
  int consumed = 0;
  if (std::sscanf(line.c_str(), "%c %" SCNu64 " %" SCNu64 " %n", state, &identity->device,
                  &identity->inode, &consumed) != 3 ||
      consumed == 0)
    return false;
  path->clear();
  for (size_t i = static_cast<size_t>(consumed); i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size())
      *path += line[++i] == 'n' ? '\n' : line[i];
    else
      *path += line[i];
  }
  return !path->empty();
}

std::string readAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t got;
  while ((got = posix::retryOnInterrupt([&] { return ::read(fd, buffer, sizeof buffer); })) > 0)
    text.append(buffer, static_cast<size_t>(got));
  return text;
}

// The dead process's copies that were not kept, then its record. The record
// is deleted while we hold its lock, so no sweeper after us reads it again.
void sweepRecord(int fd, const std::string &recordPath) {
  const std::string text = readAll(fd);
  std::set<std::pair<std::string, std::pair<uint64_t, uint64_t>>> kept, made;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    char state = 0;
    CopyIdentity identity;
    std::string path;
    if (!parseRecordLine(text.substr(start, end - start), &state, &identity, &path))
      continue;
    auto key = std::make_pair(path, std::make_pair(identity.device, identity.inode));
    (state == 'k' ? kept : made).insert(key);
  }
  for (const auto &copy : made)
    if (!kept.count(copy))
      removeCopy(copy.first.c_str(), {copy.second.first, copy.second.second});
  posix::unlinkPath(recordPath.c_str());
}

void sweepDeadRecords(const std::string &directory, const std::string &own) {
  DIR *dir = ::opendir(directory.c_str());
  if (!dir)
    return;
  while (const dirent *entry = ::readdir(dir)) {
    if (std::strncmp(entry->d_name, "rec-", 4) != 0)
      continue;
    const std::string path = directory + "/" + entry->d_name;
    if (path == own)
      continue;
    const int fd = posix::openFile(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
      continue;
    struct stat info;
    if (posix::statHandle(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
        posix::lockExclusiveNoWait(fd) == 0)
      sweepRecord(fd, path);
    posix::closeFile(fd);
  }
  ::closedir(dir);
}

// The user's record directory, made if missing; empty when it is not a
// directory of ours closed to others (a link, another owner's).
std::string recordDirectory(const char *tempDir) {
  const std::string directory = std::string(tempDir) + "/kvembedded-" + std::to_string(::geteuid());
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
    return {};
  struct stat info;
  if (posix::statLink(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
      info.st_uid != ::geteuid() || (info.st_mode & 077) != 0)
    return {};
  return directory;
}

} // namespace

std::FILE *createCopy(const char *path, const char *mode, CopyIdentity *identity, bool *taken) {
  *taken = false;
  if (!creatingMode(mode))
    return nullptr;
  const int fd = posix::openFile(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  if (fd < 0) {
    *taken = errno == EEXIST;
    return nullptr;
  }
  struct stat info;
  if (posix::changeModeHandle(fd, 0600) != 0 || posix::statHandle(fd, &info) != 0) {
    posix::unlinkPath(path);
    posix::closeFile(fd);
    return nullptr;
  }
  *identity = identityOf(info);
  std::FILE *stream = posix::adoptStream(fd, mode);
  if (!stream) {
    removeCopy(path, *identity);
    posix::closeFile(fd);
  }
  return stream;
}

void removeCopy(const char *path, const CopyIdentity &identity) {
  struct stat info;
  if (posix::statLink(path, &info) == 0 && identityOf(info).device == identity.device &&
      identityOf(info).inode == identity.inode)
    posix::unlinkPath(path);
}

uint64_t randomNameBits() {
  static thread_local std::mt19937_64 generator{std::random_device{}()};
  return generator();
}

CopyRecord *openCopyRecord(const char *tempDir) {
  const std::string directory = recordDirectory(tempDir);
  if (directory.empty())
    return nullptr;
  // Made under a name sweepers pass over, and given its record name only
  // once locked: an unlocked record would look like a dead process's.
  const std::string stem = std::to_string(::getpid()) + "-XXXXXX";
  std::string making = directory + "/new-" + stem;
  const int fd = ::mkostemp(&making[0], O_CLOEXEC);
  if (fd < 0)
    return nullptr;
  const std::string path = directory + "/rec-" + making.substr(directory.size() + 5);
  if (posix::lockExclusiveNoWait(fd) != 0 || ::rename(making.c_str(), path.c_str()) != 0) {
    posix::unlinkPath(making.c_str());
    posix::closeFile(fd);
    return nullptr;
  }
  sweepDeadRecords(directory, path);
  auto *record = new CopyRecord;
  record->fd = fd;
  record->path = path;
  return record;
}

void noteCopy(CopyRecord *record, const char *path, const CopyIdentity &identity, bool kept) {
  if (!record)
    return;
  const std::string line = recordLine(kept ? 'k' : '+', path, identity);
  posix::writeAll(record->fd, line.data(), line.size());
}

void closeCopyRecord(CopyRecord *record) {
  if (!record)
    return;
  posix::unlinkPath(record->path.c_str());
  posix::closeFile(record->fd);
  delete record;
}

} // namespace kv::os
