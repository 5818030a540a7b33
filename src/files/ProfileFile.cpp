// Profile files: a per-process cache of each file, brought up to date before
// every operation, and changes made as read-modify-write under the file's
// system-wide mutex.
//
// Why the protocol is what it is:
// - Readers take no mutex. Files are only ever replaced by rename, so a
//   reader sees a whole version; an in-place edit by an outside editor that
//   overlaps a read shows in the open file's version and the read repeats.
// - The cache is trusted only while both the shared change counter and the
//   file's version are what they were when it was read. The counter is
//   read before the file is opened, so a version recorded with it is never
//   newer than the counter says: a race costs a spare re-read, never a
//   missed change.
// - A change is applied to the cache at once (the process sees its own
//   change) and kept in a journal until a write under the mutex succeeds.
//   Under the mutex the file is checked again and, when a peer changed it,
//   re-read and the journal replayed on top, so no peer's change is lost
//   and no own change is dropped.
#include "kvsupport/files/ProfileFile.h"

#include "files/ProfileFile_p.h"
#include "hooks/ExitRank_p.h"
#include "kvsupport/files/PathName.h"
#include "kvsupport/hooks/AutoFunc.h"
#include "kvsupport/streams/MessageHandler.h"
#include "kvsupport/streams/MessageReporting.h"
#include "kvsupport/threads/YSystemMutex.h"
#include "os/PathName_p.h"
#include "os/ProfileStore_p.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kv::files {
void (*profileBeforeRenameHook)(const char *temporaryPath) = nullptr;
} // namespace kv::files

namespace {

constexpr int kWriteMutexMs = 1000;
constexpr int kReadAttempts = 8;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

bool blank(char c) { return c == ' ' || c == '\t'; }

// ASCII lower-case letters of eight bytes turned upper case at once: a byte
// in 'a'..'z' loses 0x20, every other byte stays as it is.
uint64_t foldWord(uint64_t w) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  const uint64_t low7 = w & 0x7F7F7F7F7F7F7F7Full;
  const uint64_t atLeastA = low7 + (0x80 - 'a') * kOnes;  // top bit: byte >= 'a'
  const uint64_t pastZ = low7 + (0x80 - 'z' - 1) * kOnes; // top bit: byte > 'z'
  const uint64_t letters = atLeastA & ~pastZ & ~w & 0x8080808080808080ull;
  return w - (letters >> 2);
}

uint64_t load64(const char *at) {
  uint64_t w;
  std::memcpy(&w, at, 8);
  return w;
}

uint32_t load32(const char *at) {
  uint32_t w;
  std::memcpy(&w, at, 4);
  return w;
}

// How a text of `n` bytes is read as words of eight: in steps of eight,
// the last partial word being the eight bytes that end the text; a text
// under eight bytes as two overlapping halves, or byte by byte. Texts of one
// length are always cut alike, so equal texts give equal words, and nothing
// past the end is read.
size_t wordCount(size_t n) { return (n + 7) / 8; }

uint64_t wordAt(const char *text, size_t n, size_t i) {
  if (n >= 8)
    return load64(text + std::min(8 * i, n - 8));
  if (n >= 4)
    return load32(text) | uint64_t{load32(text + n - 4)} << 32;
  uint64_t w = 0;
  for (size_t at = 0; at < n; ++at)
    w = w << 8 | static_cast<unsigned char>(text[at]);
  return w;
}

uint64_t foldedHash(uint64_t h, const char *text, size_t n) {
  for (size_t i = 0; i < wordCount(n); ++i) {
    h = (h ^ foldWord(wordAt(text, n, i))) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
  }
  return h ^ n;
}

// A multiply carries a change only upwards; the final mix spreads every
// bit of the name over the low bits the index uses.
uint32_t finalMix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  return static_cast<uint32_t>(h ^ (h >> 33));
}

// Whether the `n` bytes at `a` and `b` are equal ignoring ASCII case.
bool equalFolded(const char *a, const char *b, size_t n) {
  for (size_t i = 0; i < wordCount(n); ++i) {
    const uint64_t x = wordAt(a, n, i), y = wordAt(b, n, i);
    if (x != y && foldWord(x) != foldWord(y))
      return false;
  }
  return true;
}

