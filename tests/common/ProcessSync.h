// Test support: simple hand-shakes between a test and its child processes,
// through marker files.
#pragma once

#include <functional>
#include <string>

namespace kvtest {

/// Polls `condition` every few milliseconds until it holds or `timeoutMs`
/// passes; returns whether it held.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 30000);

/// Whether a file exists at `path`.
bool fileExists(const std::string &path);

/// Creates (or empties) the file `path`, as a signal to another process.
void touchFile(const std::string &path);

/// A fresh directory for one test's files under the system's temporary
/// directory, named with the process id and a counter.
std::string makeTempDir(const std::string &prefix);

/// Removes the directory `path` and everything in it.
void removeTree(const std::string &path);

} // namespace kvtest
