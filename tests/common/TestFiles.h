// Test support: whole files in and out, byte for byte.
#pragma once

#include <QTemporaryDir>

#include <string>

class QString;

namespace kvtest {

/// The file's bytes; "<missing>" when it cannot be opened.
std::string readFile(const std::string &path);
std::string readFile(const QString &path);

/// Replaces the file's contents with `bytes`; a test failure when it cannot.
void writeFile(const std::string &path, const std::string &bytes);
void writeFile(const QString &path, const std::string &bytes);

/// A file holding `bytes` in a fresh temporary directory that goes with it.
class TempFile {
public:
  explicit TempFile(const std::string &bytes, const char *name = "file");
  const char *path() const { return path_.c_str(); }

private:
  QTemporaryDir dir_;
  std::string path_;
};

} // namespace kvtest