// An entry's name: section and key apart, their lengths known. Only the
// hash joins them; names are always compared apart.
struct EntryName {
  EntryName(const char *section, size_t sectionLength, const char *key, size_t keyLength)
      : section(section), key(key), sectionLength(sectionLength), keyLength(keyLength),
        hash(finalMix(foldedHash(foldedHash(0, section, sectionLength), key, keyLength))) {}
  EntryName(const char *section, const char *key)
      : EntryName(section, std::strlen(section), key, std::strlen(key)) {}
  const char *section;
  const char *key;
  size_t sectionLength;
  size_t keyLength;
  uint32_t hash;
};

std::string foldCase(const char *text) {
  std::string folded(text);
  for (char &c : folded)
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 32);
  return folded;
}

struct Section;

// One stored line: a key line, or a comment or other kept line (`text`).
struct Line {
  YString key;
  YString value;
  YString text;
  uint64_t sequence = 0;
  uint32_t hash = 0;
  uint32_t keyLength = 0;
  Section *section = nullptr;
  bool isKey() const { return !key.isEmpty(); }
  bool named(const EntryName &name) const;
};

struct Section {
  YString name;
  size_t nameLength = 0;
  std::vector<std::unique_ptr<Line>> lines; // ascending sequence numbers
};

bool Line::named(const EntryName &name) const {
  return keyLength == name.keyLength && section->nameLength == name.sectionLength &&
         equalFolded(key.tocs(), name.key, name.keyLength) &&
         equalFolded(section->name.tocs(), name.section, name.sectionLength);
}

uint64_t nextSequence() {
  static uint64_t sequence = 0;
  return ++sequence;
}

// The cached image of one file.
class Image {
public:
  Image() : slots_(kFirstSlots) {}
  Image(const Image &) = delete;
  Image &operator=(const Image &) = delete;

  void clear() {
    bom_ = false;
    preamble_.clear();
    sections_.clear();
    byName_.clear();
    slots_.assign(kFirstSlots, Slot());
    keys_ = 0;
  }
  bool empty() const { return sections_.empty() && preamble_.empty(); }
  const std::vector<std::unique_ptr<Section>> &sections() const { return sections_; }

  Section *findSection(const char *name) const {
    auto at = byName_.find(foldCase(name));
    return at == byName_.end() ? nullptr : at->second;
  }

  // The key line that was added last, or null.
  Line *find(const char *section, const char *key) const {
    const EntryName name(section, key);
    Line *found = nullptr;
    for (size_t at = home(name.hash); slots_[at].line; at = (at + 1) & mask())
      if (slots_[at].hash == name.hash && slots_[at].line->named(name) &&
          (!found || slots_[at].line->sequence > found->sequence))
        found = slots_[at].line;
    return found;
  }

  // Each returns whether the image changed; `removed` counts lines.
  bool set(const YString &section, const YString &key, const YString &value) {
    if (Line *line = find(section.tocs(), key.tocs())) {
      if (line->value == value)
        return false;
      line->value = value;
      return true;
    }
    Section *target = findSection(section.tocs());
    if (!target)
      target = addSection(section, true);
    addKey(target, key, value);
    return true;
  }
  bool removeKey(const YString &section, const YString &key, int *removed) {
    Section *target = findSection(section.tocs());
    if (!target)
      return false;
    auto &lines = target->lines;
    size_t kept = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i]->isKey() && sp_stricmp(lines[i]->key.tocs(), key.tocs()) == 0) {
        unindex(lines[i].get());
        ++*removed;
      } else {
        lines[kept++] = std::move(lines[i]);
      }
    }
    lines.resize(kept);
    return *removed > 0;
  }
  bool removeSection(const YString &section, int *removed) {
    Section *target = findSection(section.tocs());
    if (!target)
      return false;
    *removed += static_cast<int>(target->lines.size());
    for (auto &line : target->lines)
      unindex(line.get());
    byName_.erase(foldCase(section.tocs()));
    for (auto at = sections_.begin(); at != sections_.end(); ++at)
      if (at->get() == target) {
        sections_.erase(at);
        break;
      }
    return true;
  }

  void parse(const std::string &bytes);
  std::string format() const;

