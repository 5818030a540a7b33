#include "kvsupport/files/EmbeddedFile.h"

#include "hooks/ExitRank_p.h"
#include "kvsupport/files/PathName.h"
#include "kvsupport/hooks/AutoFunc.h"
#include "kvsupport/support/SystemSymbols.h"
#include "os/EmbeddedCopies_p.h"

#include <cinttypes>
#include <cstdio>
#include <mutex>
#include <set>

struct EmbeddedFileData {
  bool keep = false;
  YString embeddedName;
  YString temporaryPath;
  int32_t refs = 1;
  kv::os::CopyIdentity identity;
};

namespace {

// Names tried with a number before the extension, before random ones.
constexpr int kNumberedNames = 100;
constexpr int kRandomNameAttempts = 64;

// Every live entry and this process's record of copies, for the sweep at
// exit. Lists may live on several threads, so the register is locked.
struct LiveCopies {
  std::mutex lock;
  std::set<EmbeddedFileData *> entries;
  kv::os::CopyRecord *record = nullptr;
  bool recordTried = false;
};

// Never destroyed: entries may die in static destructors after exit ran.
LiveCopies &live() {
  static LiveCopies *const copies = new LiveCopies;
  return *copies;
}

void adopt(EmbeddedFileData *data, const char *tempDir) {
  LiveCopies &copies = live();
  std::lock_guard<std::mutex> guard(copies.lock);
  copies.entries.insert(data);
  if (!copies.recordTried) {
    copies.record = kv::os::openCopyRecord(tempDir);
    copies.recordTried = true;
  }
  kv::os::noteCopy(copies.record, data->temporaryPath.tocs(), data->identity, false);
}

void release(EmbeddedFileData *data) {
  if (!data || --data->refs > 0)
    return;
  {
    LiveCopies &copies = live();
    std::lock_guard<std::mutex> guard(copies.lock);
    copies.entries.erase(data);
    if (data->keep && !data->temporaryPath.isEmpty())
      kv::os::noteCopy(copies.record, data->temporaryPath.tocs(), data->identity, true);
  }
  if (!data->keep && !data->temporaryPath.isEmpty())
    kv::os::removeCopy(data->temporaryPath.tocs(), data->identity);
  delete data;
}

YString candidateName(const YString &tempDir, const PathName &parts, const char *middle) {
  YString name(tempDir);
  name &= "/";
  name &= parts.baseName;
  name &= middle;
  name &= parts.extension;
  return name;
}

// Makes the copy under the first free name: the bare base name, then the
// numbered ones, then random ones.
std::FILE *makeCopy(const YString &tempDir, const PathName &parts, const char *mode, YString *path,
                    kv::os::CopyIdentity *identity) {
  for (int n = 0; n <= kNumberedNames + kRandomNameAttempts; ++n) {
    char middle[32] = "";
    if (n > kNumberedNames)
      std::snprintf(middle, sizeof middle, "-%016" PRIx64, kv::os::randomNameBits());
    else if (n > 0)
      std::snprintf(middle, sizeof middle, "%d", n);
    *path = candidateName(tempDir, parts, middle);
    bool taken = false;
    if (std::FILE *stream = kv::os::createCopy(path->tocs(), mode, identity, &taken))
      return stream;
    if (!taken)
      return nullptr;
  }
  return nullptr;
}

} // namespace

EmbeddedFile::EmbeddedFile(const YString &embeddedName, const YString &temporaryPath)
    : data_(new EmbeddedFileData) {
  data_->embeddedName = embeddedName;
  data_->temporaryPath = temporaryPath;
}

EmbeddedFile::EmbeddedFile(EmbeddedFileData *data) : data_(data) {}

EmbeddedFile::EmbeddedFile(const EmbeddedFile &other) : data_(other.data_) { ++data_->refs; }

EmbeddedFile &EmbeddedFile::operator=(const EmbeddedFile &other) {
  ++other.data_->refs;
  release(data_);
  data_ = other.data_;
  return *this;
}

EmbeddedFile::~EmbeddedFile() { release(data_); }

int EmbeddedFile::operator==(const EmbeddedFile &other) const {
  return data_->embeddedName.comparePath(other.data_->embeddedName) == 0;
}

const YString &EmbeddedFile::embeddedName() const { return data_->embeddedName; }
const YString &EmbeddedFile::temporaryPath() const { return data_->temporaryPath; }
bool EmbeddedFile::keep() const { return data_->keep; }
void EmbeddedFile::setKeep(bool keep) { data_->keep = keep; }

const EmbeddedFile *EmbeddedFileList::find(const YString &embeddedName) const {
  for (const EmbeddedFile &entry : entries_)
    if (entry.embeddedName().comparePath(embeddedName) == 0)
      return &entry;
  return nullptr;
}

bool EmbeddedFileList::exists(const YString &embeddedName) const {
  return find(embeddedName) != nullptr;
}

std::FILE *EmbeddedFileList::createEmbeddedFile(const YString &embeddedName, const char *mode) {
  if (find(embeddedName))
    return nullptr;
  YString tempDir;
  if (sp_GetSystemPathSymbolValue("TEMPPATH", &tempDir, false) == 0)
    return nullptr;
  PathName parts;
  sp_SplitPath(embeddedName, &parts);
  auto *data = new EmbeddedFileData;
  data->embeddedName = embeddedName;
  std::FILE *stream = makeCopy(tempDir, parts, mode, &data->temporaryPath, &data->identity);
  if (!stream) {
    delete data;
    return nullptr;
  }
  adopt(data, tempDir.tocs());
  entries_.prepend(EmbeddedFile(data));
  return stream;
}

YString EmbeddedFileList::createMapping(const YString &embeddedName) {
  if (const EmbeddedFile *entry = find(embeddedName))
    return entry->temporaryPath();
  std::FILE *stream = createEmbeddedFile(embeddedName, "w");
  if (!stream)
    return YString();
  std::fclose(stream);
  return entries_.first().temporaryPath();
}

void closeEmbeddedFiles() {
  LiveCopies &copies = live();
  std::lock_guard<std::mutex> guard(copies.lock);
  for (EmbeddedFileData *data : copies.entries)
    if (!data->keep && !data->temporaryPath.isEmpty()) {
      kv::os::removeCopy(data->temporaryPath.tocs(), data->identity);
      data->temporaryPath = YString();
    }
  kv::os::closeCopyRecord(copies.record);
  copies.record = nullptr;
  copies.recordTried = false;
}

namespace {

void closeEmbeddedFilesAtExit(void *) { closeEmbeddedFiles(); }

const AutoFunc closeEmbeddedFilesRegistration("Exit", closeEmbeddedFilesAtExit,
                                              "closeEmbeddedFiles",
                                              kv::detail::ExitRank::CloseEmbeddedFiles);

} // namespace
