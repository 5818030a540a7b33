// Test support: runs the kvtool built beside the tests.
#pragma once

#include <QStringList>

#include <string>

namespace kvtest {

struct KvtoolRun {
  int exitCode = -1; ///< -1: kvtool is not built beside the tests, or it crashed or hung
  std::string out;
  std::string err;
};

/// Runs kvtool with `arguments`, `input` on its standard input, and waits up
/// to 30 s for it.
KvtoolRun runKvtool(const QStringList &arguments, const std::string &input = "");

/// A path or other text as a kvtool argument.
inline QString arg(const std::string &text) { return QString::fromStdString(text); }

} // namespace kvtest