private:
  // The key index: open addressing with linear probing, at most half full.
  // A slot keeps its line's hash, so a probe reads a line only when the
  // hashes agree.
  struct Slot {
    uint32_t hash = 0;
    Line *line = nullptr;
  };
  static constexpr size_t kFirstSlots = 64;

  size_t mask() const { return slots_.size() - 1; }
  size_t home(uint32_t hash) const { return hash & mask(); }

  Section *addSection(const YString &name, bool atFront) {
    auto section = std::make_unique<Section>();
    section->name = name;
    section->nameLength = static_cast<size_t>(name.length());
    Section *added = section.get();
    byName_.emplace(foldCase(name.tocs()), added);
    if (atFront)
      sections_.insert(sections_.begin(), std::move(section));
    else
      sections_.push_back(std::move(section));
    return added;
  }

  void addKey(Section *section, const YString &key, const YString &value) {
    auto line = std::make_unique<Line>();
    line->key = key;
    line->value = value;
    line->sequence = nextSequence();
    line->section = section;
    line->keyLength = static_cast<uint32_t>(key.length());
    line->hash =
        EntryName(section->name.tocs(), section->nameLength, key.tocs(), line->keyLength).hash;
    index(line.get());
    section->lines.push_back(std::move(line));
  }

  void addText(Section *section, const YString &text) {
    auto line = std::make_unique<Line>();
    line->text = text;
    line->sequence = nextSequence();
    line->section = section;
    section->lines.push_back(std::move(line));
  }

  void index(Line *line) {
    if (2 * ++keys_ > slots_.size())
      grow();
    place(line);
  }

  void place(Line *line) {
    size_t at = home(line->hash);
    while (slots_[at].line)
      at = (at + 1) & mask();
    slots_[at] = {line->hash, line};
  }

  // Empties the line's slot and moves later lines of the run back, so that
  // every line stays reachable from its home slot without markers.
  void unindex(Line *line) {
    if (!line->isKey())
      return;
    size_t hole = home(line->hash);
    while (slots_[hole].line != line)
      hole = (hole + 1) & mask();
    for (size_t at = (hole + 1) & mask(); slots_[at].line; at = (at + 1) & mask()) {
      const size_t wanted = home(slots_[at].hash);
      // The line may fill the hole when its home is not in (hole, at].
      if (((at - wanted) & mask()) >= ((at - hole) & mask())) {
        slots_[hole] = slots_[at];
        hole = at;
      }
    }
    slots_[hole] = Slot();
    --keys_;
  }

  void grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    for (const Slot &slot : old)
      if (slot.line)
        place(slot.line);
  }

  bool bom_ = false;
  std::vector<YString> preamble_; // lines before the first section header
  std::vector<std::unique_ptr<Section>> sections_;
  std::unordered_map<std::string, Section *> byName_;
  std::vector<Slot> slots_;
  size_t keys_ = 0;
};

