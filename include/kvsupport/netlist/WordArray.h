#pragma once

#include "kvsupport/containers/YList.h"
#include "kvsupport/strings/YString.h"

/// A read-only view of an argument vector with typed accessors. The words are
/// not copied: the strings passed in must outlive the array. The vector of
/// word pointers comes from a process-wide pool and goes back to it when the
/// array is destroyed; closeWordArray() releases the idle ones.
class WordArray {
public:
  /// Takes argv[1] .. argv[argc - 1] in order, skipping null entries. A null
  /// argv or an argc below 2 gives an empty array.
  WordArray(int argc, char **argv);
  ~WordArray();
  WordArray(const WordArray &) = delete;
  WordArray &operator=(const WordArray &) = delete;

  /// Word i, or an empty string when i is out of range.
  YString operator[](int i) const;
  /// The number of words (three names for one operation).
  int getCount() const { return count_; }
  int numElems() const { return count_; }
  int size() const { return count_; }
  /// Word i read as a decimal integer (clamped to the int range; 0 when it is
  /// not a number), or defaultValue when i is out of range.
  int integer(int i, int defaultValue) const;
  /// Word i read as an engineering number (10k is 10 kilo), or defaultValue
  /// when i is out of range.
  double real(int i, double defaultValue) const;
  /// Word i, or defaultValue when i is out of range.
  const char *string(int i, const char *defaultValue) const;
  /// True when any listed index that is in range names an empty word; indexes
  /// out of range are ignored; false for an empty list.
  bool argsAreEmpty(const YList<int> &indexes) const;
  /// The words joined with single blanks; empty when there are none.
  YString getFlattenedLine() const;

  struct PoolEntry;

private:
  const char *word(int i) const;

  PoolEntry *entry_;
  int count_ = 0;
};

/// Releases the pool of idle word vectors (run at library exit). Arrays alive
/// at the time keep their vectors and return them to a fresh pool.
void closeWordArray();
