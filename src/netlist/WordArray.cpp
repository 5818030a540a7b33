// WordArray and its pool of word vectors. Command handlers build a WordArray
// for every command they run, so the vectors are recycled rather than
// allocated each time. The pool is guarded by a mutex: arrays are cheap to
// make from any thread, and the lock is uncontended in practice.
#include "kvsupport/netlist/WordArray.h"

#include "hooks/ExitRank_p.h"
#include "kvsupport/containers/YVector.h"
#include "kvsupport/netlist/EngineeringNumbers.h"

#include <climits>
#include <cstdlib>
#include <mutex>
#include <string>

struct WordArray::PoolEntry {
  YVector<char *> words{50};
  PoolEntry *next = nullptr;
};

namespace {

struct Pool {
  std::mutex lock;
  WordArray::PoolEntry *idle = nullptr;
  int count = 0;
};

// Never destroyed, so arrays destroyed during static destruction still find it.
Pool &pool() {
  static Pool *instance = new Pool;
  return *instance;
}

WordArray::PoolEntry *takeEntry() {
  Pool &p = pool();
  {
    std::lock_guard<std::mutex> guard(p.lock);
    if (WordArray::PoolEntry *entry = p.idle) {
      p.idle = entry->next;
      entry->next = nullptr;
      --p.count;
      return entry;
    }
  }
  return new WordArray::PoolEntry;
}

void returnEntry(WordArray::PoolEntry *entry) {
  entry->words.clear();
  Pool &p = pool();
  std::lock_guard<std::mutex> guard(p.lock);
  entry->next = p.idle;
  p.idle = entry;
  ++p.count;
}

} // namespace

void closeWordArray() {
  Pool &p = pool();
  WordArray::PoolEntry *entry;
  {
    std::lock_guard<std::mutex> guard(p.lock);
    entry = p.idle;
    p.idle = nullptr;
    p.count = 0;
  }
  while (entry) {
    WordArray::PoolEntry *next = entry->next;
    delete entry;
    entry = next;
  }
}

namespace {
void closeWordArrayAtExit(void *) { closeWordArray(); }
const AutoFunc closeWordArrayRegistration("Exit", closeWordArrayAtExit, "closeWordArray",
                                          kv::detail::ExitRank::CloseWordArray);
} // namespace

WordArray::WordArray(int argc, char **argv) : entry_(takeEntry()) {
  if (!argv)
    return;
  for (int i = 1; i < argc; ++i)
    if (argv[i])
      entry_->words.append(argv[i]);
  count_ = static_cast<int>(entry_->words.size());
}

WordArray::~WordArray() { returnEntry(entry_); }

const char *WordArray::word(int i) const {
  return i >= 0 && i < count_ ? entry_->words[i] : nullptr;
}

YString WordArray::operator[](int i) const { return YString(word(i)); }

int WordArray::integer(int i, int defaultValue) const {
  const char *text = word(i);
  if (!text)
    return defaultValue;
  long long value = std::strtoll(text, nullptr, 10);
  if (value > INT_MAX)
    return INT_MAX;
  if (value < INT_MIN)
    return INT_MIN;
  return static_cast<int>(value);
}

double WordArray::real(int i, double defaultValue) const {
  const char *text = word(i);
  return text ? sp_ConvertEngToReal(text, nullptr) : defaultValue;
}

const char *WordArray::string(int i, const char *defaultValue) const {
  const char *text = word(i);
  return text ? text : defaultValue;
}

bool WordArray::argsAreEmpty(const YList<int> &indexes) const {
  for (int index : indexes) {
    const char *text = word(index);
    if (text && *text == '\0')
      return true;
  }
  return false;
}

YString WordArray::getFlattenedLine() const {
  std::string line;
  for (int i = 0; i < count_; ++i) {
    if (i > 0)
      line += ' ';
    line += entry_->words[i];
  }
  return YString(line.c_str(), static_cast<int>(line.size()));
}