void Image::parse(const std::string &bytes) {
  clear();
  const char *data = bytes.data();
  const size_t size = bytes.size();
  size_t at = 0;
  if (bytes.compare(0, 3, kByteOrderMark) == 0) {
    bom_ = true;
    at = 3;
  }
  Section *current = nullptr;
  bool seenHeader = false;
  std::string scratch;
  while (at < size) {
    size_t end = at;
    while (end < size && data[end] != '\n' && data[end] != '\0')
      ++end;
    const char *s = data + at;
    size_t n = end - at;
    at = end + 1;
    if (std::memchr(s, '\r', n)) {
      scratch.clear();
      for (size_t i = 0; i < n; ++i)
        if (s[i] != '\r')
          scratch += s[i];
      s = scratch.data();
      n = scratch.size();
    }
    while (n && blank(*s)) {
      ++s;
      --n;
    }
    if (n == 0)
      continue;
    if (*s == ';') {
      if (current)
        addText(current, YString::fromSpan(s, n));
      else if (!seenHeader)
        preamble_.push_back(YString::fromSpan(s, n));
      continue;
    }
    while (blank(s[n - 1]))
      --n;
    if (s[0] == '[' && s[n - 1] == ']') {
      // The name is the first run holding neither bracket, so "[[a]]" is "a".
      size_t from = 0;
      while (from < n && (s[from] == '[' || s[from] == ']'))
        ++from;
      size_t to = from;
      while (to < n && s[to] != '[' && s[to] != ']')
        ++to;
      seenHeader = true;
      if (to == from) { // "[]": no section; what follows has nowhere to go
        current = nullptr;
        continue;
      }
      const YString name = YString::fromSpan(s + from, to - from);
      current = findSection(name.tocs());
      if (!current)
        current = addSection(name, false);
      continue;
    }
    if (!current) {
      if (!seenHeader)
        preamble_.push_back(YString::fromSpan(s, n));
      continue;
    }
    const char *equals = static_cast<const char *>(std::memchr(s, '=', n));
    size_t keyLength = equals ? static_cast<size_t>(equals - s) : 0;
    while (keyLength && blank(s[keyLength - 1]))
      --keyLength;
    if (keyLength == 0) { // no '=', or nothing before it: kept as it stands
      addText(current, YString::fromSpan(s, n));
      continue;
    }
    const char *value = equals + 1;
    size_t valueLength = static_cast<size_t>(s + n - value);
    while (valueLength && blank(*value)) {
      ++value;
      --valueLength;
    }
    while (valueLength && blank(value[valueLength - 1]))
      --valueLength;
    if (valueLength >= 2 && value[0] == '"' && value[valueLength - 1] == '"') {
      ++value;
      valueLength -= 2;
    }
    addKey(current, YString::fromSpan(s, keyLength), YString::fromSpan(value, valueLength));
  }
}

std::string Image::format() const {
  std::string out;
  // A first line that itself begins with the mark would lose it when read
  // back; a mark of its own in front keeps the line as it is.
  if (bom_ ||
      (!preamble_.empty() && std::strncmp(preamble_.front().tocs(), kByteOrderMark, 3) == 0))
    out += kByteOrderMark;
  for (const YString &line : preamble_) {
    out += line.tocs();
    out += '\n';
  }
  bool first = true;
  for (const auto &section : sections_) {
    if (!first)
      out += '\n';
    first = false;
    out += '[';
    out += section->name.tocs();
    out += "]\n";
    for (const auto &line : section->lines) {
      if (!line->isKey()) {
        out += line->text.tocs();
      } else {
        out += line->key.tocs();
        out += '=';
        // A key read as "[k" could come back as a section header ("[k=v]");
        // quoted, its value reads back exactly as it is.
        const bool quote = line->key.tocs()[0] == '[';
        if (quote)
          out += '"';
        out += line->value.tocs();
        if (quote)
          out += '"';
      }
      out += '\n';
    }
  }
  return out;
}

// One change kept until it is in the file.
struct Change {
  enum Kind { Set, DeleteKey, DeleteSection } kind;
  YString section;
  YString key;
  YString value;
};

bool apply(Image &image, const Change &change, int *removed) {
  switch (change.kind) {
  case Change::Set:
    return image.set(change.section, change.key, change.value);
  case Change::DeleteKey:
    return image.removeKey(change.section, change.key, removed);
  case Change::DeleteSection:
    return image.removeSection(change.section, removed);
  }
  return false;
}

struct ProfileFile {
  YString path; // canonical
  YString mutexName;
  volatile uint64_t *counter = nullptr;
  std::unique_ptr<YSystemMutex> mutex;
  Image image;
  kv::os::FileVersion seen;
  kv::os::FileWatch watch; // the file the image was read from, kept open
  uint64_t counterSeen = 0;
  bool loaded = false;
  int readError = 0; // why the file could not be read; such a file is never replaced
  std::vector<Change> journal;
  bool journalChanges = false; // the journal alters what the file holds
  long long version = 0;
};

struct Cache {
  std::vector<std::unique_ptr<ProfileFile>> files;
  std::unordered_map<std::string, ProfileFile *> byCanonical;
  std::unordered_map<std::string, ProfileFile *> byText; // absolute texts as given
  ProfileFile *last = nullptr;
  std::string lastText;
  long long versions = 0;
  ProfileWriteStatus lastStatus = ProfileUnchanged;
  int lastError = 0;
  ProfileFile *lastFile = nullptr;
};

