// Fuzz support shared by the targets: a check that stops the run with a
// message, and a scratch file per process.
#pragma once

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kvfuzz {

/// Stops the run (a finding) when `condition` is false.
inline void check(bool condition, const char *what = "invariant") {
  if (!condition) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

/// A file in the temporary directory named after this process and `name`,
/// removed when the process ends.
inline const std::string &scratchFile(const char *name) {
  static const std::string path =
      (QDir::tempPath() + QStringLiteral("/kvfuzz_%1_").arg(QCoreApplication::applicationPid()) +
       QString::fromUtf8(name))
          .toStdString();
  static const int cleanup = std::atexit([] { std::remove(path.c_str()); });
  (void)cleanup;
  return path;
}

} // namespace kvfuzz
