// Test support: runs the kvtool built beside the tests.
#pragma once

#include <string>
#include <vector>

namespace kvtest {

struct KvtoolRun {
  int exitCode = -1; ///< -1: kvtool is not built beside the tests, or it crashed or hung
  std::string out;
  std::string err;
};

/// Runs kvtool with `arguments` and waits up to 30 s for it.
KvtoolRun runKvtool(const std::vector<std::string> &arguments);

} // namespace kvtest