Cache &cache() {
  static Cache *instance = new Cache; // usable from static constructors and destructors
  return *instance;
}

ProfileFile *entryFor(const char *file) {
  if (!file || !*file)
    return nullptr;
  Cache &c = cache();
  if (c.last && c.lastText == file)
    return c.last;
  const bool absolute = kv::os::isAbsolutePath(file);
  const std::string text = absolute ? std::string(file) : sp_GetFullPath(YString(file)).tocs();
  if (text.empty())
    return nullptr;
  ProfileFile *found = nullptr;
  auto known = c.byText.find(text);
  if (known != c.byText.end()) {
    found = known->second;
  } else {
    const YString canonical = kv::os::canonicalPath(sp_CleanPath(YString(text.c_str())));
    auto same = c.byCanonical.find(canonical.tocs());
    if (same != c.byCanonical.end()) {
      found = same->second;
    } else {
      auto created = std::make_unique<ProfileFile>();
      created->path = canonical;
      const uint32_t hash = canonical.hashValue();
      created->mutexName = YString("kv_mutex_inifile_");
      created->mutexName &= YString(static_cast<unsigned long long>(hash));
      created->counter = kv::os::changeCounter(hash);
      found = created.get();
      c.byCanonical.emplace(canonical.tocs(), found);
      c.files.push_back(std::move(created));
    }
    c.byText.emplace(text, found);
  }
  if (absolute) {
    c.last = found;
    c.lastText = file;
  }
  return found;
}

void load(ProfileFile &file) {
  Cache &c = cache();
  std::string bytes;
  kv::os::FileVersion before, after;
  uint64_t counter = 0;
  int error = 0;
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    counter = kv::os::loadCounter(file.counter);
    error = kv::os::readRegularFile(file.path.tocs(), &bytes, &before, &after, &file.watch);
    if (error || before == after)
      break;
  }
  file.image.clear();
  file.readError = 0;
  if (error)
    file.watch.close();
  if (error == ENOENT || error == ENOTDIR) {
    file.seen = kv::os::FileVersion();
  } else if (error) {
    file.readError = error;
    kv::os::fileVersion(file.path.tocs(), &file.seen);
  } else {
    file.image.parse(bytes);
    // Still changing after every attempt: keep what was read, but remember
    // the version it was read from, so that the next operation reads again.
    file.seen = before;
  }
  file.counterSeen = counter;
  file.loaded = true;
  file.journalChanges = false;
  for (const Change &change : file.journal) {
    int removed = 0;
    file.journalChanges = apply(file.image, change, &removed) || file.journalChanges;
  }
  file.version = ++c.versions;
}

// Whether the cache may have fallen behind the file.
bool stale(ProfileFile &file) {
  if (!file.loaded)
    return true;
  if (kv::os::loadCounter(file.counter) != file.counterSeen)
    return true;
  kv::os::FileVersion now;
  file.watch.version(file.path.tocs(), &now);
  return now != file.seen;
}

void refresh(ProfileFile &file) {
  if (stale(file))
    load(file);
}

void setStatus(ProfileFile *file, ProfileWriteStatus status, int error) {
  Cache &c = cache();
  c.lastStatus = status;
  c.lastError = error;
  c.lastFile = file;
}

