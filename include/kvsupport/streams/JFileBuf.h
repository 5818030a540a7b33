#pragma once

class YString;
class kvstream;

/// Loads a whole file into memory. Paths beginning with "INTERNAL:" name
/// scripts built into the host, which it serves through the dynamic function
/// "findBuiltInScript" (a FindBuiltInScriptFunction). The data is followed
/// by a NUL, so a text file can be used as a C string.
class JFileBuf {
public:
  /// The host's look-up of a built-in script: given its name and an empty
  /// text, a new stream over the script (the caller destroys it), or null.
  using FindBuiltInScriptFunction = kvstream *(*)(const YString &name, const YString &unused);

  JFileBuf() = default;
  JFileBuf(const char *path, bool textMode) { open(path, textMode); }
  ~JFileBuf() { close(); }
  JFileBuf(const JFileBuf &) = delete;
  JFileBuf &operator=(const JFileBuf &) = delete;

  /// Loads the file (in text mode with CR LF read as LF); returns the data,
  /// or null when nothing could be read.
  const char *open(const char *path, bool textMode);
  /// Releases the data.
  void close();
  const char *get() const { return data_; }
  operator const char *() const { return data_; }
  /// The number of bytes loaded.
  unsigned int getSize() const { return size_; }

private:
  const char *loadBuiltInScript(const char *path);
  const char *loadFile(const char *path, bool textMode);

  char *data_ = nullptr;
  unsigned int size_ = 0;
};
