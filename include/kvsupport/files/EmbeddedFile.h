#pragma once

#include "kvsupport/containers/YList.h"
#include "kvsupport/strings/YString.h"

#include <cstdio>

struct EmbeddedFileData;

/// A handle on one embedded file's temporary copy. Copies of a handle share
/// one entry, and the copy belongs to the entry: when the last handle goes,
/// the copy is deleted (unless the keep flag is set), and only while its
/// name still leads to that same file. One thread at a time.
class EmbeddedFile {
public:
  /// A new entry for `temporaryPath`, keep flag clear.
  EmbeddedFile(const YString &embeddedName, const YString &temporaryPath);
  EmbeddedFile(const EmbeddedFile &other);
  EmbeddedFile &operator=(const EmbeddedFile &other);
  ~EmbeddedFile();

  /// Whether the embedded names are the same path (`YString::comparePath`).
  int operator==(const EmbeddedFile &other) const;

  /// The name under which the document refers to the file.
  const YString &embeddedName() const;
  /// The full path of the temporary copy; empty when there is none (any
  /// more: the library's release at exit deletes the copies).
  const YString &temporaryPath() const;
  /// When set, the copy stays when the entry goes. The library never sets it.
  bool keep() const;
  void setKeep(bool keep);

private:
  friend class EmbeddedFileList;
  explicit EmbeddedFile(EmbeddedFileData *data);
  EmbeddedFileData *data_;
};

/// The caller's register of embedded files and their temporary copies,
/// newest first. Copies are made in the temporary directory (the system path
/// symbol TEMPPATH) under the embedded name's base name and extension, or
/// that with a number 1 to 100 before the extension, or past that with a
/// random part; a name already in use, by anyone, is never reused or
/// opened. Each process records its copies, so the copies of a process that
/// died are deleted by the next process of the same user that makes one.
class EmbeddedFileList {
public:
  /// Whether an entry of that embedded name (compared as paths) is held.
  bool exists(const YString &embeddedName) const;
  /// Creates the temporary copy for a new entry and opens it in `mode`, a
  /// creating mode ("w", "wb", "w+", "a", ...); the caller writes it and
  /// closes the stream. Null, the list unchanged, when the name is already
  /// held, `mode` does not create, TEMPPATH is empty, or no copy could be made.
  std::FILE *createEmbeddedFile(const YString &embeddedName, const char *mode);
  /// The temporary path for the name, making an empty copy when the name is
  /// new; empty text when that fails.
  YString createMapping(const YString &embeddedName);

  /// The entries, newest first.
  const YList<EmbeddedFile> &entries() const { return entries_; }

private:
  const EmbeddedFile *find(const YString &embeddedName) const;
  YList<EmbeddedFile> entries_;
};

/// Deletes the copies of every live entry whose keep flag is clear, empties
/// their paths, and removes this process's record of copies. The library
/// runs it at exit; entries and lists go on working afterwards.
void closeEmbeddedFiles();