// Writes the journal under the file's mutex. Returns whether nothing is
// left unwritten; `*status` and `*error` tell what happened.
bool flush(ProfileFile &file, int timeoutMs, ProfileWriteStatus *status, int *error) {
  *error = 0;
  if (file.journal.empty()) {
    *status = ProfileUnchanged;
    return true;
  }
  if (!file.mutex)
    file.mutex = std::make_unique<YSystemMutex>(file.mutexName);
  MutexWaitStatus waited = MutexWaitFailed;
  if (!file.mutex->wait(timeoutMs, &waited)) {
    *status = ProfilePending;
    *error = waited == MutexTimedOut ? ETIMEDOUT : EAGAIN;
    return false;
  }
  if (waited == MutexAbandoned)
    kv::os::removeStaleTemporary(file.path.tocs());
  // From here on no other writer of the library touches the file.
  refresh(file);
  if (!file.journalChanges) {
    file.journal.clear();
    *status = ProfileUnchanged;
  } else if (file.readError) {
    *status = ProfileFailed;
    *error = file.readError;
  } else if (const int refused = kv::os::checkReplaceable(file.path.tocs())) {
    *status = ProfileFailed;
    *error = refused;
  } else {
    const std::string text = file.image.format();
    kv::os::Replacement replacement;
    kv::os::FileVersion written;
    int failed = kv::os::writeReplacement(file.path.tocs(), text.data(), text.size(), &replacement);
    if (!failed) {
      if (kv::files::profileBeforeRenameHook)
        kv::files::profileBeforeRenameHook(replacement.temporary.c_str());
      failed = kv::os::commitReplacement(&replacement, &written, &file.watch);
    }
    if (failed) {
      *status = ProfileFailed;
      *error = failed;
    } else {
      file.counterSeen = kv::os::bumpCounter(file.counter);
      file.seen = written;
      file.journal.clear();
      file.journalChanges = false;
      file.version = ++cache().versions;
      *status = ProfileWritten;
    }
  }
  file.mutex->release();
  return file.journal.empty();
}

// Brings the cache up to date and retries what is pending, without waiting
// for a busy mutex: a look-up must not stall behind a peer's write.
void prepare(ProfileFile &file) {
  refresh(file);
  if (file.journal.empty())
    return;
  ProfileWriteStatus status;
  int error;
  if (flush(file, 0, &status, &error) && cache().lastFile == &file)
    setStatus(&file, status == ProfileUnchanged ? ProfileUnchanged : ProfileWritten, 0);
}

bool exists(const ProfileFile &file) {
  kv::os::FileVersion now;
  kv::os::fileVersion(file.path.tocs(), &now);
  return now.exists;
}

bool validSection(const char *section) {
  return section && *section && !std::strpbrk(section, "[]\r\n");
}

bool validKey(const char *key) {
  if (!key || !*key || std::strpbrk(key, "=\r\n") || *key == ';' || *key == '[')
    return false;
  return !blank(key[0]) && !blank(key[std::strlen(key) - 1]);
}

bool validValue(const char *value) { return !value || !std::strpbrk(value, "\r\n"); }

// Applies `changes` to the cache, journals them and writes. `*removed`
// counts the lines the changes removed.
bool change(const char *path, const std::vector<Change> &changes, int *removed) {
  ProfileFile *file = entryFor(path);
  if (!file) {
    setStatus(nullptr, ProfileRefused, EINVAL);
    return false;
  }
  refresh(*file);
  bool changed = false;
  for (const Change &one : changes)
    changed = apply(file->image, one, removed) || changed;
  if (changed) {
    file->journal.insert(file->journal.end(), changes.begin(), changes.end());
    file->journalChanges = true;
    file->version = ++cache().versions;
  }
  ProfileWriteStatus status;
  int error;
  flush(*file, kWriteMutexMs, &status, &error);
  if (!changed && status == ProfileWritten)
    status = ProfileUnchanged; // an older change went out; this one changed nothing
  setStatus(file, status, error);
  return exists(*file);
}

} // namespace

bool sp_GetPrivateProfileString(const char *section, const char *key, const char *file,
                                YString *value) {
  const Line *line = nullptr;
  if (section && key) {
    if (ProfileFile *profile = entryFor(file)) {
      prepare(*profile);
      line = profile->image.find(section, key);
    }
  }
  if (value) {
    if (line)
      *value = line->value;
    else
      *value = YString();
  }
  return line != nullptr;
}

bool sp_WritePrivateProfileString(const char *file, const char *section, const char *key,
                                  const char *value) {
  if (!validSection(section) || !validKey(key) || !validValue(value)) {
    setStatus(nullptr, ProfileRefused, EINVAL);
    return false;
  }
  Change one{value ? Change::Set : Change::DeleteKey, YString(section), YString(key),
             YString(value)};
  int removed = 0;
  return change(file, {one}, &removed);
}

