// Test support: a private directory for transceiver endpoints.
#pragma once

#include "common/ProcessSync.h"

#include <cstdlib>
#include <string>

namespace kvtest {

/// Points XDG_RUNTIME_DIR (which child processes inherit) at a fresh
/// directory for the object's life, so that runs never see each other's
/// endpoints.
struct EndpointDir {
  EndpointDir() : root(makeTempDir("kvipc")) { ::setenv("XDG_RUNTIME_DIR", root.c_str(), 1); }
  ~EndpointDir() {
    ::unsetenv("XDG_RUNTIME_DIR");
    removeTree(root);
  }
  EndpointDir(const EndpointDir &) = delete;
  EndpointDir &operator=(const EndpointDir &) = delete;
  /// Where the endpoints' sockets and titles go.
  std::string dir() const { return root + "/kvsupport"; }
  std::string root;
};

} // namespace kvtest
