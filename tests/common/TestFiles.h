// Test support: whole files in and out, byte for byte.
#pragma once

#include <string>

class QString;

namespace kvtest {

/// The file's bytes; "<missing>" when it cannot be opened.
std::string readFile(const std::string &path);
std::string readFile(const QString &path);

/// Replaces the file's contents with `bytes`; a test failure when it cannot.
void writeFile(const std::string &path, const std::string &bytes);
void writeFile(const QString &path, const std::string &bytes);

} // namespace kvtest