bool sp_WritePrivateProfileStrings(const YString &file, const YString &section,
                                   const YList<NameValuePair> &pairs) {
  bool valid = validSection(section.tocs());
  std::vector<Change> changes;
  for (const NameValuePair &pair : pairs) {
    valid = valid && validKey(pair.key.tocs()) && validValue(pair.value.tocs());
    changes.push_back({Change::Set, section, pair.key, pair.value});
  }
  if (!valid) {
    setStatus(nullptr, ProfileRefused, EINVAL);
    return false;
  }
  int removed = 0;
  return change(file.tocs(), changes, &removed);
}

bool sp_GetProfileKeyNames(const YString &file, const YString &section, YList<YString> *keys) {
  ProfileFile *profile = entryFor(file.tocs());
  if (!profile || !keys)
    return false;
  prepare(*profile);
  const Section *found = profile->image.findSection(section.tocs());
  if (!found)
    return false;
  for (const auto &line : found->lines)
    if (line->isKey())
      keys->prepend(line->key);
  return true;
}

bool sp_GetProfileSectionNames(const YString &file, YList<YString> *sections) {
  ProfileFile *profile = entryFor(file.tocs());
  if (!profile || !sections)
    return false;
  prepare(*profile);
  if (!profile->seen.exists && profile->image.empty())
    return false;
  YList<YString> names;
  for (const auto &section : profile->image.sections())
    names.append(section->name);
  *sections = std::move(names);
  return true;
}

int sp_DeletePrivateProfileSection(const YString &file, const YString &section) {
  if (section.isEmpty()) {
    setStatus(nullptr, ProfileRefused, EINVAL);
    return 0;
  }
  int removed = 0;
  change(file.tocs(), {{Change::DeleteSection, section, YString(), YString()}}, &removed);
  return removed;
}

long long sp_GetProfileTimeStamp(const YString &file) {
  if (file.isEmpty())
    return -1;
  return kv::os::modificationSeconds(sp_GetFullPath(file).tocs());
}

long long sp_GetProfileVersion(const YString &file) {
  ProfileFile *profile = entryFor(file.tocs());
  if (!profile)
    return -1;
  prepare(*profile);
  if (!profile->seen.exists && profile->journal.empty())
    return -1;
  return profile->version;
}

ProfileWriteStatus sp_GetLastProfileWriteStatus(int *error) {
  const Cache &c = cache();
  if (error)
    *error = c.lastError;
  return c.lastStatus;
}

bool sp_FlushPrivateProfile(const YString &file, int timeoutMs) {
  ProfileFile *profile = entryFor(file.tocs());
  if (!profile)
    return false;
  refresh(*profile);
  ProfileWriteStatus status;
  int error;
  const bool done = flush(*profile, timeoutMs, &status, &error);
  if (cache().lastFile == profile && status != ProfileUnchanged)
    setStatus(profile, status, error);
  return done;
}

YString sp_FormatProfileFile(const YString &file) {
  ProfileFile *profile = entryFor(file.tocs());
  if (!profile)
    return YString();
  prepare(*profile);
  return YString(profile->image.format().c_str());
}

int kv::files::closeInifile() {
  Cache &c = cache();
  int unwritten = 0;
  for (auto &file : c.files) {
    if (file->journal.empty())
      continue;
    ProfileWriteStatus status;
    int error;
    if (!flush(*file, kWriteMutexMs, &status, &error)) {
      ++unwritten;
      sp_GetDefaultMessageHandler()->warning("Settings could not be written to %s: %s", file->path,
                                             std::strerror(error));
    }
  }
  c.byText.clear();
  c.byCanonical.clear();
  c.last = nullptr;
  c.lastText.clear();
  c.lastFile = nullptr;
  c.lastStatus = ProfileUnchanged;
  c.lastError = 0;
  c.files.clear();
  return unwritten;
}

bool sp_GetProfileIdentity(const YString &file, YString *path, YString *mutexName) {
  ProfileFile *profile = entryFor(file.tocs());
  if (path)
    *path = profile ? profile->path : YString();
  if (mutexName)
    *mutexName = profile ? profile->mutexName : YString();
  return profile != nullptr;
}

namespace {

void closeInifileAtExit(void *) { kv::files::closeInifile(); }

const AutoFunc closeInifileRegistration("Exit", closeInifileAtExit, "closeInifile",
                                        kv::detail::ExitRank::CloseInifile);

} // namespace
